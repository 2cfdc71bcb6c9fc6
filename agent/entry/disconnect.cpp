// DSADisconnectAgent: tears a connection down in a fixed order. Every step runs whether or not
// the one before it failed; failures are traced (or written to the activity log) and the id is
// always released.
#define FERRYMAN_BUILD
#include "ferryman.h"

#include <windows.h>

#include <cstdio>

#include "account/account_layer.h"
#include "account/child_process.h"
#include "backup/backup_flow.h"
#include "catalog_binding/catalog_session.h"
#include "connection/connection_table.h"
#include "connection/object_block.h"
#include "core/message_ids.h"
#include "core/utility_command.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "process_information.h"
#include "remote/remote_flow.h"
#include "restore/restore_flow.h"
#include "unique_handle.h"
#include "utility/extractor_pipe.h"
#include "utility/run_lock.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

// Closes one of the record's handles; a failed close is traced with `failureFormat` (one %d,
// the system error) when one is given.
template <typename Owned>
void closeTraced(ConnectionRecord* ci, Owned* handle, const char* failureFormat) {
  DWORD error = 0;
  if (!handle->close(&error) && failureFormat != nullptr) {
    trace(ci, failureFormat, static_cast<int>(error));
  }
}

// ingunset II_CKTMPL_FILE, started and not waited for: the template the connection registered
// is no longer the installation's. Runs as the connection's account when it has a token, which
// also ends the impersonation the begin steps left on this thread.
void unsetTemplateVariable(ConnectionRecord* ci) {
  char shortRoot[MAX_PATH] = "";
  DWORD n = GetShortPathNameA(ci->installation.iiSystem, shortRoot, sizeof shortRoot);
  if (n == 0 || n >= sizeof shortRoot) {
    // No short form (or none needed): the long form names the same folder.
    std::snprintf(shortRoot, sizeof shortRoot, "%s", ci->installation.iiSystem);
  }
  // Room for any root of MAX_PATH characters: the line is never cut.
  char command[MAX_PATH + 64];
  bool built = buildIngunsetCommand(shortRoot, command, sizeof command) == CommandStatus::Ok;
  if (otherRunActive(ci)) {
    // The installation-wide template belongs to a run of another connection now.
    trace(ci,
          "DSADisconnectAgent(): a data run of another connection is under way; "
          "II_CKTMPL_FILE is left set");
    built = false;
  } else {
    trace(ci, "DSADisconnectAgent(): exec cmd = %s", command);
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  // No handle of the agent's goes with it. Not waited for: only our handles to it go, with
  // `process`.
  UniqueProcessInformation process;
  // A start that fails is not reported: the variable then names the template until the next run
  // of the installation sets it anew.
  if (built) {
    startChildProcess(ci, ci->account.hAccessToken.get(), command, startup, {}, process.put());
  }
  if (ci->account.hAccessToken) {
    DWORD error = accountLayer().revertToSelf();
    if (error == 0) {
      trace(ci, "DSADisconnectAgent(): RevertToSelf() successful");
    } else {
      trace(ci, "DSADisconnectAgent(): ERROR: RevertToSelf() return errcode[%d]",
            static_cast<int>(error));
    }
    if (ci->account.hAccessToken.close(&error)) {
      trace(ci, "DSADisconnectAgent(): CloseHandle() successful");
    } else {
      trace(ci, "DSADisconnectAgent(): ERROR: CloseHandle() return errcode[%d]",
            static_cast<int>(error));
    }
  }
}

// A data restore ends here (its last location's extractor still waits for its release), and
// the extractor of anything else still connected is let go. The restore's outcome, or 0.
DWORD endRunningExtractor(ConnectionRecord* ci) {
  DWORD result = endWholeRestore(ci);
  if (ci->run.pipeConnected == 1) {
    trace(ci, "DSADisconnectAgent(): ci->status= %d", asNumber(ci->status));
    closeExtractorPipe(ci, "DSADisconnectAgent");
  }
  return result;
}

// Disconnects a pipe the record still holds; a failure is traced.
void disconnectLeftPipe(ConnectionRecord* ci, const RecordHandle& pipe) {
  if (pipe && !DisconnectNamedPipe(pipe.get())) {
    trace(ci, "DSADisconnectAgent(): Unable to disconnect the named pipe, error = %d",
          static_cast<int>(GetLastError()));
  }
}

// The record's release: every handle the connection still holds, closed in the fixed order of
// the disconnect, each failure traced and the next step taken all the same. The steps before it
// (the remote job stopped, ingunset, the running backup or restore ended, the extractor and the
// catalog session let go) have closed what they own; releasing the id afterwards leaves the
// record value-initialised.
void releaseRecordHandles(ConnectionRecord* ci) {
  if (ci->run.pipeHandle) {
    trace(ci, "DSADisconnectAgent(): Closing the pipe Handle");
    closeTraced(ci, &ci->run.pipeHandle, nullptr);
  }
  closeTraced(ci, &ci->fd, "DSADisconnectAgent(): Unable to close handle ci -> fd error = %d");
  disconnectLeftPipe(ci, ci->run.pipeHandle);
  closeTraced(ci, &ci->run.pipeHandle,
              "DSADisconnectAgent(): Unable to close handle ci -> pipeHandle, error = %d");
  closeTraced(ci, &ci->account.hAccessToken,
              "DSADisconnectAgent(): Unable to close handle ci -> hAccessToken, error = %d");
  closeTraced(ci, &ci->backup.findFileConfig,
              "DSADisconnectAgent(): Unable to close handle ci -> findFileConfig error = %d");
  closeTraced(ci, &ci->backup.findFileJournal,
              "DSADisconnectAgent(): Unable to close handle ci -> findFileJournal error = %d");
  ci->restore.hRestoreEvent.reset();
  ci->run.ckpdbProcessHandle.reset();
  ci->run.rollforwardProcessHandle.reset();
  // The work block of an object whose end never came (a restore ends only here).
  releaseObjectBlock(ci);
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

  unsetTemplateVariable(ci);
  if (backupLeftOpen(ci)) {
    if (ci->remote.remoteJob) endRemoteBackup(ci, "DSADisconnectAgent");
    endBackupAtDisconnect(ci);
  }
  if (ci->remote.hReadRemotePipeThread || ci->remote.hWriteRemotePipeThread || ci->remote.rhPipe) {
    // The remote threads let go of the pipe and the file before the restore's end looks at them.
    trace(ci, "DSADisconnectAgent(): waiting remote read pipe to exit...");
    endRemoteThreads(ci, "DSADisconnectAgent");
  }
  const DWORD result = endRunningExtractor(ci);
  releaseRunLock(ci);
  if (ci->connInfo.connected == 1) disconnectOpIngres2(&ci->connInfo);
  ci->account.hAccessToken.close();
  releaseRecordHandles(ci);

  Log_act(ci, kActivityDisconnected);
  if (result == 0) {
    trace(ci, "DSADisconnectAgent(): returning SUCCESS");
  } else {
    trace(ci, "DSADisconnectAgent(): the data restore did not complete; returning %d",
          static_cast<int>(result));
  }
  traceEndBanner(ci, "DSADisconnectAgent");
  releaseConnection(static_cast<int>(connectionId));
  return result;
}
