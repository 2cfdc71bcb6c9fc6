// ckpdb and rollforwarddb started for a backup or restore: the extractor pipe they call back
// on, their output files, the template registration and the 5-second health check.
#include "utility/utility_runs.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "account/account_layer.h"
#include "account/act_as_account.h"
#include "account/child_process.h"
#include "catalog_binding/catalog_session.h"
#include "connection/connection_table.h"
#include "core/checkpoint_template.h"
#include "core/message_ids.h"
#include "core/utility_command.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "process_information.h"
#include "unique_handle.h"
#include "utility/pipe_security.h"
#include "utility/run_output.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

constexpr DWORD kPipeBufferSize = 32768;
constexpr DWORD kPipeTimeoutMs = 30000;
constexpr int kCkpdbPipeAttempts = 201;
constexpr DWORD kPipeRetryMs = 100;
constexpr int kDeleteAttempts = 100;
constexpr DWORD kDeleteRetryMs = 1000;
// The only health check of a run: whatever the utility writes to standard error by then.
constexpr DWORD kErrorFileCheckMs = 5000;
// The record's restore checkpoint text field, NUL included.
constexpr size_t kCheckpointTextSize = sizeof(RestoreState{}.restoreCheckpointText);

DWORD nameTooLong() { return resultFromWin32(ERROR_FILENAME_EXCED_RANGE); }
DWORD badParameter() { return resultFromWin32(ERROR_INVALID_PARAMETER); }

HANDLE createExtractorPipe(const char* name, SECURITY_ATTRIBUTES* security) {
  // Message pipe read in message mode and non-blocking on the agent's side: the begin steps
  // poll the connect, one siphon at a time. The first instance of its name (a server end someone
  // else made first is not used), and for local clients only.
  return CreateNamedPipeA(
      name, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_NOWAIT | PIPE_REJECT_REMOTE_CLIENTS,
      /*maxInstances=*/1, kPipeBufferSize, kPipeBufferSize, kPipeTimeoutMs, security);
}

STARTUPINFOA hiddenStartup(HANDLE output, HANDLE error) {
  STARTUPINFOA startup = {};
  // The structure's own size: the 32-bit value 68 would be wrong for this 64-bit build.
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESIZE | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = nullptr;
  startup.hStdOutput = output;
  startup.hStdError = error;
  return startup;
}

// Starts `commandLine` as the connection's token when it has one, else as the agent, with its
// standard handles (the run's two output files) as its only inherited handles; 0 or the system
// error.
DWORD startUtility(ConnectionRecord* ci, char* commandLine, STARTUPINFOA* startup,
                   PROCESS_INFORMATION* process) {
  return startChildProcess(ci, ci->account.hAccessToken.get(), commandLine, *startup,
                           {startup->hStdOutput, startup->hStdError}, process);
}

// ingsetenv II_CKTMPL_FILE "<template>": the installation-wide record of the template that the
// process environment already names. Not waited for here; its output joins the run's files, so
// any complaint of it fails the run at the start check, which waits for it to end. Returns its
// process, or none when it was not started.
UniqueHandleNull registerTemplate(ConnectionRecord* ci, const char* routine,
                                  STARTUPINFOA* startup) {
  char templatePath[kUtilityPathSize] = "";
  DWORD length = GetEnvironmentVariableA("II_CKTMPL_FILE", templatePath, sizeof templatePath);
  if (length == 0 || length >= sizeof templatePath) {
    trace(ci, "%s(): can not get II_CKTMPL_FILE", routine);
    return UniqueHandleNull();
  }
  char shortRoot[kUtilityPathSize] = "";
  length = GetShortPathNameA(ci->installation.iiSystem, shortRoot, sizeof shortRoot);
  if (length == 0 || length >= sizeof shortRoot) {
    // No short form (or none needed): the long form names the same folder.
    std::snprintf(shortRoot, sizeof shortRoot, "%s", ci->installation.iiSystem);
  }
  char command[kIngsetenvCommandSize];
  if (buildIngsetenvCommand(shortRoot, templatePath, command, sizeof command) !=
      CommandStatus::Ok) {
    trace(ci, "%s(): can not build the ingsetenv command for %s", routine, templatePath);
    return UniqueHandleNull();
  }
  trace(ci, "%s(): exec cmd = %s", routine, command);
  UniqueProcessInformation process;
  const DWORD error = startUtility(ci, command, startup, process.put());
  trace(ci, "%s(): exec cmd result= %d", routine, error == 0 ? 1 : 0);
  return process.takeProcess();
}

