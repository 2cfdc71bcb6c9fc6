#include "remote/remote_pipe.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "connection/connection_table.h"
#include "core/message_ids.h"
#include "core/settings_key.h"
#include "ferryman.h"
#include "library/agent_state.h"
#include "library/wait_limits.h"
#include "logs/activity_log.h"
#include "logs/settings.h"
#include "logs/trace.h"
#include "remote_stream.h"
#include "utility/pipe_security.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

constexpr int kCreateAttempts = 10;
constexpr DWORD kCreateRetryMs = 200;
constexpr DWORD kPipeDefaultTimeoutMs = 30000;
// A connect thread cut short ends at once; this only guards against one that does not.
constexpr DWORD kConnectThreadEndMs = 10000;

void* connectionParameter(int id) { return reinterpret_cast<void*>(static_cast<intptr_t>(id)); }

// The accounts the agent setting lets into the remote pipe besides SYSTEM, the Administrators
// and the connection's own.
std::vector<std::string> settingAccounts(ConnectionRecord* ci) {
  const std::string instance = agentInstanceName(ci->installation.installationCode);
  bool tooMany = false;
  std::vector<std::string> accounts = remotePipeAccounts(
      readAgentText("agent", instance.c_str(), kRemotePipeAccountsValue), &tooMany);
  if (tooMany) {
    trace(ci, "CreateRemotePipe(): %s names more than %d accounts; the first %d are let in",
          kRemotePipeAccountsValue, static_cast<int>(kMostRemotePipeAccounts),
          static_cast<int>(kMostRemotePipeAccounts));
  }
  return accounts;
}

HANDLE createPipe(ConnectionRecord* ci, bool largeBuffers, SECURITY_ATTRIBUTES* security) {
  const DWORD bufferSize =
      static_cast<DWORD>(largeBuffers ? remote::kBackupMessageSize : remote::kRestoreMessageSize);
  for (int retry = 0;; ++retry) {
    // One instance, and the first: no one can have made it ahead of the agent to stand in for it.
    HANDLE pipe =
        CreateNamedPipeA(ci->remote.remotePipeName,
                         PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, /*instances=*/1,
                         bufferSize, bufferSize, kPipeDefaultTimeoutMs, security);
    if (pipe != INVALID_HANDLE_VALUE) return pipe;
    trace(ci, "CreateRemotePipe(): Error in creating named pipe error = %d, retry=%d",
          static_cast<int>(GetLastError()), retry);
    if (retry + 1 == kCreateAttempts) return INVALID_HANDLE_VALUE;
    Sleep(kCreateRetryMs);
  }
}

// Traces from a thread of the connection's own: under the agent lock, as the calls trace.
void threadTrace(ConnectionRecord* ci, const char* format, ...) {
  AgentLockGuard lock;
  va_list args;
  va_start(args, format);
  traceV(ci, format, args);
  va_end(args);
}

// The overlapped operation started on `pipe` (or failed at once: `started` false), waited for
// within `limitMs`, cut short by the stop or the pipe's closing. 0 with *done, or the system
// error (ERROR_OPERATION_ABORTED when cut short, ERROR_TIMEOUT at the limit).
DWORD finishIo(ConnectionRecord* ci, HANDLE pipe, OVERLAPPED* overlapped, BOOL started,
               DWORD limitMs, DWORD* done) {
  *done = 0;
  if (!started) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return error != 0 ? error : ERROR_GEN_FAILURE;
  }
  // The stop and the closing come first: a wait sees them even when the operation is done, so
  // the streaming loop needs no check of its own between messages.
  HANDLE waits[] = {ci->remote.remoteStop.get(), ci->remote.remotePipeClosing.get(),
                    overlapped->hEvent};
  const DWORD waited = WaitForMultipleObjects(3, waits, FALSE, limitMs);
  constexpr DWORD kIoDone = WAIT_OBJECT_0 + 2;
  if (waited != kIoDone) CancelIoEx(pipe, overlapped);
  const BOOL finished = GetOverlappedResult(pipe, overlapped, done, /*wait=*/TRUE);
  if (waited == WAIT_TIMEOUT) return ERROR_TIMEOUT;
  if (waited != kIoDone) return ERROR_OPERATION_ABORTED;
  if (!finished) {
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
  }
  return 0;
}

