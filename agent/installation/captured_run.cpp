#include "installation/captured_run.h"

#include <cstdint>

#include "account/account_layer.h"
#include "core/utility_command.h"
#include "library/agent_state.h"
#include "logs/trace.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

DWORD waitForUtility(ConnectionRecord* ci, const CapturedRun& run, HANDLE process) {
  if (run.waiting == RunWaiting::Poll) {
    for (;;) {
      DWORD exitCode = 0;
      if (!GetExitCodeProcess(process, &exitCode)) {
        DWORD error = GetLastError();
        trace(ci, "%s(): GetExitCodeProcess() failed. Error = %lu", run.routine, error);
        return resultFromWin32(error);
      }
      trace(ci, "%s(): GetExitCodeProcess() successful.", run.routine);
      if (exitCode != STILL_ACTIVE) break;
      trace(ci, "%s", run.stillActiveText);
      Sleep(run.pollMs);
    }
    trace(ci, "%s(): %s finished.", run.routine, run.program);
    return 0;
  }
  DWORD limit = run.waiting == RunWaiting::Limited ? run.limitMs : INFINITE;
  DWORD waited = WaitForSingleObject(process, limit);
  if (waited == WAIT_OBJECT_0) {
    trace(ci, "%s(): %s finished.", run.routine, run.program);
    return 0;
  }
  if (waited == WAIT_TIMEOUT) {
    trace(ci, "%s(): %s failed(timeout). II_SYSTEM not set", run.routine, run.program);
    // A utility that hangs would otherwise hold its output file and stay behind for the life
    // of the host; the run has failed either way.
    TerminateProcess(process, 1);
  } else {
    trace(ci, "%s(): %s failed. II_SYSTEM not set. errcode=%lu", run.routine, run.program,
          GetLastError());
  }
  return DSA_ERROR_FILE;
}

}  // namespace

DWORD prepareCapturedRun(ConnectionRecord* ci, CapturedUtility utility, const char* argument,
                         HANDLE token, CapturedRun* run) {
  *run = CapturedRun{};
  run->token = token;
  const char* stem = "";
  const char* dbName = "";
  CommandStatus built = CommandStatus::Ok;
  switch (utility) {
    case CapturedUtility::VariableListing:
      run->routine = "SetIISYSTEM";
      run->program = "ingprenv";
      stem = "env";
      built =
          buildIngprenvCommand(ci->iiSystem, nullptr, run->commandLine, sizeof run->commandLine);
      run->waiting = RunWaiting::Limited;
      run->limitMs = 10000;
      run->outputRequired = true;
      run->createFailedText = "SetIISYSTEM(): CreateFile output file failed. Error = %d";
      break;
    case CapturedUtility::VariableValue:
      run->routine = "getOpIngresVarValue";
      run->program = "ingprenv";
      stem = "ingprenv";
      built =
          buildIngprenvCommand(ci->iiSystem, argument, run->commandLine, sizeof run->commandLine);
      run->waiting = RunWaiting::Unlimited;
      run->createFailedText = "getOpIngresVarValue(): CreateFile failed. Error = %d";
      break;
    case CapturedUtility::JournalReport:
      run->routine = "getOpIngresInfodbInfo";
      run->program = "infodb";
      stem = "infodb";
      dbName = argument;
      built = buildInfodbCommand(ci->iiSystem, argument, run->commandLine, sizeof run->commandLine);
      run->waiting = RunWaiting::Poll;
      run->pollMs = 1000;
      run->stillActiveText = "getOpIngresInfodbInfo(): infodb still active.";
      run->createFailedText = "getOpIngresInfodbInfo(): CreateFile failed. Error = %d";
      break;
    case CapturedUtility::DatabaseList:
      run->routine = "getOpIngresDbList2";
      run->program = "infodb";
      stem = "infodb";
      built =
          buildInfodbListCommand(ci->iiSystem, argument, run->commandLine, sizeof run->commandLine);
      run->waiting = RunWaiting::Poll;
      run->pollMs = 200;
      run->stillActiveText = "getOpIngresDbList2(): infodb still active, sleeping";
      run->createFailedText = "getOpIngresDbList2(): CreateFile failed. Error = %d";
      break;
  }
  // The output goes to the root of the current drive ("\<stem><code><db>.out").
  if (built != CommandStatus::Ok ||
      !buildUtilityOutputPath(/*directory=*/"", stem, ci->installationCode, dbName, run->outputPath,
                              sizeof run->outputPath)) {
    trace(ci, "%s(): the %s command line or output file name would exceed its buffer", run->routine,
          run->program);
    return resultFromWin32(ERROR_FILENAME_EXCED_RANGE);
  }
  return 0;
}

DWORD runCapturedUtility(ConnectionRecord* ci, CapturedRun& run) {
  SECURITY_ATTRIBUTES inheritable = {};
  inheritable.nLength = sizeof inheritable;
  inheritable.bInheritHandle = TRUE;
  UniqueFile output(CreateFileA(run.outputPath, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr));
  if (!output) {
    DWORD error = GetLastError();
    trace(ci, run.createFailedText, static_cast<int>(error));
    if (run.outputRequired) return resultFromWin32(error);
  }

  STARTUPINFOA startup = {};
  // The structure's own size: the 32-bit value 68 would be wrong for this 64-bit build.
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESIZE | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  startup.hStdOutput = output.get();
  PROCESS_INFORMATION process = {};
  DWORD error = 0;
  if (run.token != INVALID_HANDLE_VALUE && run.token != nullptr) {
    error = accountLayer().createProcessAsUser(run.token, run.commandLine,
                                               /*inheritHandles=*/TRUE, /*creationFlags=*/0,
                                               &startup, &process);
  } else if (!CreateProcessA(/*application=*/nullptr, run.commandLine, nullptr, nullptr,
                             /*inheritHandles=*/TRUE, /*creationFlags=*/0,
                             /*environment=*/nullptr, /*currentDirectory=*/nullptr, &startup,
                             &process)) {
    error = GetLastError();
  }
  if (error != 0) {
    trace(ci, "%s(): %s Process creation failed. Error = %lu", run.routine, run.program, error);
    return resultFromWin32(error);
  }
  UniqueHandleNull processHandle(process.hProcess);
  UniqueHandleNull threadHandle(process.hThread);
  trace(ci, "%s(): %s Process created successfully", run.routine, run.program);
  trace(ci, "%s(): %s process Handle = %d", run.routine, run.program,
        static_cast<int>(reinterpret_cast<intptr_t>(process.hProcess)));

  DWORD result = waitForUtility(ci, run, process.hProcess);
  if (output) {
    DWORD closeError = 0;
    if (output.close(&closeError)) {
      trace(ci, "%s(): CloseHandle successful", run.routine);
    } else {
      trace(ci, "%s(): CloseHandle Failed. Error= %lu", run.routine, closeError);
    }
  }
  return result;
}

}  // namespace ferry::agent