// The size of the error file during the utility's start check; false when it cannot be read.
bool errorFileSize(ConnectionRecord* ci, const char* failureRoutine, const char* sizeRoutine,
                   HANDLE errorFile, DWORD* low, DWORD* high) {
  *high = 0;
  *low = GetFileSize(errorFile, high);
  if (*low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
    trace(ci, "%s(): Unable to obtain the file size error = %d", failureRoutine,
          static_cast<int>(GetLastError()));
    return false;
  }
  trace(ci, "%s(): FileSizeLow = %d, FileSizeHigh = %d", sizeRoutine, static_cast<int>(*low),
        static_cast<int>(*high));
  return true;
}

// The pieces both runs need before anything is changed: the pipe name and the two file paths.
struct RunNames {
  char pipe[kExtractorPipeNameSize] = "";
  char output[kUtilityPathSize] = "";
  char error[kUtilityPathSize] = "";
};

bool buildRunNames(ConnectionRecord* ci, const char* routine, const char* dbName,
                   const char* outputStem, const char* errorStem, RunNames* names) {
  if (!buildExtractorPipeName(ci->installation.installationCode, dbName, names->pipe,
                              sizeof names->pipe)) {
    trace(ci, "%s(): the pipe name for installation %s and database %s would exceed %d characters",
          routine, ci->installation.installationCode, dbName,
          static_cast<int>(sizeof names->pipe - 1));
    return false;
  }
  if (!buildUtilityOutputPath(agentDirectory(), outputStem, ci->installation.installationCode,
                              dbName, names->output, sizeof names->output) ||
      !buildUtilityOutputPath(agentDirectory(), errorStem, ci->installation.installationCode,
                              dbName, names->error, sizeof names->error)) {
    trace(ci, "%s(): the output file names in %s would exceed %d characters", routine,
          agentDirectory(), static_cast<int>(sizeof names->output - 1));
    return false;
  }
  return true;
}

// Deletes the error file of an earlier checkpoint, so that the size check sees this run's text
// only; 0 or 1 after 100 failed attempts.
DWORD deleteOldErrorFile(ConnectionRecord* ci, const char* path) {
  trace(ci, "execOpIngresCkpdb(): destination dir = %s", path);
  for (int attempt = 1; attempt <= kDeleteAttempts; ++attempt) {
    if (DeleteFileA(path)) return 0;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      trace(ci, "execOpIngresCkpdb(): could not delete file %s, it did not exist", path);
      return 0;
    }
    trace(ci, "%s(): delete file %s failed . now sleep 1s and retry %d", "execOpIngresckpdb", path,
          attempt);
    Sleep(kDeleteRetryMs);
  }
  trace(ci, "execOpIngresCkpdb(): Error could not delete a file - checkpoint failed file = %s",
        path);
  Log_act(ci, kActivityCheckpointFailed);
  Log_act(ci, kActivityErrorFileNotDeleted, path);
  Log_act(ci, kActivityErrorFileInUse);
  return 1;
}

void traceCkpdbOptions(ConnectionRecord* ci, uint32_t options) {
  if (options & kCkpdbVerbose) {
    trace(ci, "execOpIngresCkpdb(): Verbose mode has been selected");
  }
  if (options & kCkpdbPurge) {
    trace(ci, "execOpIngresCkpdb(): Purge Checkpoints has been selected");
  }
  if (options & kCkpdbEnableJournaling) {
    trace(ci, "execOpIngresCkpdb(): The Enable Journaling Option has been disabled");
  }
  if (options & kCkpdbDisableJournaling) {
    trace(ci, "execOpIngresCkpdb(): Disabele Journaling has been disabled");
    Log_act(ci, kActivityJournalingNotDisabled);
  }
}