// The connect thread: listens until the media side opens the pipe, the pipe closes, or the stall
// limit passes (the thread that streams bounds its own wait for the client far sooner).
DWORD WINAPI RemotePipeConnect(void* parameter) {
  const int id = static_cast<int>(reinterpret_cast<intptr_t>(parameter));
  ConnectionRecord* ci = nullptr;
  {
    AgentLockGuard lock;
    ci = findConnection(id);
    if (ci == nullptr) {
      Log_act(nullptr, kActivityRemoteConnectNoConnection);
      return 0;
    }
  }
  ci->remote.pipe_connect_called = 1;
  const HANDLE pipe = ci->remote.rhPipe.get();
  UniqueHandleNull event(CreateEventA(nullptr, /*manualReset=*/TRUE, FALSE, nullptr));
  OVERLAPPED overlapped{};
  overlapped.hEvent = event.get();
  DWORD result = 0;
  const BOOL listening = event && ConnectNamedPipe(pipe, &overlapped);
  const DWORD listenError = listening ? 0 : GetLastError();
  if (!event) {
    result = DSA_ERROR_REMOTE_STREAM;
  } else if (!listening && listenError != ERROR_PIPE_CONNECTED && listenError != ERROR_NO_DATA) {
    // ERROR_PIPE_CONNECTED: the client came before the listen. ERROR_NO_DATA: it came and has
    // gone again; what it wrote is still in the pipe (and a backup's writer finds it broken).
    SetLastError(listenError);
    DWORD done = 0;
    const DWORD error = finishIo(ci, pipe, &overlapped, FALSE, waitLimits().remoteStallMs, &done);
    if (error == ERROR_TIMEOUT || error == ERROR_OPERATION_ABORTED) {
      result = DSA_ERROR_REMOTE_CLIENT_ABSENT;  // no one came, or the pipe closed first
    } else if (error != 0 && error != ERROR_PIPE_CONNECTED) {
      AgentLockGuard lock;
      trace(ci, "RemotePipeConnect(): Error in named pipe connection. EC=%d",
            static_cast<int>(error));
      Log_act(ci, kActivityRemoteConnectFailed);
      result = DSA_ERROR_REMOTE_STREAM;
    }
  }
  ci->remote.remoteConnectResult = result;
  SetEvent(ci->remote.remoteConnected.get());
  threadTrace(ci, "RemotePipeConnect(): Exiting thread of RemotePipeConnect()");
  return 0;
}

UniqueHandleNull manualEvent() {
  return UniqueHandleNull(CreateEventA(nullptr, /*manualReset=*/TRUE, FALSE, nullptr));
}

}  // namespace

bool prepareRemoteEvents(ConnectionRecord* ci) {
  if (!ci->remote.remoteStop) ci->remote.remoteStop.reset(manualEvent().release());
  if (!ci->remote.remotePipeClosing) ci->remote.remotePipeClosing.reset(manualEvent().release());
  if (!ci->remote.remoteConnected) ci->remote.remoteConnected.reset(manualEvent().release());
  if (!ci->remote.remoteFileDone) ci->remote.remoteFileDone.reset(manualEvent().release());
  if (!ci->remote.remoteFileReady) {
    ci->remote.remoteFileReady.reset(CreateEventA(nullptr, /*manualReset=*/FALSE, FALSE, nullptr));
  }
  return ci->remote.remoteStop && ci->remote.remotePipeClosing && ci->remote.remoteConnected &&
         ci->remote.remoteFileDone && ci->remote.remoteFileReady;
}

