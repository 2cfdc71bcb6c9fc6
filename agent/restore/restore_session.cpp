// The steps of a restore session behind DSABeginRestore, DSAWrite and DSAEndRestore: the backup
// server replays each restored file as one session (begin, header, data blocks, end); the first
// write of the connection runs the begin step of its restore.
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "connection/connection_table.h"
#include "core/ingres_names.h"
#include "core/message_ids.h"
#include "core/object_names.h"
#include "core/restore_names.h"
#include "library/agent_state.h"
#include "library/named_objects.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "object_header.h"
#include "restore/restore_flow.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

constexpr size_t kHeaderCheckpointLimit = 256;

}  // namespace

DSA_RESULT endRestoreWrite(ConnectionRecord* ci, DSA_RESULT result) {
  // Whatever failed once the data restore has begun leaves a location that is not whole.
  if (result != 0 && result != DSA_ERROR_OUT_OF_SEQUENCE && ci->restore.first_write != 0 &&
      ci->restore.restoreKind == ObjectType::Data && !ci->restore.restoreFailed) {
    trace(ci, "DSAWrite(): the data restore failed with %d", static_cast<int>(result));
    ci->restore.restoreFailed = 1;
  }
  traceEndBanner(ci, "DSAWrite");
  return result;
}

namespace {

DSA_RESULT refuseBlock(ConnectionRecord* ci, uint32_t bytes, HeaderCheck check) {
  trace(ci, "DSAWrite(): a block of %d bytes is due as an object header but is %s; refused",
        static_cast<int>(bytes), headerCheckText(check));
  return endRestoreWrite(ci, DSA_ERROR_NOT_AN_OBJECT_HEADER);
}

// The first write of the connection: the begin step of the restore kind. 0 or its code.
DWORD runBeginStep(ConnectionRecord* ci, int connectionId, const void* header) {
  char checkpoint[kHeaderCheckpointLimit + 1];
  const std::string_view text = header::checkpointOf(header);
  std::snprintf(
      checkpoint, sizeof checkpoint, "%.*s",
      static_cast<int>(text.size() < kHeaderCheckpointLimit ? text.size() : kHeaderCheckpointLimit),
      text.data());
  ci->restore.first_write = 1;
  DWORD result = 0;
  switch (ci->restore.restoreKind) {
    case ObjectType::Data:
      result =
          beginRestoreDB(connectionId, ci->dbName, ci->restore.restoreOption, checkpoint,
                         ci->restore.restoreEndTimeSet ? &ci->restore.restoreEndTime : nullptr);
      if (result != 0) trace(ci, "DSAWrite(): beginRestoreDB has failed");
      break;
    case ObjectType::Journal:
      result = beginRestoreJN(connectionId, ci->dbName, ci->restore.restoreOption, checkpoint, 0);
      if (result != 0) trace(ci, "DSAWrite(): beginRestoreJN has failed");
      break;
    case ObjectType::Config:
      result =
          beginRestoreConfig(connectionId, ci->dbName, ci->restore.restoreOption, checkpoint, 0);
      if (result != 0) trace(ci, "DSAWrite(): beginRestoreConfig has failed");
      break;
    default:
      break;
  }
  return result;
}

// A header while no file is open: where the file goes, the location, the file opened.
DSA_RESULT takeHeader(ConnectionRecord* ci, int connectionId, const void* block) {
  const std::string_view path = header::pathOf(block);
  char name[header::kPathSize];
  std::snprintf(name, sizeof name, "%.*s", static_cast<int>(path.size()), path.data());
  trace(ci, "DSAWrite(): ObjectName= %s, ObjectSize= %d", name,
        static_cast<int>(header::sizeKbOf(block)));
  if (!restorePathAllowed(ci->destinations, name)) {
    trace(ci, "DSAWrite(): %s lies outside the destinations of database %s; refused", name,
          ci->dbName);
    Log_act(ci, kActivityRestoreOutsideDestinations, name, ci->dbName);
    return DSA_ERROR_OUTSIDE_DESTINATIONS;
  }
  std::snprintf(ci->restore.restoreRequest, sizeof ci->restore.restoreRequest, "%s", name);
  char directory[header::kPathSize];
  const std::string_view folder = directoryOf(path);
  std::snprintf(directory, sizeof directory, "%.*s", static_cast<int>(folder.size()),
                folder.data());
  if (DWORD result = trackRestoreLocation(ci, directory); result != 0) return result;
  if (DWORD result = DSAOpenMatchedObjectFile(connectionId, name, header::sizeKbOf(block));
      result != 0) {
    trace(ci, "DSAWrite(): DSAOpenMatchedObjectFile() returns Error: %d", static_cast<int>(result));
    return result;
  }
  return 0;
}

}  // namespace
DWORD admitRestoreObject(ConnectionRecord* ci, const char* objectName, ObjectName* name) {
  // The database name goes into paths and command lines: Ingres' rules first.
  if (!objectDatabaseNameAllowed(objectName, NameRule::Restore)) {
    trace(ci, "DSABeginRestore(): the object name carries no valid database name; refused");
    return DSA_ERROR_UNKNOWN_OBJECT;
  }
  *name = classifyObjectName(objectName, NameRule::Restore);
  const ObjectType kind = name->type;
  // The begin step runs once per connection: its roll-forward or destinations serve one kind
  // of object of one database.
  if (ci->restore.first_write == 1 && kind != ObjectType::None &&
      (kind != ci->restore.restoreKind ||
       _strnicmp(std::string(name->dbName).c_str(), ci->dbName, sizeof ci->dbName) != 0)) {
    trace(ci,
          "DSABeginRestore(): the restore of %s (kind %d) runs on this connection; %s needs a "
          "connection of its own",
          ci->dbName, asNumber(ci->restore.restoreKind), objectName);
    return DSA_ERROR_WRONG_OBJECT_KIND;
  }
  return 0;
}