// What tells the checkpoint run and the roll-forward run apart in the steps they share: their
// trace texts and how hard the pipe is tried.
struct RunSteps {
  const char* routine;            // "execOpIngresckpdb", in front of most lines
  const char* sizeRoutine;        // in front of the failed size query's line
  const char* errorFileFormat;    // the error file's line (%s: its path)
  bool outputLineShowsDirectory;  // the output file's line shows the agent directory, not the path
  int pipeAttempts;
  bool tokenInStartLine;  // the CreateProcessAsUser line shows the token's value
  bool closeCatalogSession;
};

enum class RunState {
  Running,              // started, and nothing in the error file at the start check
  PipeNotCreated,       // 25: nothing was started
  OutputLinkRefused,    // 16: an output file's name was a link; nothing was started
  ErrorFileUnreadable,  // 1
  ErrorFileNotEmpty,    // 1, each run reports it with its own texts
  NotStarted,           // 10000 + the start's system error
  EndedWithFailure,     // 1: the utility ended within the start check, and not with 0
};

// The steps of the start check: short at first, as the extractor usually comes within a few
// hundred milliseconds.
DWORD startCheckStep(ULONGLONG elapsedMs) { return elapsedMs < 200 ? 5 : 20; }

// True when a client is on the extractor pipe: a listen on the pipe, which is not blocking,
// says so at once and otherwise leaves it listening.
bool extractorOnPipe(ConnectionRecord* ci) {
  return ConnectNamedPipe(ci->run.pipeHandle.get(), /*overlapped=*/nullptr) ||
         GetLastError() == ERROR_PIPE_CONNECTED;
}

bool errorFileEmpty(HANDLE errorFile) {
  DWORD high = 0;
  const DWORD low = GetFileSize(errorFile, &high);
  return low == 0 && high == 0;
}

// The start check: at most kErrorFileCheckMs, ended as soon as its answer is certain. The run
// is under way once its extractor is on the pipe, provided the registration of the template
// (whose complaint would fail the run) has ended; it has failed once the error file holds
// anything; and a utility that ended is judged by its exit code. Who the pipe's client is, is
// checked where its records are read. The error file is looked at by the caller either way;
// true when the utility ended within the check, so that its exit code tells too.
bool awaitRunStart(ConnectionRecord* ci, HANDLE utility, HANDLE registration, HANDLE errorFile) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    const ULONGLONG elapsed = GetTickCount64() - start;
    if (elapsed >= kErrorFileCheckMs) return false;
    const DWORD step = startCheckStep(elapsed);
    const DWORD waitMs =
        static_cast<DWORD>(kErrorFileCheckMs - elapsed < step ? kErrorFileCheckMs - elapsed : step);
    if (WaitForSingleObject(utility, waitMs) == WAIT_OBJECT_0) {
      // Whatever it wrote is in the file once it has ended; so is ingsetenv's, when it ended.
      if (registration != nullptr) WaitForSingleObject(registration, kErrorFileCheckMs);
      return true;
    }
    if (!errorFileEmpty(errorFile)) return false;  // the run failed
    const bool registered =
        registration == nullptr || WaitForSingleObject(registration, 0) == WAIT_OBJECT_0;
    if (registered && extractorOnPipe(ci)) {
      trace(ci, "awaitRunStart(): the extractor is on the pipe after %lu ms",
            static_cast<unsigned long>(GetTickCount64() - start));
      return false;  // under way
    }
  }
}

struct RunOutcome {
  RunState state = RunState::NotStarted;
  DWORD startError = 0;
  UniqueHandleNull process;  // the utility's process once it started
};