DWORD CreateRemotePipe(int connectID, bool largeBuffers) {
  ConnectionRecord* ci = findConnection(connectID);
  if (ci == nullptr) {
    Log_act(nullptr, kActivityRemotePipeUnknownConnection);
    return DSA_ERROR_NOT_CONNECTED;
  }
  // A pipe of an earlier session that was never ended goes first: one pipe at a time.
  closeRemotePipe(ci, "CreateRemotePipe");
  ci->remote.remoteJob = 1;
  ci->remote.pipe_connect_called = 0;
  const int runId = ci->restore.restoreBegun ? ci->restore.restoreCount : ci->backup.backupCount;
  std::snprintf(ci->remote.remotePipeName, sizeof ci->remote.remotePipeName, "%s",
                remote::pipeName(ci->installation.installationCode, runId, connectID).c_str());
  trace(ci, "CreatePipeName(): pipename=%s", ci->remote.remotePipeName);
  if (!prepareRemoteEvents(ci)) {
    trace(ci, "CreateRemotePipe(): We encountered a memory allocation error.  RC = %d",
          static_cast<int>(GetLastError()));
    Log_act(ci, kActivityOutOfMemory);
    return DSA_ERROR_FILE;
  }
  // A stop that ended the connection's earlier threads must not end this pipe's listen.
  if (!ci->remote.hWriteRemotePipeThread && !ci->remote.hReadRemotePipeThread)
    ResetEvent(ci->remote.remoteStop.get());
  ResetEvent(ci->remote.remotePipeClosing.get());
  ResetEvent(ci->remote.remoteConnected.get());
  ci->remote.remoteConnectResult = DSA_ERROR_REMOTE_CLIENT_ABSENT;

  PipeSecurity security;
  std::vector<std::string> unresolved;
  DWORD error = 0;
  if (!security.prepare(ci, settingAccounts(ci), &error, &unresolved)) {
    trace(ci, "CreateRemotePipe(): Could Not set the Security Descriptor's fields");
    Log_act(ci, kActivityRemotePipeSecurityDacl);
    return DSA_ERROR_REMOTE_PIPE_SECURITY;
  }
  for (const std::string& account : unresolved) {
    trace(ci, "CreateRemotePipe(): the account %s is not known; it is not let in", account.c_str());
    Log_act(ci, kActivityRemoteAccountUnknown, account.c_str());
  }
  ci->remote.rhPipe.reset(createPipe(ci, largeBuffers, security.attributes()));
  if (!ci->remote.rhPipe) return DSA_ERROR_REMOTE_PIPE_NOT_CREATED;
  trace(ci, "CreateRemotePipe(): Named pipe created. Handle=%d",
        static_cast<int>(reinterpret_cast<intptr_t>(ci->remote.rhPipe.get())));
  // The client may open the pipe before the thread listens: the listen then finds it connected.
  if (!startRemoteThread(ci, RemotePipeConnect, &ci->remote.hRemotePipeConnectThread,
                         "RemotePipeConnectThread",
                         "CreateRemotePipe(): could not create the connect thread, error = %d")) {
    ci->remote.rhPipe.reset();
    return DSA_ERROR_REMOTE_PIPE_NOT_CREATED;
  }
  return 0;
}

DWORD awaitRemoteClient(ConnectionRecord* ci) {
  // From the moment the stream is due: the media side learns the pipe's name only when the
  // begin call returns.
  HANDLE waits[] = {ci->remote.remoteConnected.get(), ci->remote.remoteStop.get(),
                    ci->remote.remotePipeClosing.get()};
  const DWORD limit = waitLimits().remoteConnectMs;
  const DWORD waited = WaitForMultipleObjects(3, waits, FALSE, limit);
  if (waited == WAIT_OBJECT_0) return ci->remote.remoteConnectResult.load();
  if (waited == WAIT_TIMEOUT) {
    AgentLockGuard lock;
    trace(ci, "RemotePipeConnect(): no client opened %s within %lu s", ci->remote.remotePipeName,
          static_cast<unsigned long>(limit / 1000));
    Log_act(ci, kActivityRemoteClientAbsent, ci->remote.remotePipeName, limit / 1000);
  }
  return DSA_ERROR_REMOTE_CLIENT_ABSENT;
}