DWORD openRestoreEvent(ConnectionRecord* ci) {
  char eventName[300];
  std::snprintf(eventName, sizeof eventName, "RestoreEvent%s", ci->installation.installationCode);
  NamedObject event = createAgentEvent(eventName, /*manualReset=*/true, /*initialState=*/false);
  if (event.foreign()) {
    // Whoever made it could signal it, or hold it, at will: the session does without it.
    trace(ci, "DSABeginRestore(): %s belongs to another account; not used", eventName);
    Log_act(ci, kActivityForeignObject, eventName);
    return DSA_ERROR_FOREIGN_OBJECT;
  }
  ci->restore.hRestoreEvent.reset(event.handle.release());
  if (!ci->restore.hRestoreEvent) {
    trace(ci, "DSABeginRestore(): CreateEvent(%s) failed. Error = %d", eventName,
          static_cast<int>(event.error));
  } else {
    if (event.outcome == NamedObjectOutcome::kOpened) {
      trace(ci, "DSABeginRestore():  event already exist!");
      ResetEvent(ci->restore.hRestoreEvent.get());
    }
    trace(ci, "DSABeginRestore(): CreateEvent(%s) successful", eventName);
  }
  return 0;
}

void openRestoreSession(ConnectionRecord* ci, const ObjectName& name, uint32_t restoreOption) {
  ci->restore.restoreOption = restoreOption;
  ci->restore.restoreSessionOpen = 1;
  const ObjectType kind = name.type;
  if (kind == ObjectType::None) {
    if (name.dottedUnknown) {
      trace(ci, "DSABeginRestore(): Error, Don't know what kind of restore");
      Log_act(ci, kActivityUnknownRestoreKind);
    }
  } else {
    if (kind == ObjectType::Data) {
      trace(ci,
            "DSABeginRestore(): NOTE: Make sure that you restore the necessary Journal and Config "
            "sessions before database data");
    }
    ci->restore.restoreKind = kind;
    std::snprintf(ci->dbName, sizeof ci->dbName, "%.*s", static_cast<int>(name.dbName.size()),
                  name.dbName.data());
  }
}