// The run's extractor pipe, in ci->run.pipeHandle: false when it could not be made.
bool createRunPipe(ConnectionRecord* ci, const RunSteps& steps, const RunNames& names) {
  const char* routine = steps.routine;
  trace(ci, "%s(): pipeName = %s", routine, names.pipe);
  PipeSecurity security;
  DWORD securityError = 0;
  if (!security.prepare(ci, /*extraAccounts=*/{}, &securityError)) {
    trace(ci, "%s(): the pipe's security descriptor could not be set up. Error = %d", routine,
          static_cast<int>(securityError));
    return false;
  }
  // One instance per name: a server end left from an earlier run would keep this one from
  // being created.
  ci->run.pipeHandle.reset();
  HANDLE pipe = INVALID_HANDLE_VALUE;
  for (int attempt = 1; attempt <= steps.pipeAttempts; ++attempt) {
    pipe = createExtractorPipe(names.pipe, security.attributes());
    if (pipe != INVALID_HANDLE_VALUE) break;
    trace(ci, "%s(): CreateNamedPipe() returned Invalid Handle. Error = %d", routine,
          static_cast<int>(GetLastError()));
    if (attempt < steps.pipeAttempts) Sleep(kPipeRetryMs);
  }
  if (pipe == INVALID_HANDLE_VALUE) return false;
  ci->run.pipeHandle.reset(pipe);
  trace(ci, "%s(): CreateNamedPipe successful", routine);
  return true;
}

void traceUtilityStart(ConnectionRecord* ci, const RunSteps& steps, const char* commandLine) {
  const char* routine = steps.routine;
  if (!ci->account.hAccessToken) {
    trace(ci, "%s(): calling CreateProcess()", routine);
    return;
  }
  if (steps.tokenInStartLine) {
    trace(ci, "%s(): calling CreateProcessAsUser(). hAccessToken = %d", routine,
          static_cast<int>(reinterpret_cast<intptr_t>(ci->account.hAccessToken.get())));
  } else {
    trace(ci, "%s(): calling CreateProcessAsUser()", routine);
  }
  trace(ci, "%s(): Command = %s", routine, commandLine);
}

// How the start check of a started (or failed) utility came out, from its error file and, when
// it ended within the check, its exit code.
RunState judgeRunStart(ConnectionRecord* ci, const RunSteps& steps, const RunOutcome& outcome,
                       bool utilityEnded, HANDLE errorFile) {
  DWORD low = 0;
  DWORD high = 0;
  DWORD exitCode = 0;
  if (!errorFileSize(ci, steps.sizeRoutine, steps.routine, errorFile, &low, &high)) {
    return RunState::ErrorFileUnreadable;
  }
  if (low != 0 || high != 0) return RunState::ErrorFileNotEmpty;
  if (outcome.startError != 0) return RunState::NotStarted;
  if (utilityEnded && (!GetExitCodeProcess(outcome.process.get(), &exitCode) || exitCode != 0)) {
    trace(ci, "%s(): the utility ended within its start check with exit code %lu", steps.routine,
          static_cast<unsigned long>(exitCode));
    return RunState::EndedWithFailure;
  }
  return RunState::Running;
}

// The steps both runs share: the extractor pipe, the two output files, the template's
// registration, the start and the 5-second check of the error file. On every state but
// PipeNotCreated the pipe is in ci->run.pipeHandle.
RunOutcome startUtilityRun(ConnectionRecord* ci, const RunSteps& steps, const RunNames& names,
                           char* commandLine) {
  RunOutcome outcome;
  const char* routine = steps.routine;
  if (!createRunPipe(ci, steps, names)) {
    outcome.state = RunState::PipeNotCreated;
    return outcome;
  }
  trace(ci, "%s(): %s", routine, steps.outputLineShowsDirectory ? agentDirectory() : names.output);
  bool refused = false;
  UniqueFile output = createOutputFile(ci, routine, names.output, &refused);
  trace(ci, steps.errorFileFormat, names.error);
  // A failed open is not tested here: it shows as the failed size query below.
  UniqueFile errorFile = createOutputFile(ci, routine, names.error, &refused);
  if (refused) {
    ci->run.pipeHandle.reset();
    outcome.state = RunState::OutputLinkRefused;
    return outcome;
  }
  STARTUPINFOA startup = hiddenStartup(output.get(), errorFile.get());
  trace(ci, "%s(): %s", routine, commandLine);

  // rollforwarddb replaces the database: the agent's own catalog session must not hold it.
  if (steps.closeCatalogSession) disconnectOpIngres2(&ci->connInfo);

  UniqueHandleNull registration = registerTemplate(ci, routine, &startup);
  traceUtilityStart(ci, steps, commandLine);
  UniqueProcessInformation process;
  outcome.startError = startUtility(ci, commandLine, &startup, process.put());
  // The utility's main thread is of no use to the agent: it goes with `process`.
  outcome.process = process.takeProcess();

  const bool utilityEnded =
      outcome.startError == 0 &&
      awaitRunStart(ci, outcome.process.get(), registration.get(), errorFile.get());
  outcome.state = judgeRunStart(ci, steps, outcome, utilityEnded, errorFile.get());
  return outcome;
}

