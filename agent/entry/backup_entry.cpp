// DSABeginBackup, DSARead and DSAEndBackup: the exported calls of a backup. Each turns the id
// into the record, then runs the backup flow's steps, or for an object begun with option bit 0x4
// the remote halves that stream it through the remote pipe.
#define FERRYMAN_BUILD
#include "ferryman.h"

#include <windows.h>

#include <cstring>

#include "backup/backup_flow.h"
#include "connection/connection_table.h"
#include "core/ingres_names.h"
#include "core/message_ids.h"
#include "core/object_names.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "remote/remote_flow.h"
#include "remote/remote_pipe.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

// The begin of an object the checks admitted: a new backup id, the remote pipe when the option
// asks for one, the begin step of the object's kind. 0 or the code the begin failed with; a
// remote pipe made for a failed begin is closed again.
DWORD beginAdmittedObject(ConnectionRecord* ci, char* objectName, const ObjectName& form,
                          uint32_t options, uint32_t* backupId) {
  *backupId = static_cast<uint32_t>(++ci->backup.backupCount);
  ci->backup.objectFailed = 0;
  ci->backup.deliveredFiles.clear();
  trace(ci, "DSABeginBackup(): backupObjectName = %s", objectName);
  trace(ci, std::strchr(objectName, '.') == nullptr
                ? "DSABeginBackup(): strchr failed to find its character"
                : "DSABeginBackup(): strchr found its character");
  ci->remote.remoteJob = 0;
  ci->remote.headerSent = 0;
  DWORD result = 0;
  if ((options & DSA_OPTION_REMOTE) != 0) {
    trace(ci, "DSABeginBackup(): Remote backup - Now Creating remote pipe");
    if (CreateRemotePipe(ci->connectionId, /*largeBuffers=*/true) != 0) {
      trace(ci, "DSABeginBackup(): Remote backup - failed to create remote pipe");
      Log_act(ci, kActivityRemotePipeNotCreated);
      result = DSA_ERROR_REMOTE_PIPE_NOT_CREATED;
    }
  }
  // Nothing of the object was begun when its pipe could not be made.
  if (result == 0) result = beginBackupObject(ci, objectName, form, options);
  trace(ci, "DSABeginBackup(): rcode = %d", static_cast<int>(result));
  return result;
}

}  // namespace
}  // namespace ferry::agent

extern "C" DSA_RESULT DSABeginBackup(uint32_t connectionId, char* objectName, uint32_t options,
                                     uint32_t* backupId, uint32_t* remoteArg) {
  using namespace ferry::agent;
  using namespace ferry::messages;
  AgentLockGuard lock;
  if (backupId != nullptr) *backupId = 0;
  ConnectionRecord* ci = findConnection(static_cast<int>(connectionId));
  if (ci == nullptr) {
    Log_act(nullptr, kActivityBackupUnknownConnection);
    return DSA_ERROR_NOT_CONNECTED;
  }
  traceStartBanner(ci, "DSABeginBackup");
  if (objectName == nullptr || backupId == nullptr || remoteArg == nullptr) {
    trace(ci, "DSABeginBackup(): an argument is missing");
    traceEndBanner(ci, "DSABeginBackup");
    return DSA_ERROR_ARGUMENT_MISSING;
  }
  // The database name goes into paths, pipe names and command lines: Ingres' rules first.
  if (!objectDatabaseNameAllowed(objectName, NameRule::Backup)) {
    trace(ci, "DSABeginBackup(): the object name carries no valid database name; refused");
    traceEndBanner(ci, "DSABeginBackup");
    return DSA_ERROR_UNKNOWN_OBJECT;
  }
  Log_act(ci, kActivityBackupBegun, objectName);
  trace(ci, "DSABeginBackup(): Connection ID mapped");
  trace(ci, "DSABeginBackup(): id=%d, backupObjectName= %s, backupOption= %x",
        static_cast<int>(connectionId), objectName, options);

  const ObjectName form = classifyObjectName(objectName, NameRule::Backup);
  DWORD result = refuseBackupBegin(ci, objectName, form);
  if (result == 0) {
    result = beginAdmittedObject(ci, objectName, form, options, backupId);
    *remoteArg = connectionId;
    if (result != 0 && ci->remote.remoteJob) {
      trace(ci, "DSABeginBackup(): Remote backup job failed - checking threads");
      closeRemotePipe(ci, "DSABeginBackup");
      ci->remote.remoteJob = 0;
    }
  }
  trace(ci, "DSABeginBackup(): return. rcode = %d", static_cast<int>(result));
  traceEndBanner(ci, "DSABeginBackup");
  return result;
}

extern "C" DSA_RESULT DSARead(uint32_t connectionId, uint32_t backupId, uint32_t /*reserved*/,
                              void* buffer, uint32_t* count) {
  using namespace ferry::agent;
  AgentLockGuard lock;
  ConnectionRecord* ci = findConnection(static_cast<int>(connectionId));
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  traceStartBanner(ci, "DSARead");
  if (buffer == nullptr || count == nullptr) {
    trace(ci, "DSARead(): an argument is missing");
    traceEndBanner(ci, "DSARead");
    return DSA_ERROR_ARGUMENT_MISSING;
  }
  trace(ci, "DSARead(): bytesRead (input)= %d", static_cast<int>(*count));
  trace(ci, "DSARead(): ObjectType= %d", asNumber(ci->ObjectType));
  DWORD result = 0;
  if (!isBackingUp(ci->status)) {
    trace(ci, "%s(): Invalid Call Sequence.", "DSARead");
    result = DSA_ERROR_OUT_OF_SEQUENCE;
  } else if (ci->backup.objectFailed != 0) {
    trace(ci, "DSARead(): the object failed earlier (%d); nothing more is read",
          static_cast<int>(ci->backup.objectFailed));
    *count = 0;
    result = static_cast<DWORD>(ci->backup.objectFailed);
  } else if (ci->remote.remoteJob) {
    result = readRemoteBackup(ci, static_cast<int>(connectionId), static_cast<int>(backupId),
                              buffer, count);
  } else {
    result = readObjectPiece(ci, static_cast<int>(connectionId), static_cast<int>(backupId), buffer,
                             count);
  }
  noteReadResult(ci, result);
  trace(ci, "DSARead(): returns. bytesRead=%d, RetCode=%d", static_cast<int>(*count),
        static_cast<int>(result));
  if (result == DSA_LAST_LOCATION_DONE) result = 0;
  traceEndBanner(ci, "DSARead");
  return result;
}

extern "C" DSA_RESULT DSAEndBackup(uint32_t connectionId, uint32_t endStatus) {
  using namespace ferry::agent;
  using namespace ferry::messages;
  AgentLockGuard lock;
  ConnectionRecord* ci = findConnection(static_cast<int>(connectionId));
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  traceStartBanner(ci, "DSAEndBackup");
  if (!isBackingUp(ci->status)) {
    trace(ci, "%s(): Invalid Call Sequence.", "DSAEndBackup");
    return DSA_ERROR_OUT_OF_SEQUENCE;
  }
  // The remote writer goes first: until it has, the object may still be streaming.
  if (ci->remote.remoteJob) endRemoteBackup(ci, "DSAEndBackup");
  const DWORD result = endBackupObject(ci, endStatus);
  ci->remote.remoteJob = 0;
  traceEndBanner(ci, "DSAEndBackup");
  Log_act(ci, kActivityBackupEnded, endStatus);
  return result;
}
