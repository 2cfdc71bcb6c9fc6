// The begin steps of a restore, run by the connection's first DSAWrite: the data restore starts
// rollforwarddb and waits for the first location's extractor; the journal and configuration
// restores only record their state. Each resolves the destinations its files may go to.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string_view>

#include "catalog_binding/catalog_session.h"
#include "connection/connection_table.h"
#include "connection/object_block.h"
#include "core/message_ids.h"
#include "core/restore_names.h"
#include "core/utility_command.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "oidb_msg.h"
#include "restore/restore_flow.h"
#include "utility/extractor_pipe.h"
#include "utility/run_lock.h"
#include "utility/utility_runs.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

constexpr int kPipeConnectAttempts = 10;
constexpr DWORD kPipeConnectRetryMs = 2000;
constexpr size_t kEndTimeSize = 31;

// Connects the first location's extractor with the begin step's trace lines: up to ten
// attempts 2 s apart. 0, or the last attempt's system error as a result code.
DWORD connectRestoreExtractor(ConnectionRecord* ci) {
  FirstConnectTexts texts;
  texts.starting = "beginRestoreDB(): going to connect named pipe";
  texts.failed = "beginRestoreDB(): ConnectNamedPipe failed. Error = %d";
  DWORD error = 0;
  if (connectFirstExtractor(ci, texts, &error)) return 0;
  return resultFromWin32(error);
}

// The end time for rollforwarddb in local time; false when the time cannot be converted.
bool endTimeText(const int64_t* asOfTime, char (&text)[kEndTimeSize]) {
  text[0] = '\0';
  if (asOfTime == nullptr) return true;
  const __time64_t seconds = *asOfTime;
  std::tm local{};
  if (_localtime64_s(&local, &seconds) != 0) return false;
  return formatEndTime(local, text, sizeof text);
}

// The state the journal and configuration begin steps share.
DWORD beginDirectRestore(int connectionId, const char* routine, ObjectType kind, const char* dbName,
                         uint32_t options, const char* checkpointId, int suffix) {
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  trace(ci, "%s(): Entered.", routine);
  if (dbName == nullptr || checkpointId == nullptr) return DSA_ERROR_ARGUMENT_MISSING;
  std::snprintf(ci->dbName, sizeof ci->dbName, "%s", dbName);
  if (DWORD result = resolveDestinations(ci, routine, dbName, kind); result != 0) return result;
  // The checkpoint number text is kept in its first 10 characters (the field holds 9 and a NUL).
  std::snprintf(ci->restore.restoreCheckpointText, sizeof ci->restore.restoreCheckpointText, "%.9s",
                checkpointId);
  ci->bkrtOption = options;
  ci->ObjectType = kind;
  ci->restore.restoreSuffix = suffix;
  ci->status = ConnectionStatus::Restore;
  return 0;
}

}  // namespace

DWORD beginRestoreDB(int connectionId, const char* dbName, uint32_t options,
                     const char* checkpointId, const int64_t* asOfTime) {
  constexpr char kRoutine[] = "beginRestoreDB";
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  trace(ci, "%s(): Entered.", kRoutine);
  if (dbName == nullptr || checkpointId == nullptr) return DSA_ERROR_ARGUMENT_MISSING;
  std::snprintf(ci->dbName, sizeof ci->dbName, "%s", dbName);
  // Before rollforwarddb takes the database: the catalog queries need their own session.
  if (DWORD result = resolveDestinations(ci, kRoutine, dbName, ObjectType::Data); result != 0) {
    return result;
  }
  // The installation's template and II_CKTMPL_FILE are this run's until the connection ends.
  if (DWORD busy = acquireRunLock(ci, kRoutine); busy != 0) return busy;
  if (tmplmod_customize_template(ci) != 0) {
    trace(ci, "%s(): error calling function tmplmod_customize_template()", kRoutine);
    return DSA_ERROR_TEMPLATE_OR_SESSION;
  }
  trace(ci, "%s: p_backupid = %s", kRoutine, checkpointId);
  char endTime[kEndTimeSize] = "";
  uint32_t runOptions = options;
  if (options & kRollEndTime) {
    if (asOfTime == nullptr) {
      // No time was given for this connection: the roll-forward runs to the end of the journals.
      trace(ci, "%s(): no point in time was set; the roll-forward is not limited", kRoutine);
      runOptions &= ~kRollEndTime;
    } else if (!endTimeText(asOfTime, endTime)) {
      trace(ci, "%s(): the point in time %lld cannot be converted to local time", kRoutine,
            static_cast<long long>(*asOfTime));
      return resultFromWin32(ERROR_INVALID_PARAMETER);
    } else {
      trace(ci, "%s(): as of time: %s", kRoutine, endTime);
    }
  }
  if (DWORD result =
          execOpIngresrollforwarddb(connectionId, dbName, checkpointId, runOptions, endTime);
      result != 0) {
    trace(ci, "beginRestoreDB(): rollforward has failed");
    return result;
  }
  ci->bkrtOption = options;
  ci->ObjectType = ObjectType::Data;
  ObjectBlock* block = allocateObjectBlock(ci);
  if (block == nullptr) {
    Log_act(ci, kActivityOutOfMemory);
    return resultFromWin32(ERROR_NOT_ENOUGH_MEMORY);
  }
  std::snprintf(block->dbName, sizeof block->dbName, "%s", dbName);
  ci->restore.restoreLocationsReleased = 0;
  ci->restore.restoreExtractorHeld = 0;
  ci->status = ConnectionStatus::Restore;

  if (ci->run.pipeConnected != 1) {
    if (DWORD result = connectRestoreExtractor(ci); result != 0) return result;
  }
  char objectName[kObjectNameSize] = "";
  DataFileInfo info{};
  if (int result = DSAGetRestoreObjectFile(connectionId, objectName, &info); result != 0) {
    trace(ci, "beginRestoreDB(): DSAGetRestoreObjectFile() returns Error= %d", result);
    return static_cast<DWORD>(result);
  }
  trace(ci, "beginRestoreDB(): DSAGetRestoreObjectFile(): ObjectName= %s, CkpID= %s, ObjType= %d",
        objectName, info.checkpointText, static_cast<int>(info.kind));
  trace(ci, "beginRestoreDB(): ci->ObjectName= %s", ci->ObjectName);
  ci->restore.restoreExtractorHeld = 1;
  return 0;
}