// A utility whose start check failed is ended: it would otherwise go on with a run the agent
// has given up, holding the database and waiting for an extractor no one serves.
void endFailedUtility(ConnectionRecord* ci, const char* routine, UniqueHandleNull* process) {
  if (!*process) return;
  if (WaitForSingleObject(process->get(), 0) == WAIT_TIMEOUT) {
    trace(ci, "%s(): ending the utility after its failed start", routine);
    TerminateProcess(process->get(), ERROR_OPERATION_ABORTED);
    WaitForSingleObject(process->get(), kErrorFileCheckMs);
  }
  process->reset();
}

}  // namespace

DWORD execOpIngresckpdb(int connectionId, const char* dbName, uint32_t options) {
  constexpr char kRoutine[] = "execOpIngresckpdb";
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  trace(ci, "%s(): Entered.", kRoutine);
  if (dbName == nullptr) {
    trace(ci, "%s(): DBName variable is NULL!.", kRoutine);
    return DSA_ERROR_ARGUMENT_MISSING;
  }

  // Every name and the command line are checked before anything changes on disk.
  RunNames names;
  if (!buildRunNames(ci, kRoutine, dbName, "ckpdb", "ckpderr", &names)) return nameTooLong();
  char commandLine[kUtilityCommandLineSize];
  if (buildCkpdbCommand(ci->installation.iiSystem, dbName, options, commandLine,
                        sizeof commandLine) != CommandStatus::Ok) {
    trace(ci, "%s(): the ckpdb command line for %s would exceed %d characters", kRoutine, dbName,
          static_cast<int>(sizeof commandLine - 1));
    return nameTooLong();
  }

  if (deleteOldErrorFile(ci, names.error) != 0) return DSA_ERROR_FILE;

  trace(ci, "execOpIngresckpdb(): DBName = %s", dbName);
  ActAsAccountTexts texts;
  texts.routine = kRoutine;
  texts.localLogonFailedRoutine = "execOpIngckpdb";
  texts.localLogonFailed = "LogonUser failed with local database, now trying with domain";
  if (DWORD error = actAsConnectionAccount(ci, texts); error != 0) return error;

  traceCkpdbOptions(ci, options);

  RunSteps steps;
  steps.routine = kRoutine;
  steps.sizeRoutine = "execOpIngresCkpdb";
  steps.errorFileFormat = "execOpIngresCkpdb(): %s";
  steps.outputLineShowsDirectory = true;
  steps.pipeAttempts = kCkpdbPipeAttempts;
  steps.tokenInStartLine = true;
  steps.closeCatalogSession = false;
  RunOutcome run = startUtilityRun(ci, steps, names, commandLine);
  // A handle of an earlier run would otherwise leak when it is replaced.
  ci->run.ckpdbProcessHandle.reset();
  if (run.state == RunState::ErrorFileNotEmpty || run.state == RunState::ErrorFileUnreadable ||
      run.state == RunState::EndedWithFailure) {
    endFailedUtility(ci, kRoutine, &run.process);
  }
  switch (run.state) {
    case RunState::PipeNotCreated:
      return DSA_ERROR_EXTRACTOR_PIPE_SETUP;
    case RunState::OutputLinkRefused:
      return DSA_ERROR_LINK_REFUSED;
    case RunState::EndedWithFailure:
      ci->run.pipeHandle.reset();
      Log_act(ci, kActivityCheckpointFailed);
      return DSA_ERROR_FILE;
    case RunState::ErrorFileUnreadable:
      return DSA_ERROR_FILE;
    case RunState::ErrorFileNotEmpty:
      trace(ci,
            "execOpIngresCkpdb(): The checkpoint error file is greater than 0, checkpoint has "
            "failed");
      ci->run.pipeHandle.reset();
      trace(ci, "execOpIngresckpdb():  checkpoint error, close named pipe = %s", names.pipe);
      Log_act(ci, kActivityCheckpointFailed);
      Log_act(ci, kActivityCheckpointErrorFile);
      return DSA_ERROR_FILE;
    case RunState::NotStarted:
      trace(ci, "execOpIngresckpdb(): ckpdb Process could not be created. Error = %d",
            static_cast<int>(run.startError));
      return childStartResult(run.startError);
    case RunState::Running:
      break;
  }
  ci->run.ckpdbProcessHandle.reset(run.process.release());
  trace(ci, "execOpIngresckpdb(): ckpdb Process created successfully with ckpdbProcessHandle = %d",
        static_cast<int>(reinterpret_cast<intptr_t>(ci->run.ckpdbProcessHandle.get())));
  return 0;
}

