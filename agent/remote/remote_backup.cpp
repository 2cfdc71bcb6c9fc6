// The remote backup: the first DSARead returns the first header and starts WriteRemotePipe,
// which sends the rest of the object through the remote pipe, reading it through the same
// readers a local DSARead uses.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "aligned_buffer.h"
#include "backup/object_stream.h"
#include "connection/connection_table.h"
#include "connection/object_block.h"
#include "core/message_ids.h"
#include "ferryman.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "object_header.h"
#include "remote/remote_flow.h"
#include "remote/remote_pipe.h"
#include "remote_stream.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

// Every remote header carries the backup's checkpoint number, the journal and configuration
// headers too.
void stampCheckpoint(void* header, const char* checkpoint) {
  char* field = static_cast<char*>(header) + header::kCheckpointOffset;
  std::memset(field, 0, header::kCheckpointSize);
  std::snprintf(field, header::kCheckpointSize, "%s", checkpoint);
}

// One chunk of a file's data. A chunk that happens to equal the end marker goes as two
// messages, so that a 15-byte message equal to the marker always is the marker.
DWORD sendData(ConnectionRecord* ci, HANDLE io, const uint8_t* data, DWORD size) {
  if (remote::isEndMarker(data, size)) {
    if (DWORD result = writeRemoteMessage(ci, io, data, size - 1); result != 0) return result;
    return writeRemoteMessage(ci, io, data + size - 1, 1);
  }
  return writeRemoteMessage(ci, io, data, size);
}

// The files are read in pieces of 16 messages: one read and one hold of the agent lock per
// piece, not per message. The pieces start at multiples of the message size, so the messages are
// the same as those of one read per message.
constexpr size_t kReadPieceSize = 16 * remote::kBackupMessageSize;

// A piece of a file's data as messages of at most the stream's size.
DWORD sendPiece(ConnectionRecord* ci, HANDLE io, const uint8_t* data, uint32_t size) {
  for (uint32_t at = 0; at < size; at += static_cast<uint32_t>(remote::kBackupMessageSize)) {
    const uint32_t left = size - at;
    const DWORD chunk =
        static_cast<DWORD>(left < remote::kBackupMessageSize ? left : remote::kBackupMessageSize);
    if (DWORD result = sendData(ci, io, data + at, chunk); result != 0) return result;
  }
  return 0;
}

// The object after its first header: each file's data and end marker, each next file's header,
// until the readers report the object's end. 0, or the code the object failed with.
DWORD streamObject(ConnectionRecord* ci, int connectionId, int backupId, HANDLE io,
                   uint8_t* buffer) {
  for (;;) {
    uint32_t count = static_cast<uint32_t>(kReadPieceSize);
    DWORD result = 0;
    bool headerDue = false;
    {
      // The readers share the record with the calls; only the pipe's waits run unlocked.
      AgentLockGuard lock;
      headerDue = !ci->fd;
      // Between files a stop is looked for here; within a file the next message's wait sees it.
      if (headerDue && WaitForSingleObject(ci->remote.remoteStop.get(), 0) == WAIT_OBJECT_0) {
        return DSA_ERROR_REMOTE_STREAM;  // ended before the stream was
      }
      result = readObjectPiece(ci, connectionId, backupId, buffer, &count);
      if (result == 0 && headerDue && count == header::kSize)
        stampCheckpoint(buffer, ci->backup.ckpdbID);
    }
    if (result == DSA_LAST_LOCATION_DONE) return 0;
    if (result == DSA_END_OF_OBJECT) {
      result = writeRemoteMessage(ci, io, remote::kEndOfSubstream, remote::kEndMarkerSize);
    } else if (result != 0) {
      return result;
    } else if (headerDue) {
      if (count == 0) return 0;  // the end of a journal or configuration object
      result = writeRemoteMessage(ci, io, buffer, count);
    } else {
      result = sendPiece(ci, io, buffer, count);
    }
    if (result != 0) return result;
  }
}