DWORD writeRemoteMessage(ConnectionRecord* ci, HANDLE io, const void* data, DWORD size) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = io;
  const HANDLE pipe = ci->remote.rhPipe.get();
  const BOOL started = WriteFile(pipe, data, size, nullptr, &overlapped);
  DWORD done = 0;
  const DWORD error = finishIo(ci, pipe, &overlapped, started, waitLimits().remoteStallMs, &done);
  if (error == 0 && done == size) return 0;
  threadTrace(ci, "WriteRemotePipe(): Error in WriteFile EC=%d.",
              static_cast<int>(error != 0 ? error : ERROR_WRITE_FAULT));
  return DSA_ERROR_REMOTE_STREAM;
}

DWORD readRemoteMessage(ConnectionRecord* ci, HANDLE io, void* buffer, DWORD size, DWORD* got) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = io;
  const HANDLE pipe = ci->remote.rhPipe.get();
  const BOOL started = ReadFile(pipe, buffer, size, nullptr, &overlapped);
  const DWORD error = finishIo(ci, pipe, &overlapped, started, waitLimits().remoteStallMs, got);
  if (error == 0) return 0;
  // ERROR_MORE_DATA: a message longer than the stream allows, which would be cut.
  threadTrace(ci, "ReadRemotePipe(): ReadFile failed. Error = %d", static_cast<int>(error));
  return DSA_ERROR_REMOTE_STREAM;
}

bool startRemoteThread(ConnectionRecord* ci, LPTHREAD_START_ROUTINE routine, RecordHandle* thread,
                       const char* name, const char* failedFormat) {
  thread->reset(CreateThread(/*security=*/nullptr, 0, routine,
                             connectionParameter(ci->connectionId), 0, nullptr));
  if (*thread) return true;
  const DWORD error = GetLastError();
  trace(ci, failedFormat, static_cast<int>(error));
  Log_act(ci, kActivityThreadNotCreated, name, error);
  return false;
}

void joinRemoteThread(ConnectionRecord* ci, RecordHandle* thread, const char* routine,
                      const char* name) {
  if (!*thread) return;
  if (waitWithoutAgentLock(thread->get(), waitLimits().remoteThreadEndMs) != WAIT_OBJECT_0) {
    // Every wait of the threads is bounded and cut short by the stop; this is the guard
    // against one that is not.
    trace(ci, "%s(): Terminating the thread %s", routine, name);
    if (!TerminateThread(thread->get(), 1)) {
      const DWORD error = GetLastError();
      trace(ci, "%s(): Error terminating thread, error = %d", routine, static_cast<int>(error));
      Log_act(ci, kActivityThreadNotTerminated, name, error);
    }
  }
  thread->reset();
}

void closeRemotePipe(ConnectionRecord* ci, const char* routine) {
  if (!ci->remote.rhPipe && !ci->remote.hRemotePipeConnectThread) return;
  if (ci->remote.remotePipeClosing) SetEvent(ci->remote.remotePipeClosing.get());
  if (ci->remote.hRemotePipeConnectThread) {
    if (waitWithoutAgentLock(ci->remote.hRemotePipeConnectThread.get(), kConnectThreadEndMs) !=
        WAIT_OBJECT_0) {
      trace(ci, "%s(): Terminating the thread", routine);
      if (!TerminateThread(ci->remote.hRemotePipeConnectThread.get(), 1)) {
        const DWORD error = GetLastError();
        trace(ci, "%s(): Error terminating thread, error = %d", routine, static_cast<int>(error));
        Log_act(ci, kActivityThreadNotTerminated, "RemotePipeConnectThread", error);
      }
    }
    ci->remote.hRemotePipeConnectThread.reset();
  }
  DWORD error = 0;
  if (ci->remote.rhPipe && !ci->remote.rhPipe.close(&error)) {
    trace(ci, "%s(): Unable to close handle ci -> rhPipe, error = %d", routine,
          static_cast<int>(error));
  }
  trace(ci, "%s(): Remote Pipe Closed", routine);
}

}  // namespace ferry::agent
