#include "installation/captured_run.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>

#include "account/child_process.h"
#include "core/utility_command.h"
#include "library/agent_state.h"
#include "library/wait_limits.h"
#include "logs/trace.h"
#include "process_information.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

// A run whose utility does not end in time ends it: a hanging utility would otherwise hold its
// output file, and the agent lock with its caller, for the life of the host.
DWORD endOverdueUtility(ConnectionRecord* ci, const CapturedRun& run, HANDLE process) {
  if (run.timeoutResult == DSA_ERROR_FILE) {
    trace(ci, "%s(): %s failed(timeout). II_SYSTEM not set", run.routine, run.program);
  } else {
    trace(ci, "%s(): %s did not finish within %lu s; ended", run.routine, run.program,
          run.limitMs / 1000);
  }
  if (!TerminateProcess(process, 1)) {
    trace(ci, "%s(): TerminateProcess(%s) failed. Error = %lu", run.routine, run.program,
          GetLastError());
  } else {
    // Bounded too: an ended process goes at once unless the system itself is stuck.
    WaitForSingleObject(process, 5000);
  }
  return run.timeoutResult;
}

DWORD waitForUtility(ConnectionRecord* ci, const CapturedRun& run, HANDLE process) {
  const ULONGLONG started = GetTickCount64();
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
      if (GetTickCount64() - started >= run.limitMs) return endOverdueUtility(ci, run, process);
      trace(ci, "%s", run.stillActiveText);
      Sleep(run.pollMs);
    }
    trace(ci, "%s(): %s finished.", run.routine, run.program);
    return 0;
  }
  DWORD waited = WaitForSingleObject(process, run.limitMs);
  if (waited == WAIT_OBJECT_0) {
    trace(ci, "%s(): %s finished.", run.routine, run.program);
    return 0;
  }
  if (waited == WAIT_TIMEOUT) return endOverdueUtility(ci, run, process);
  DWORD error = GetLastError();
  trace(ci, "%s(): %s failed. II_SYSTEM not set. errcode=%lu", run.routine, run.program, error);
  return run.timeoutResult == DSA_ERROR_FILE ? DSA_ERROR_FILE : resultFromWin32(error);
}

// Creates the run's output file under a name of its own in the agent directory. A name that
// exists already belongs to someone else: it is left alone and the next one is tried.
DWORD createOutputFile(ConnectionRecord* ci, CapturedRun& run) {
  constexpr int kNamesTried = 16;
  static LONG s_runs = 0;
  DWORD error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < kNamesTried && error == ERROR_FILE_EXISTS; ++attempt) {
    const DWORD sequence = static_cast<DWORD>(InterlockedIncrement(&s_runs));
    if (!buildCapturedOutputPath(agentDirectory(), run.stem, ci->installation.installationCode,
                                 run.dbName, GetCurrentProcessId(), sequence, run.outputPath,
                                 sizeof run.outputPath)) {
      trace(ci, "%s(): the %s output file name would exceed its buffer", run.routine, run.program);
      return resultFromWin32(ERROR_FILENAME_EXCED_RANGE);
    }
    run.output.reset(CreateFileA(run.outputPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                 /*security=*/nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                 /*template=*/nullptr));
    if (run.output) {
      trace(ci, "%s(): %s output file %s", run.routine, run.program, run.outputPath);
      return 0;
    }
    error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) error = ERROR_FILE_EXISTS;
    if (error == ERROR_FILE_EXISTS) {
      trace(ci, "%s(): %s exists already and is not ours; not used", run.routine, run.outputPath);
    }
  }
  trace(ci, run.createFailedText, static_cast<int>(error));
  return resultFromWin32(error);
}

}  // namespace