DWORD WINAPI WriteRemotePipe(void* parameter) {
  const int id = static_cast<int>(reinterpret_cast<intptr_t>(parameter));
  ConnectionRecord* ci = nullptr;
  int backupId = 0;
  bool nothingLeft = false;
  {
    AgentLockGuard lock;
    ci = findConnection(id);
    if (ci == nullptr) return 0;
    backupId = ci->backup.backupCount;
    // An object without files ended at its first read: the client only sees the pipe close.
    nothingLeft = ci->objectBlock != nullptr && ci->objectBlock->delivered != 0;
  }
  // Auto-reset: each message's wait takes the signal of its own operation, so none is reset.
  UniqueHandleNull io(CreateEventA(nullptr, /*manualReset=*/FALSE, FALSE, nullptr));
  // Sector-aligned, as the unbuffered reads of the data files need.
  DWORD result = DSA_ERROR_REMOTE_STREAM;
  {
    AlignedBuffer buffer(kReadPieceSize);
    if (io && buffer.valid()) result = awaitRemoteClient(ci);
    if (result == 0 && !nothingLeft) {
      result = streamObject(ci, id, backupId, io.get(), buffer.data());
    }
  }

  AgentLockGuard lock;
  trace(ci, "WriteRemotePipe(): WriteRemotePipe() returns rcode = %d", static_cast<int>(result));
  if (result != 0) {
    // Reported where the backup server looks: every later DSARead, and DSAEndBackup, which then
    // ends the checkpoint run without a checkpoint.
    if (ci->backup.objectFailed == 0) ci->backup.objectFailed = static_cast<int32_t>(result);
    Log_act(ci, kActivityRemoteStreamFailed, asNumber(ci->ObjectType), result);
    closeObjectFile(ci, "WriteRemotePipe(): close() failed. Error= %d");
  }
  ci->remote.remoteResult = result;
  // The client reads what the pipe still holds, then finds it closed: the end of the object.
  closeRemotePipe(ci, "WriteRemotePipe");
  ci->remote.remoteWriteDone = 1;
  trace(ci, "WriteRemotePipe(): thread exit.");
  return 0;
}

}  // namespace

DWORD readRemoteBackup(ConnectionRecord* ci, int connectionId, int backupId, void* buffer,
                       uint32_t* count) {
  trace(ci, "DSARead(): remote backup job");
  if (ci->remote.headerSent) return ci->remote.remoteWriteDone ? ci->remote.remoteResult.load() : 0;
  trace(ci, "DSARead(): Need to read the header");
  if (*count < header::kSize) return DSA_ERROR_BUFFER_TOO_SMALL;
  uint32_t size = static_cast<uint32_t>(header::kSize);
  DWORD result = readObjectPiece(ci, connectionId, backupId, buffer, &size);
  if (result == DSA_LAST_LOCATION_DONE) result = 0;
  if (result != 0) return result;
  if (size == header::kSize) {
    stampCheckpoint(buffer, ci->backup.ckpdbID);
    trace(ci, "DSARead(): ci ->ckpdbID = %s", ci->backup.ckpdbID);
  }
  *count = size;
  ci->remote.headerSent = 1;
  ci->remote.remoteWriteDone = 0;
  ci->remote.remoteResult = 0;
  ResetEvent(ci->remote.remoteStop.get());
  if (!startRemoteThread(ci, WriteRemotePipe, &ci->remote.hWriteRemotePipeThread,
                         "WriteRemotePipeThread", "DSARead(): error creating thread EC=%d")) {
    return DSA_ERROR_REMOTE_STREAM;
  }
  trace(ci, "DSARead(): Created Thread WriteRemotePipe");
  return 0;
}

void endRemoteBackup(ConnectionRecord* ci, const char* routine) {
  trace(ci, "%s(): Remote backup job - checking threads", routine);
  if (ci->remote.hWriteRemotePipeThread) {
    if (!ci->remote.remoteWriteDone) {
      trace(ci, "%s(): the remote stream has not ended; it is stopped", routine);
    }
    SetEvent(ci->remote.remoteStop.get());
    joinRemoteThread(ci, &ci->remote.hWriteRemotePipeThread, routine, "WriteRemotePipe");
  }
  closeRemotePipe(ci, routine);
  ci->remote.headerSent = 0;
}

}  // namespace ferry::agent
