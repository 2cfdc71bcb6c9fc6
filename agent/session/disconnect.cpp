// DSADisconnectAgent: tears a connection down in a fixed order. Every step runs whether or not
// the one before it failed; failures are traced (or written to the activity log) and the id is
// always released.
#define FERRYMAN_BUILD
#include "ferryman.h"

#include <windows.h>

#include <cstdio>

#include "account/account_layer.h"
#include "activity_log.h"
#include "agent_state.h"
#include "backup/backup_flow.h"
#include "catalog/catalog_session.h"
#include "connection_table.h"
#include "message_ids.h"
#include "object_block.h"
#include "restore/restore_flow.h"
#include "trace.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

// Closes one of the record's handles and marks it none. Both 0 and INVALID_HANDLE_VALUE mean
// none here: closing the latter would act on the pseudo handle of the current process.
void closeRecordHandle(ConnectionRecord* ci, HANDLE* handle, const char* failureFormat) {
  if (!holdsHandle(*handle)) {
    *handle = nullptr;
    return;
  }
  if (!CloseHandle(*handle) && failureFormat != nullptr) {
    trace(ci, failureFormat, static_cast<int>(GetLastError()));
  }
  *handle = nullptr;
}

// ingunset II_CKTMPL_FILE, started and not waited for: the template the connection registered
// is no longer the installation's. Runs as the connection's account when it has a token, which
// also ends the impersonation the begin steps left on this thread.
void unsetTemplateVariable(ConnectionRecord* ci) {
  char shortRoot[MAX_PATH] = "";
  DWORD n = GetShortPathNameA(ci->iiSystem, shortRoot, sizeof shortRoot);
  if (n == 0 || n >= sizeof shortRoot) {
    // No short form (or none needed): the long form names the same folder.
    std::snprintf(shortRoot, sizeof shortRoot, "%s", ci->iiSystem);
  }
  char command[MAX_PATH + 64];
  std::snprintf(command, sizeof command, "%s\\ingres\\bin\\ingunset II_CKTMPL_FILE", shortRoot);
  trace(ci, "DSADisconnectAgent(): exec cmd = %s", command);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};
  BOOL started = FALSE;
  if (ci->hAccessToken != INVALID_HANDLE_VALUE && ci->hAccessToken != nullptr) {
    started =
        accountLayer().createProcessAsUser(ci->hAccessToken, command,
                                           /*inheritHandles=*/TRUE, 0, &startup, &process) == 0;
    DWORD error = accountLayer().revertToSelf();
    if (error == 0) {
      trace(ci, "DSADisconnectAgent(): RevertToSelf() successful");
    } else {
      trace(ci, "DSADisconnectAgent(): ERROR: RevertToSelf() return errcode[%d]",
            static_cast<int>(error));
    }
    if (CloseHandle(ci->hAccessToken)) {
      trace(ci, "DSADisconnectAgent(): CloseHandle() successful");
    } else {
      trace(ci, "DSADisconnectAgent(): ERROR: CloseHandle() return errcode[%d]",
            static_cast<int>(GetLastError()));
    }
    ci->hAccessToken = INVALID_HANDLE_VALUE;
  } else {
    started =
        CreateProcessA(/*application=*/nullptr, command, /*processSecurity=*/nullptr,
                       /*threadSecurity=*/nullptr, /*inheritHandles=*/TRUE, 0,
                       /*environment=*/nullptr, /*currentDirectory=*/nullptr, &startup, &process);
  }
  if (started) {
    // Not waited for; only our handles to it go.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

// Releases the extractor of a running data backup or restore: the pipe's client is let go.
void disconnectExtractorPipe(ConnectionRecord* ci) {
  if (ci->pipeConnected != 1) return;
  trace(ci, "DSADisconnectAgent(): ci->status= %d", ci->status);
  // A data restore ends here: the last location's extractor is still waiting for its release.
  if (ci->status == 2) endWholeRestore(ci);
  if (DisconnectNamedPipe(ci->pipeHandle)) {
    trace(ci, "DSADisconnectAgent(): DisconnectNamedPipe successful");
    ci->pipeConnected = 0;
  } else {
    DWORD error = GetLastError();
    std::snprintf(sharedErrorText(), kSharedErrorTextSize,
                  "DSADisconnectAgent(): DisconnectNamedPipe failed. Error= %d",
                  static_cast<int>(error));
    trace(ci, "%s", sharedErrorText());
    Log_act(ci, kActivityPipeNotDisconnected, error);
  }
  if (holdsHandle(ci->pipeHandle)) {
    if (CloseHandle(ci->pipeHandle)) {
      trace(ci, "DSADisconnectAgent(): pipeHandle closed successfully");
    } else {
      trace(ci, "DSADisconnectAgent(): pipeHandle could not be closed.");
    }
  }
  ci->pipeHandle = nullptr;
}

// Ends a remote streaming thread that is still running and closes its handle.
void endRemoteThread(ConnectionRecord* ci, HANDLE* thread, const char* runningText,
                     const char* exitedText, const char* terminateFailedFormat,
                     const char* activityName, const char* closeFailedFormat) {
  if (!holdsHandle(*thread)) return;
  DWORD exitCode = 0;
  if (GetExitCodeThread(*thread, &exitCode) && exitCode == STILL_ACTIVE) {
    trace(ci, "%s", runningText);
    if (!TerminateThread(*thread, 0)) {
      DWORD error = GetLastError();
      trace(ci, terminateFailedFormat, static_cast<int>(error));
      Log_act(ci, kActivityThreadNotTerminated, activityName, error);
    }
  } else {
    trace(ci, "%s", exitedText);
  }
  closeRecordHandle(ci, thread, closeFailedFormat);
}

void closeRemotePipe(ConnectionRecord* ci) {
  trace(ci, "DSADisconnectAgent(): remote job, checking threads");
  if (ci->rhPipe == INVALID_HANDLE_VALUE) {
    trace(ci, "DSADisconnectAgent(): No need to close the pipe");
    return;
  }
  trace(ci, "DSADisconnectAgent(): Need to close the remote pipe handle");
  if (holdsHandle(ci->hRemotePipeConnectThread)) {
    DWORD exitCode = 0;
    if (GetExitCodeThread(ci->hRemotePipeConnectThread, &exitCode) && exitCode == STILL_ACTIVE) {
      trace(ci, "DSADisconnectAgent(): Terminating the thread");
      if (!TerminateThread(ci->hRemotePipeConnectThread, 0)) {
        DWORD error = GetLastError();
        trace(ci, "DSADisconnectAgent(): Error terminating thread, error = %d",
              static_cast<int>(error));
        Log_act(ci, kActivityThreadNotTerminated, "RemotePipeConnectThread", error);
      }
    } else {
      trace(ci, "DSADisconnectAgent(): Remote Pipe Connect thread is not active");
    }
    closeRecordHandle(ci, &ci->hRemotePipeConnectThread, nullptr);
  }
  closeRecordHandle(ci, &ci->rhPipe, nullptr);
  trace(ci, "DSADisconnectAgent(): Remote Pipe Closed");
}

void endSearch(ConnectionRecord* ci, HANDLE* search, const char* failureFormat) {
  if (!holdsHandle(*search)) {
    *search = nullptr;
    return;
  }
  if (!FindClose(*search)) trace(ci, failureFormat, static_cast<int>(GetLastError()));
  *search = nullptr;
}

}  // namespace
}  // namespace ferry::agent