DWORD prepareCapturedRun(ConnectionRecord* ci, CapturedUtility utility, const char* argument,
                         HANDLE token, CapturedRun* run) {
  *run = CapturedRun{};
  run->token = token;
  const WaitLimits& limits = waitLimits();
  CommandStatus built = CommandStatus::Ok;
  switch (utility) {
    case CapturedUtility::VariableListing:
      run->routine = "SetIISYSTEM";
      run->program = "ingprenv";
      run->stem = "env";
      built = buildIngprenvCommand(ci->installation.iiSystem, nullptr, run->commandLine,
                                   sizeof run->commandLine);
      run->waiting = RunWaiting::Limited;
      run->limitMs = limits.variableListingMs;
      run->timeoutResult = DSA_ERROR_FILE;  // SetIISYSTEM's "ingprenv did not finish"
      run->createFailedText = "SetIISYSTEM(): CreateFile output file failed. Error = %d";
      break;
    case CapturedUtility::VariableValue:
      run->routine = "getOpIngresVarValue";
      run->program = "ingprenv";
      run->stem = "ingprenv";
      built = buildIngprenvCommand(ci->installation.iiSystem, argument, run->commandLine,
                                   sizeof run->commandLine);
      run->waiting = RunWaiting::Limited;
      run->limitMs = limits.variableValueMs;
      run->timeoutResult = resultFromWin32(ERROR_TIMEOUT);
      run->createFailedText = "getOpIngresVarValue(): CreateFile failed. Error = %d";
      break;
    case CapturedUtility::JournalReport:
      run->routine = "getOpIngresInfodbInfo";
      run->program = "infodb";
      run->stem = "infodb";
      run->dbName = argument;
      built = buildInfodbCommand(ci->installation.iiSystem, argument, run->commandLine,
                                 sizeof run->commandLine);
      run->waiting = RunWaiting::Poll;
      run->limitMs = limits.journalReportMs;
      run->timeoutResult = resultFromWin32(ERROR_TIMEOUT);
      run->pollMs = 1000;
      run->stillActiveText = "getOpIngresInfodbInfo(): infodb still active.";
      run->createFailedText = "getOpIngresInfodbInfo(): CreateFile failed. Error = %d";
      break;
    case CapturedUtility::DatabaseList:
      run->routine = "getOpIngresDbList2";
      run->program = "infodb";
      run->stem = "infodb";
      built = buildInfodbListCommand(ci->installation.iiSystem, argument, run->commandLine,
                                     sizeof run->commandLine);
      run->waiting = RunWaiting::Poll;
      run->limitMs = limits.databaseListMs;
      run->timeoutResult = resultFromWin32(ERROR_TIMEOUT);
      run->pollMs = 200;
      run->stillActiveText = "getOpIngresDbList2(): infodb still active, sleeping";
      run->createFailedText = "getOpIngresDbList2(): CreateFile failed. Error = %d";
      break;
  }
  if (built != CommandStatus::Ok) {
    trace(ci, "%s(): the %s command line would exceed its buffer", run->routine, run->program);
    return resultFromWin32(ERROR_FILENAME_EXCED_RANGE);
  }
  return 0;
}

DWORD runCapturedUtility(ConnectionRecord* ci, CapturedRun& run) {
  if (DWORD created = createOutputFile(ci, run); created != 0) return created;
  const UniqueFile& output = run.output;

  STARTUPINFOA startup = {};
  // The structure's own size: the 32-bit value 68 would be wrong for this 64-bit build.
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESIZE | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  startup.hStdOutput = output.get();
  UniqueProcessInformation process;
  // The output file is the only handle the utility inherits.
  const DWORD error =
      startChildProcess(ci, run.token, run.commandLine, startup, {output.get()}, process.put());
  if (error != 0) {
    trace(ci, "%s(): %s Process creation failed. Error = %lu", run.routine, run.program, error);
    return childStartResult(error);
  }
  trace(ci, "%s(): %s Process created successfully", run.routine, run.program);
  trace(ci, "%s(): %s process Handle = %d", run.routine, run.program,
        static_cast<int>(reinterpret_cast<intptr_t>(process.process())));

  return waitForUtility(ci, run, process.process());
}

UniqueStdioFile openCapturedOutput(CapturedRun& run) {
  // A stream of its own over the same file object: closing it leaves the run's handle, which
  // deletes the file, to the run.
  HANDLE duplicate = nullptr;
  if (!run.output || !DuplicateHandle(GetCurrentProcess(), run.output.get(), GetCurrentProcess(),
                                      &duplicate, 0, /*inherit=*/FALSE, DUPLICATE_SAME_ACCESS)) {
    errno = EBADF;
    return nullptr;
  }
  UniqueFile owned(duplicate);
  if (SetFilePointer(owned.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    errno = EIO;
    return nullptr;
  }
  const int descriptor =
      _open_osfhandle(reinterpret_cast<intptr_t>(owned.get()), _O_RDONLY | _O_TEXT);
  if (descriptor < 0) return nullptr;
  owned.release();  // the descriptor owns it now
  FILE* stream = _fdopen(descriptor, "r");
  if (stream == nullptr) _close(descriptor);
  return UniqueStdioFile(stream);
}

}  // namespace ferry::agent
