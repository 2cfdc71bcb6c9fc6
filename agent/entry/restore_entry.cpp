// DSABeginRestore, DSAWrite, DSAEndRestore and DSASetRestorePointInTime: the exported calls of a
// restore. The backup server replays each restored file as one session (begin, header, data
// blocks, end); each call turns the id into the record and runs the restore flow's steps, and for
// a session begun with option bit 0x4 the remote halves that fill its file from the remote pipe.
#define FERRYMAN_BUILD
#include "ferryman.h"

#include <windows.h>

#include "connection/connection_table.h"
#include "core/message_ids.h"
#include "core/object_names.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "remote/remote_flow.h"
#include "remote/remote_pipe.h"
#include "restore/restore_flow.h"

extern "C" DSA_RESULT DSABeginRestore(uint32_t connectionId, const char* objectName,
                                      uint32_t restoreOption, uint32_t* restoreId,
                                      uint32_t* ioUnitId) {
  using namespace ferry::agent;
  using namespace ferry::messages;
  AgentLockGuard lock;
  if (restoreId != nullptr) *restoreId = 0;
  if (ioUnitId != nullptr) *ioUnitId = 0;
  ConnectionRecord* ci = findConnection(static_cast<int>(connectionId));
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  traceStartBanner(ci, "DSABeginRestore");
  if (objectName == nullptr || restoreId == nullptr || ioUnitId == nullptr) {
    trace(ci, "DSABeginRestore(): an argument is missing");
    traceEndBanner(ci, "DSABeginRestore");
    return DSA_ERROR_ARGUMENT_MISSING;
  }
  trace(ci,
        "DSABeginRestore(): Parameters = connectID = %d, restoreObjectName=%s, restoreOption=%x",
        static_cast<int>(connectionId), objectName, restoreOption);
  ObjectName name;
  if (DWORD refused = admitRestoreObject(ci, objectName, &name); refused != 0) {
    traceEndBanner(ci, "DSABeginRestore");
    return refused;
  }
  if (DWORD refused = openRestoreEvent(ci); refused != 0) {
    traceEndBanner(ci, "DSABeginRestore");
    return refused;
  }
  Log_act(ci, kActivityRestoreBegun, objectName);

  ++ci->restore.restoreCount;
  ci->restore.restoreBegun = 1;
  *restoreId = static_cast<uint32_t>(ci->restore.restoreCount);
  *ioUnitId = connectionId;
  ci->remote.remoteJob = 0;
  if (restoreOption & kRestoreRemote) {
    // Each session has a pipe of its own, named by its restore id.
    if (CreateRemotePipe(static_cast<int>(connectionId), /*largeBuffers=*/false) != 0) {
      trace(ci, "DSABeginRestore(): Remote Restore - failed to create remote pipe");
      Log_act(ci, kActivityRemotePipeNotCreated);
      traceEndBanner(ci, "DSABeginRestore");
      return DSA_ERROR_REMOTE_PIPE_NOT_CREATED;
    }
  }
  openRestoreSession(ci, name, restoreOption);
  trace(ci, "DSABeginRestore(): restoreid = %d, iounitid = %d", ci->restore.restoreCount,
        static_cast<int>(connectionId));
  traceEndBanner(ci, "DSABeginRestore");
  return DSA_OK;
}

extern "C" DSA_RESULT DSAWrite(uint32_t connectionId, uint32_t /*reserved1*/,
                               uint32_t /*reserved2*/, const void* buffer, uint32_t* bytesToWrite) {
  using namespace ferry::agent;
  AgentLockGuard lock;
  ConnectionRecord* ci = findConnection(static_cast<int>(connectionId));
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  traceStartBanner(ci, "DSAWrite");
  if (bytesToWrite == nullptr || (buffer == nullptr && *bytesToWrite != 0)) {
    return endRestoreWrite(ci, DSA_ERROR_ARGUMENT_MISSING);
  }
  bool handOverDue = false;
  DWORD result =
      writeRestoreBlock(ci, static_cast<int>(connectionId), buffer, *bytesToWrite, &handOverDue);
  if (!handOverDue) return result;
  result = handOverRemoteFile(ci);
  if (result != 0) DSACloseMatchedObjectFile(static_cast<int>(connectionId), false);
  return endRestoreWrite(ci, result);
}

extern "C" DSA_RESULT DSAEndRestore(uint32_t connectionId, uint32_t endStatus) {
  using namespace ferry::agent;
  using namespace ferry::messages;
  AgentLockGuard lock;
  ConnectionRecord* ci = findConnection(static_cast<int>(connectionId));
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  traceStartBanner(ci, "DSAEndRestore");
  // A remote session's file is put in place only once its stream ended whole.
  bool streamWhole = true;
  const DWORD streamResult = ci->remote.remoteJob ? endRemoteSession(ci, &streamWhole) : 0;
  const DWORD result =
      endRestoreSession(ci, static_cast<int>(connectionId), endStatus, streamWhole, streamResult);
  Log_act(ci, kActivityRestoreEnded, endStatus);
  traceEndBanner(ci, "DSAEndRestore");
  return result;
}

extern "C" DSA_RESULT DSASetRestorePointInTime(uint32_t connectionId, int64_t endTime) {
  using namespace ferry::agent;
  AgentLockGuard lock;
  ConnectionRecord* ci = findConnection(static_cast<int>(connectionId));
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  trace(ci, "DSASetRestorePointInTime(): endTime = %lld, first_write=%d",
        static_cast<long long>(endTime), static_cast<int>(ci->restore.first_write));
  // The time goes on rollforwarddb's command line, which the first write starts.
  if (ci->restore.first_write != 0) return DSA_ERROR_OUT_OF_SEQUENCE;
  if (endTime < 0) return resultFromWin32(ERROR_INVALID_PARAMETER);
  ci->restore.restoreEndTime = endTime;
  ci->restore.restoreEndTimeSet = 1;
  return DSA_OK;
}
