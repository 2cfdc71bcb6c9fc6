// The begin steps of a backup, and the one of a data backup: the checkpoint template, the ckpdb run
// and the wait for the first location's extractor.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "backup/backup_flow.h"
#include "catalog_binding/catalog_session.h"
#include "connection/connection_table.h"
#include "connection/object_block.h"
#include "core/ingres_names.h"
#include "core/message_ids.h"
#include "core/object_names.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "utility/extractor_pipe.h"
#include "utility/run_lock.h"
#include "utility/utility_runs.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

constexpr int kExtractorConnectSleeps = 10;
constexpr DWORD kExtractorConnectSleepMs = 2000;

// Copies `text` into a fixed field, cut to fit.
template <size_t N>
void setField(char (&field)[N], const char* text) {
  std::snprintf(field, N, "%s", text);
}

// Connects the first location's extractor with the begin step's trace lines.
bool waitForExtractor(ConnectionRecord* ci) {
  FirstConnectTexts texts;
  texts.firstResult = "beginBackupDB(): ConnectNamedPipe rcode = %d and noConnects = %d";
  texts.failed = "beginBackupDB(): ConnectNamedPipe failed. GetLastError = %d";
  texts.waiting = "beginBackupDB(): Waiting for siphon.exe to open the other end of the pipe";
  texts.pausing = "beginBackupDB(): sleep";
  texts.retrying = "beginBackupDB(): Try ConnectNamedPipe again, noConnects = %d";
  texts.succeeded = "beginBackupDB(): ConnectNamedPipe Successful";
  texts.connectedEarlier[0] =
      "beginBackupDB(): ConnectNamedPipe() returned an error but only because the connection "
      "has already been established";
  texts.connectedEarlier[1] =
      "beginBackupDB(): ConnectNamedPipe() already has made a successful connection";
  DWORD error = 0;
  return connectFirstExtractor(ci, texts, &error);
}

// Undoes a data begin step that got as far as starting ckpdb: the extractor is let go, ckpdb
// ended and the work state cleared, so that nothing of the failed begin stays behind and the
// connection can begin again.
void abandonDataBackup(ConnectionRecord* ci) {
  closeExtractorPipe(ci, "beginBackupDB");
  if (ci->run.ckpdbProcessHandle && !TerminateProcess(ci->run.ckpdbProcessHandle.get(), 0)) {
    trace(ci, "beginBackupDB(): TerminateProcess(ckpdb) failed, GetLastError = %d",
          static_cast<int>(GetLastError()));
  }
  ci->run.ckpdbProcessHandle.reset();
  releaseRunLock(ci);
  releaseObjectBlock(ci);
  ci->status = ConnectionStatus::Idle;
}

}  // namespace

int getCkpdbID(ConnectionRecord* ci, char* text, size_t textSize) {
  trace(ci, "%s: Entered.", "getCkpdbID()");
  OidbMsg msg{};
  DWORD error = 0;
  if (!readExtractorRecord(ci, &msg, &error)) {
    trace(ci, "getCkpdbID(): ReadFile Failed. Error = %d", static_cast<int>(error));
    return DSA_ERROR_NO_FILE_RECORD;
  }
  trace(ci, "getCkpdbID(): ReadFile Successful");
  const std::string_view ckpdbName = ckpdbNameOf(msg);
  trace(ci, "getCkpdbID(): ckpdb_name= %.*s, MsgType= %d", static_cast<int>(ckpdbName.size()),
        ckpdbName.data(), msg.MsgType);
  if (msg.MsgType != OIDBMSGTYPE_CKPDB_NAME) return DSA_ERROR_NO_FILE_RECORD;
  const std::string_view number = checkpointNumberText(ckpdbName);
  std::snprintf(text, textSize, "%.*s", static_cast<int>(number.size()), number.data());
  trace(ci, "getCkpdbID(): CkpdbID= %s", text);
  return 0;
}