DSA_RESULT writeRestoreBlock(ConnectionRecord* ci, int connectionId, const void* buffer,
                             uint32_t bytes, bool* handOverDue) {
  *handOverDue = false;
  trace(ci, "DSAWrite(): entered. bytesToWrite= %d, first_write=%d", static_cast<int>(bytes),
        static_cast<int>(ci->restore.first_write));
  if (!ci->restore.restoreSessionOpen ||
      (ci->restore.first_write == 0 && ci->restore.restoreKind == ObjectType::None)) {
    trace(ci, "*************** DSAWrite(): Ends Here(Invalid call sequence) ***************");
    return DSA_ERROR_OUT_OF_SEQUENCE;
  }
  if (bytes == 0 && !ci->fd) {
    // An empty block carries nothing, neither header nor data: nothing to begin or to write.
    trace(ci, "DSAWrite(): an empty block, nothing to do");
    return endRestoreWrite(ci, DSA_OK);
  }
  if (ci->restore.first_write == 0) {
    // The first header of a data restore also carries the checkpoint number for the
    // roll-forward command line; journal and configuration headers carry none.
    const HeaderCheck check =
        checkRestoreHeader(buffer, bytes, ci->restore.restoreKind == ObjectType::Data);
    if (check != HeaderCheck::Ok) return refuseBlock(ci, bytes, check);
    if (DWORD result = runBeginStep(ci, connectionId, buffer); result != 0) {
      return endRestoreWrite(ci, result);
    }
  }
  if (!isRestoring(ci->status)) {
    trace(ci, "*************** DSAWrite(): Ends Here(Invalid call sequence) ***************");
    return DSA_ERROR_OUT_OF_SEQUENCE;
  }
  const bool remote =
      ci->remote.remoteJob != 0 && (ci->restore.restoreOption & kRestoreRemote) != 0;
  if (ci->fd && remote) {
    // The session's file is filled from the remote pipe; a block here would interleave with it.
    trace(ci, "DSAWrite(): remote restore: the file's data come through the remote pipe");
    return endRestoreWrite(ci, DSA_ERROR_OUT_OF_SEQUENCE);
  }
  if (ci->fd) return endRestoreWrite(ci, dsaWrite_cldsa(ci, buffer, bytes));

  // No file is open: every header opens its file, so this block must be the next header.
  const HeaderCheck check = checkRestoreHeader(buffer, bytes, /*checkpointNeeded=*/false);
  if (check != HeaderCheck::Ok) return refuseBlock(ci, bytes, check);
  const DWORD result = takeHeader(ci, connectionId, buffer);
  if (result == 0 && remote) {
    *handOverDue = true;
    return 0;
  }
  return endRestoreWrite(ci, result);
}

DSA_RESULT endRestoreSession(ConnectionRecord* ci, int connectionId, uint32_t endStatus,
                             bool streamWhole, DWORD streamResult) {
  ci->restore.hRestoreEvent.reset();
  // A session the server ends with a failure does not put its file in place.
  DWORD result = DSACloseMatchedObjectFile(connectionId, endStatus == 0 && streamWhole);
  if (streamResult != 0) result = streamResult;
  if (result == DSA_ERROR_OUT_OF_SEQUENCE) {
    // Nothing was open to close (no restore running): the session ends all the same.
    trace(ci, "DSAEndRestore(): DSACloseMatchedObjectFile() returns Error: %d",
          static_cast<int>(result));
    result = 0;
  }
  if ((result != 0 || endStatus != 0) && ci->restore.first_write != 0 &&
      ci->restore.restoreKind == ObjectType::Data) {
    ci->restore.restoreFailed = 1;
  }
  ci->restore.restoreSessionOpen = 0;
  return result;
}

}  // namespace ferry::agent
