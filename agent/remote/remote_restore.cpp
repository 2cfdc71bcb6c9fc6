// The remote restore: each session's DSAWrite of the header opens the file as a local restore
// does and hands it to ReadRemotePipe, which fills it from the session's remote pipe until the
// client's empty message; DSAEndRestore waits for that before the file is put in place.
#include <windows.h>

#include <cstdint>

#include "aligned_buffer.h"
#include "connection/connection_table.h"
#include "core/message_ids.h"
#include "ferryman.h"
#include "library/agent_state.h"
#include "library/wait_limits.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "remote/remote_flow.h"
#include "remote/remote_pipe.h"
#include "remote_stream.h"
#include "restore/file_stream.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

// Once the stream was cut short, the reader lets go of the file within this.
constexpr DWORD kReaderLetGoMs = 10000;

// The messages are gathered into pieces of up to 32 of them: one write to the file and one hold
// of the agent lock per piece, not per message.
constexpr size_t kWritePieceSize = 32 * remote::kRestoreMessageSize;

// Fills the handed-over file from the pipe: 0 at the client's empty message, else the code. A
// file whose stream breaks off is discarded whole, so what was gathered of it is not written.
DWORD fillFile(ConnectionRecord* ci, HANDLE io, uint8_t* buffer) {
  if (DWORD connected = awaitRemoteClient(ci); connected != 0) return connected;
  size_t gathered = 0;
  for (;;) {
    DWORD got = 0;
    if (DWORD result =
            readRemoteMessage(ci, io, buffer + gathered, remote::kRestoreMessageSize, &got);
        result != 0) {
      return result;
    }
    gathered += got;
    const bool end = got == 0;
    if (gathered + remote::kRestoreMessageSize > kWritePieceSize || (end && gathered > 0)) {
      AgentLockGuard lock;
      if (DWORD result = dsaWrite_cldsa(ci, buffer, static_cast<uint32_t>(gathered)); result != 0) {
        return result;
      }
      gathered = 0;
    }
    if (end) return 0;
  }
}

DWORD WINAPI ReadRemotePipe(void* parameter) {
  const int id = static_cast<int>(reinterpret_cast<intptr_t>(parameter));
  ConnectionRecord* ci = nullptr;
  {
    AgentLockGuard lock;
    ci = findConnection(id);
    if (ci == nullptr) return 0;
  }
  // Auto-reset: each message's wait takes the signal of its own operation, so none is reset.
  UniqueHandleNull io(CreateEventA(nullptr, /*manualReset=*/FALSE, FALSE, nullptr));
  AlignedBuffer buffer(kWritePieceSize);
  for (;;) {
    // Between files the reader only waits: for the next file, or for the connection's end.
    HANDLE waits[] = {ci->remote.remoteStop.get(), ci->remote.remoteFileReady.get()};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) break;
    const DWORD result =
        io && buffer.valid() ? fillFile(ci, io.get(), buffer.data()) : DSA_ERROR_REMOTE_STREAM;
    AgentLockGuard lock;
    if (result != 0) {
      trace(ci, "ReadRemotePipe(): the file %s failed with %d", ci->restore.restoreFinalPath,
            static_cast<int>(result));
    }
    ci->remote.remoteResult = result;
    if (ci->restore.hRestoreEvent) SetEvent(ci->restore.hRestoreEvent.get());
    SetEvent(ci->remote.remoteFileDone.get());
  }
  AgentLockGuard lock;
  trace(ci, "ReadRemotePipe(): Exiting thread");
  return 0;
}

}  // namespace

DWORD handOverRemoteFile(ConnectionRecord* ci) {
  if (!prepareRemoteEvents(ci)) return DSA_ERROR_REMOTE_STREAM;
  if (!ci->remote.hReadRemotePipeThread) {
    ResetEvent(ci->remote.remoteStop.get());
    if (!startRemoteThread(ci, ReadRemotePipe, &ci->remote.hReadRemotePipeThread,
                           "ReadRemotePipeThread",
                           "DSAWrite(): Could not create the ReadRemotePipe thread, error = %d")) {
      return DSA_ERROR_REMOTE_STREAM;
    }
  } else {
    trace(ci, "DSAWrite(): remote and not the first write");
  }
  ci->remote.remoteResult = 0;
  ResetEvent(ci->remote.remoteFileDone.get());
  ci->remote.remoteFileHandedOver = 1;
  SetEvent(ci->remote.remoteFileReady.get());
  return 0;
}

DWORD endRemoteSession(ConnectionRecord* ci, bool* keep) {
  DWORD result = 0;
  if (ci->remote.remoteFileHandedOver) {
    // The client has written the file when it ends the session; what the pipe still holds is
    // read within moments.
    if (waitWithoutAgentLock(ci->remote.remoteFileDone.get(), waitLimits().remoteFileEndMs) !=
        WAIT_OBJECT_0) {
      trace(ci, "DSAEndRestore(): the remote stream of %s did not end; it is cut off",
            ci->restore.restoreFinalPath);
      SetEvent(ci->remote.remotePipeClosing.get());
      waitWithoutAgentLock(ci->remote.remoteFileDone.get(), kReaderLetGoMs);
      result = DSA_ERROR_REMOTE_STREAM;
    } else {
      result = ci->remote.remoteResult.load();
    }
    ci->remote.remoteFileHandedOver = 0;
    if (result != 0) Log_act(ci, kActivityRemoteStreamFailed, asNumber(ci->ObjectType), result);
  }
  *keep = result == 0;
  closeRemotePipe(ci, "DSAEndRestore");
  return result;
}

void endRemoteThreads(ConnectionRecord* ci, const char* routine) {
  if (ci->remote.remoteStop) SetEvent(ci->remote.remoteStop.get());
  if (ci->remote.remotePipeClosing) SetEvent(ci->remote.remotePipeClosing.get());
  joinRemoteThread(ci, &ci->remote.hWriteRemotePipeThread, routine, "WriteRemotePipe");
  joinRemoteThread(ci, &ci->remote.hReadRemotePipeThread, routine, "ReadRemotePipeThread");
  closeRemotePipe(ci, routine);
  ci->remote.remoteFileHandedOver = 0;
}

}  // namespace ferry::agent