DWORD beginBackupDB(int connectionId, const char* dbName, uint32_t options) {
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) {
    Log_act(nullptr, kActivityBackupUnknownConnection);
    return DSA_ERROR_NOT_CONNECTED;
  }
  trace(ci, "%s(): Entered.", "beginBackupDB");
  setField(ci->dbName, dbName);
  // The data reader counts the locations down to tell the last one; a count it cannot have
  // would end the backup after the first location, so the query's failure ends the begin. The
  // locations themselves bound the file names the extractor may send.
  if (DWORD result = resolveDestinations(ci, "beginBackupDB", dbName, ObjectType::Data);
      result != 0) {
    trace(ci, "beginBackupDB(): the data locations are not known. rcode = %d",
          static_cast<int>(result));
    return result;
  }
  ci->backup.backupLocation[0] = '\0';
  // The installation's template and II_CKTMPL_FILE are this run's until it ends.
  if (DWORD busy = acquireRunLock(ci, "beginBackupDB"); busy != 0) return busy;
  if (tmplmod_customize_template(ci) != 0) {
    trace(ci, "beginBackupDB(): Error calling function tmplmod_customize_template()");
    Log_act(ci, kActivityTemplateNotWritten);
    releaseRunLock(ci);
    return DSA_ERROR_TEMPLATE_OR_SESSION;
  }
  if (DWORD result = execOpIngresckpdb(connectionId, dbName, options); result != 0) {
    trace(ci, "beginBackupDB(): The checkpoint has failed");
    releaseRunLock(ci);
    return result;
  }
  ci->bkrtOption = options;
  ci->ObjectType = ObjectType::Data;
  ObjectBlock* block = allocateObjectBlock(ci);
  if (block == nullptr) {
    Log_act(ci, kActivityOutOfMemory);
    abandonDataBackup(ci);
    return resultFromWin32(ERROR_NOT_ENOUGH_MEMORY);
  }
  setField(block->dbName, dbName);
  ci->status = ConnectionStatus::Backup;

  if (ci->run.pipeConnected == 0 && !waitForExtractor(ci)) {
    ci->run.pipeHandle.reset();
    trace(ci,
          "beginBackupDB(): ConnectNamedPipe is time out, make sure all transactions are "
          "committed for database %s",
          dbName);
    abandonDataBackup(ci);
    Log_act(ci, kActivityExtractorTimeout);
    return DSA_ERROR_EXTRACTOR_TIMEOUT;
  }
  ci->run.pipeConnected = 1;
  char number[sizeof ci->backup.ckpdbID] = {};
  if (int result = getCkpdbID(ci, number, sizeof number); result != 0) {
    trace(ci, "beginBackupDB(): getCkpdbID() returns Error= %d", result);
    abandonDataBackup(ci);
    return static_cast<DWORD>(result);
  }
  trace(ci, "beginBackupDB(): getCkpdbID(): CkpdbID= %s", number);
  setField(ci->backup.ckpdbID, number);
  char tag[64];
  std::snprintf(tag, sizeof tag, "[%s]\\DATA", ci->backup.ckpdbID);
  trace(ci, "beginBackupDB(): dataTag= %s", tag);
  return 0;
}

DWORD refuseBackupBegin(ConnectionRecord* ci, const char* objectName, const ObjectName& form) {
  if (ci->status != ConnectionStatus::Idle) {
    // The object begun before has not been ended; beginning another would orphan its pipe,
    // its checkpoint run and its open file.
    trace(ci, "DSABeginBackup(): Invalid Call Sequence. status = %d", asNumber(ci->status));
    return DSA_ERROR_OUT_OF_SEQUENCE;
  }
  if (form.type == ObjectType::None) {
    trace(ci, "DSABeginBackup(): backupObjectName = %s", objectName);
    trace(ci, "DSABeginBackup(): the object name has no known form; nothing begun");
    return DSA_ERROR_UNKNOWN_OBJECT;
  }
  return 0;
}

DWORD beginBackupObject(ConnectionRecord* ci, char* objectName, const ObjectName& form,
                        uint32_t options) {
  const int connectionId = ci->connectionId;
  char* const dot = std::strchr(objectName, '.');
  if (form.type == ObjectType::Data) {
    *dot = '\0';
    trace(ci, "DSABeginBackup(): Data backup");
    trace(ci, "DSABeginBackup(): BackupObjectName = %s", objectName);
    return beginBackupDB(connectionId, objectName, options);
  }
  if (form.type == ObjectType::Config) {
    *dot = '\0';
    ci->ObjectType = ObjectType::Config;
    trace(ci, "DSABeginBackup(): Config Backup");
    trace(ci, "DSABeginBackup(): BackupObjectName = %s", objectName);
    return beginBackupDBConfigDump(connectionId, objectName, options);
  }
  trace(ci, "DSABeginBackup(): Journal Backup");
  trace(ci, "DSABeginBackup(): BackupObjectName = %s", objectName);
  const std::string dbName(form.dbName);
  return beginBackupJN(connectionId, dbName.c_str(), options);
}

}  // namespace ferry::agent