namespace {

// The checks of the roll forward's arguments, with their trace lines: 0 or the code.
DWORD checkRollforwardArguments(ConnectionRecord* ci, const char* dbName, const char* checkpointId,
                                uint32_t options, const char* endTime) {
  constexpr char kRoutine[] = "execOpIngresrollforwarddb";
  if (checkpointId == nullptr) {
    trace(ci, "%s: p_ckpId variable is NULL!.", kRoutine);
    return DSA_ERROR_ARGUMENT_MISSING;
  }
  if (dbName == nullptr) {
    trace(ci, "%s: DBName  variable is NULL!.\n", kRoutine);
    return DSA_ERROR_ARGUMENT_MISSING;
  }
  trace(ci, "%s(): Entered.", kRoutine);
  if (std::strlen(checkpointId) >= kCheckpointTextSize) {
    trace(ci, "%s(): the checkpoint id %s is longer than %d characters", kRoutine, checkpointId,
          static_cast<int>(kCheckpointTextSize - 1));
    return badParameter();
  }
  if ((options & kRollEndTime) != 0 && endTime == nullptr) {
    trace(ci, "%s(): the end time is missing", kRoutine);
    return DSA_ERROR_ARGUMENT_MISSING;
  }
  return 0;
}

// The rollforwarddb command line into `commandLine` (kUtilityCommandLineSize bytes): 0 or the
// code of a part that does not fit.
DWORD buildRollforwardLine(ConnectionRecord* ci, const char* dbName, const char* checkpointId,
                           uint32_t options, const char* endTime, char* commandLine) {
  constexpr char kRoutine[] = "execOpIngresrollforwarddb";
  switch (buildRollforwardCommand(ci->installation.iiSystem, dbName, checkpointId, options, endTime,
                                  commandLine, kUtilityCommandLineSize)) {
    case CommandStatus::Ok:
      return 0;
    case CommandStatus::EndTimeTooLong:
      trace(ci, "%s(): the end time %s is longer than %d characters", kRoutine, endTime,
            static_cast<int>(kEndTimeMaxLength));
      return badParameter();
    case CommandStatus::CheckpointIdTooLong:
    case CommandStatus::TooLong:
      break;
  }
  trace(ci, "%s(): the rollforwarddb command line for %s would exceed %d characters", kRoutine,
        dbName, static_cast<int>(kUtilityCommandLineSize - 1));
  return nameTooLong();
}

// What the start of the roll forward came to: 0 for a run under way, else the code, with the
// activity entries of a failed run.
DWORD rollforwardStartResult(ConnectionRecord* ci, const RunOutcome& run) {
  switch (run.state) {
    case RunState::PipeNotCreated:
      // As for the checkpoint run: the pipe's failure is the agent's code 25, not a bare
      // system error that reads as one of the agent's own codes.
      return DSA_ERROR_EXTRACTOR_PIPE_SETUP;
    case RunState::OutputLinkRefused:
      return DSA_ERROR_LINK_REFUSED;
    case RunState::ErrorFileUnreadable:
      return DSA_ERROR_FILE;
    case RunState::EndedWithFailure:
      Log_act(ci, kActivityRollforwardFailed);
      return DSA_ERROR_FILE;
    case RunState::ErrorFileNotEmpty:
      trace(ci,
            "execOpIngresrollforwarddb(): The rollforward error file is greater than 0, "
            "rollforward has failed");
      Log_act(ci, kActivityRollforwardFailed);
      Log_act(ci, kActivityRollforwardErrorFile);
      return DSA_ERROR_FILE;
    case RunState::NotStarted:
      trace(ci,
            "execOpIngresrollforwarddb(): rollforwarddb Process could not be created. Error = %d",
            static_cast<int>(run.startError));
      return childStartResult(run.startError);
    case RunState::Running:
      break;
  }
  trace(ci, "execOpIngresrollforwarddb(): rollforwarddb Process created successfully");
  return 0;
}

}  // namespace