extern "C" DSA_RESULT DSADisconnectAgent(uint32_t connectionId) {
  using namespace ferry::agent;
  using namespace ferry::messages;
  AgentLockGuard lock;
  ConnectionRecord* ci = findConnection(static_cast<int>(connectionId));
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;

  trace(ci, "*************** DSADisconnectAgent(): Starts Here(connid=%d) ***************",
        static_cast<int>(connectionId));
  trace(ci, "DSADisconnectAgent(): DSADisconnectAgent is called.");

  if (ci->remoteJob) {
    trace(ci, "DSADisconnectAgent(): waiting remote read pipe to exit...");
    ci->remoteReaderFlags[1] = 1;
    ci->remoteReaderFlags[2] = 2;
    Sleep(300);
  }
  unsetTemplateVariable(ci);
  endBackupAtDisconnect(ci);
  disconnectExtractorPipe(ci);
  if (ci->connInfo.connected == 1) disconnectOpIngres2(&ci->connInfo);
  closeRecordHandle(ci, &ci->hAccessToken, nullptr);
  if (ci->remoteJob) closeRemotePipe(ci);
  if (holdsHandle(ci->pipeHandle)) {
    trace(ci, "DSADisconnectAgent(): Closing the pipe Handle");
    closeRecordHandle(ci, &ci->pipeHandle, nullptr);
  }
  endRemoteThread(ci, &ci->hWriteRemotePipeThread,
                  "DSADisconnectAgent(): Terminating Write Remote Pipe Thread",
                  "DSADisconnectAgent(): Write Remote Pipe Thread has exited",
                  "DSADisconnectAgent(): Unable to terminate thread error = %d", "WriteRemotePipe",
                  "Unable to close handle ci -> hWriteRemotePipeThread error = %d");
  endRemoteThread(
      ci, &ci->hReadRemotePipeThread, "DSADisconnectAgent(): Terminating Read Remote Pipe Thread",
      "DSADisconnectAgent(): Read Remote Pipe Thread has exited",
      "DSADisconnectAgent(): Unable to terminate thread error = %d", "ReadRemotePipeThread",
      "DSADisconnectAgent(): Unable to close handle ci -> hReadRemotePipeThread error "
      "= %d");
  closeRecordHandle(ci, &ci->fd,
                    "DSADisconnectAgent(): Unable to close handle ci -> fd error = %d");
  if (holdsHandle(ci->pipeHandle) && !DisconnectNamedPipe(ci->pipeHandle)) {
    trace(ci, "DSADisconnectAgent(): Unable to disconnect the named pipe, error = %d",
          static_cast<int>(GetLastError()));
  }
  closeRecordHandle(ci, &ci->pipeHandle,
                    "DSADisconnectAgent(): Unable to close handle ci -> pipeHandle, error = %d");
  if (holdsHandle(ci->rhPipe) && !DisconnectNamedPipe(ci->rhPipe)) {
    trace(ci, "DSADisconnectAgent(): Unable to disconnect the named pipe, error = %d",
          static_cast<int>(GetLastError()));
  }
  closeRecordHandle(ci, &ci->rhPipe,
                    "DSADisconnectAgent(): Unable to close handle ci -> rhPipe, error = %d");
  closeRecordHandle(ci, &ci->hAccessToken,
                    "DSADisconnectAgent(): Unable to close handle ci -> hAccessToken, error = %d");
  endSearch(ci, &ci->findFileConfig,
            "DSADisconnectAgent(): Unable to close handle ci -> findFileConfig error = %d");
  endSearch(ci, &ci->findFileJournal,
            "DSADisconnectAgent(): Unable to close handle ci -> findFileJournal error = %d");

  // The work block of an object whose end never came (a restore ends only here).
  releaseObjectBlock(ci);

  Log_act(ci, kActivityDisconnected);
  trace(ci, "DSADisconnectAgent(): returning SUCCESS");
  traceEndBanner(ci, "DSADisconnectAgent");
  releaseConnection(static_cast<int>(connectionId));
  return DSA_OK;
}