DWORD beginRestoreJN(int connectionId, const char* dbName, uint32_t options,
                     const char* checkpointId, int suffix) {
  DWORD result = beginDirectRestore(connectionId, "beginRestoreJN", ObjectType::Journal, dbName,
                                    options, checkpointId, suffix);
  if (result == 0) findConnection(connectionId)->restore.journalRestoreBegun = 1;
  return result;
}

DWORD beginRestoreConfig(int connectionId, const char* dbName, uint32_t options,
                         const char* checkpointId, int suffix) {
  return beginDirectRestore(connectionId, "beginRestoreConfig", ObjectType::Config, dbName, options,
                            checkpointId, suffix);
}

int DSAGetRestoreObjectFile(int connectionId, char* objectName, DataFileInfo* info) {
  constexpr char kRoutine[] = "DSAGetRestoreObjectFile()";
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  if (!isRestoring(ci->status)) return DSA_ERROR_OUT_OF_SEQUENCE;
  switch (ci->ObjectType) {
    case ObjectType::Data:
    case ObjectType::ConfigAlias:
      return getRestoreObjectName(ci, objectName, info);
    case ObjectType::Config:
      if (ci->restore.configObjectHandedOut) {
        ci->restore.configObjectHandedOut = 0;
        return DSA_ERROR_NO_FILE_RECORD;
      }
      std::snprintf(objectName, kObjectNameSize, "*");
      *info = {};
      info->kind = kFileKindConfiguration;
      std::snprintf(info->checkpointText, sizeof info->checkpointText, "%s",
                    ci->restore.restoreCheckpointText);
      std::snprintf(info->dbName, sizeof info->dbName, "%s", ci->dbName);
      ci->restore.configObjectHandedOut = 1;
      return 0;
    default:
      trace(ci, "%s: Invalid object type in the ci structure: %d", kRoutine,
            static_cast<int>(ci->ObjectType));
      return DSA_ERROR_WRONG_OBJECT_KIND;
  }
}

int getRestoreObjectName(ConnectionRecord* ci, char* objectName, DataFileInfo* info) {
  objectName[0] = '\0';
  OidbMsg msg{};
  DWORD error = 0;
  if (!readExtractorRecord(ci, &msg, &error)) {
    trace(ci, "getRestoreObjectName(): ReadFile Failed. Error = %d", static_cast<int>(error));
    return DSA_ERROR_NO_FILE_RECORD;
  }
  const std::string_view name = objectNameOf(msg);
  const std::string_view ckpdbName = ckpdbNameOf(msg);
  trace(ci, "getRestoreObjectName(): ObjectName= %.*s, ckpdb_name= %.*s, MsgType= %d",
        static_cast<int>(name.size()), name.data(), static_cast<int>(ckpdbName.size()),
        ckpdbName.data(), static_cast<int>(msg.MsgType));
  std::snprintf(objectName, kObjectNameSize, "%.*s", static_cast<int>(name.size()), name.data());
  if (msg.MsgType == OIDBMSGTYPE_NO_MORE_FILES) return DSA_ERROR_NO_FILE_RECORD;

  const bool placeholder = name == kDumpPlaceholder;
  // The extractor asks for a whole location ("<location>\*") or the dump files; a record that
  // names a single file is not one of its requests, and the pipe is open to every account, so
  // nothing it names is created.
  if (!placeholder && (name.size() < 2 || name.substr(name.size() - 2) != "\\*")) {
    trace(ci, "getRestoreObjectName(): %s is no location request; refused", objectName);
    objectName[0] = '\0';
    return DSA_ERROR_NO_FILE_RECORD;
  }
  const std::string_view checkpoint = checkpointNumberText(ckpdbName);
  std::snprintf(ci->ObjectName, sizeof ci->ObjectName, "%s", objectName);
  *info = {};
  info->kind = placeholder ? kFileKindDumpPlaceholder : kFileKindOrdinary;
  if (ci->objectBlock != nullptr) {
    if (!placeholder) {
      std::snprintf(ci->objectBlock->checkpointText, sizeof ci->objectBlock->checkpointText, "%.*s",
                    static_cast<int>(checkpoint.size()), checkpoint.data());
      ci->objectBlock->checkpointValue = std::atoi(ci->objectBlock->checkpointText);
    }
    std::snprintf(info->checkpointText, sizeof info->checkpointText, "%s",
                  ci->objectBlock->checkpointText);
    std::snprintf(info->dbName, sizeof info->dbName, "%s", ci->objectBlock->dbName);
  }
  // A request opens no file: the agent writes the location's files as their headers arrive.
  ci->restore.noFile = 1;
  std::snprintf(ci->restore.lastRequestName, sizeof ci->restore.lastRequestName, "%s",
                ci->ObjectName);
  ci->ObjectName[0] = '\0';
  objectName[0] = '\0';
  return 0;
}

}  // namespace ferry::agent