DWORD execOpIngresrollforwarddb(int connectionId, const char* dbName, const char* checkpointId,
                                uint32_t options, const char* endTime) {
  constexpr char kRoutine[] = "execOpIngresrollforwarddb";
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  if (DWORD refused = checkRollforwardArguments(ci, dbName, checkpointId, options, endTime);
      refused != 0) {
    return refused;
  }
  RunNames names;
  if (!buildRunNames(ci, kRoutine, dbName, "roll", "rollerr", &names)) return nameTooLong();
  char commandLine[kUtilityCommandLineSize];
  if (DWORD refused = buildRollforwardLine(ci, dbName, checkpointId, options, endTime, commandLine);
      refused != 0) {
    return refused;
  }
  std::snprintf(ci->restore.restoreCheckpointText, sizeof ci->restore.restoreCheckpointText, "%s",
                checkpointId);

  trace(ci, "execOpIngresrollforwarddb(): DBName = %s", dbName);
  ActAsAccountTexts texts;
  texts.routine = kRoutine;
  texts.localLogonFailedRoutine = "execOpIngresRollforwarddb";
  texts.localLogonFailed = "Logon user failed for local account, now trying domain";
  if (DWORD error = actAsConnectionAccount(ci, texts); error != 0) return error;

  if (options & kRollVerbose) trace(ci, "execOpIngresrollforwarddb(): Verbose mode selected");
  if (options & kRollNotFromJournals) {
    trace(ci, "execOpIngresrollforwarddb(): Not from journals option selected");
  }

  RunSteps steps;
  steps.routine = kRoutine;
  steps.sizeRoutine = kRoutine;
  steps.errorFileFormat = "execOpIngresrollforwarddb(): %s";
  steps.outputLineShowsDirectory = false;
  // One attempt: a roll-forward is not retried against a pipe name some other run still holds.
  steps.pipeAttempts = 1;
  steps.tokenInStartLine = false;
  steps.closeCatalogSession = true;
  RunOutcome run = startUtilityRun(ci, steps, names, commandLine);
  // Kept once its start check passed: the end of the restore waits for the roll forward and
  // reports how it ended, and a failed restore ends it. One whose check failed is ended here.
  if (run.state == RunState::ErrorFileNotEmpty || run.state == RunState::ErrorFileUnreadable ||
      run.state == RunState::EndedWithFailure) {
    endFailedUtility(ci, kRoutine, &run.process);
  }
  ci->run.rollforwardProcessHandle.reset(run.process.release());
  return rollforwardStartResult(ci, run);
}

}  // namespace ferry::agent
