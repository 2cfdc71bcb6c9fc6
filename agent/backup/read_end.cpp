// The reader of the current object by its kind, and the end of the object's backup.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "backup/backup_flow.h"
#include "connection/connection_table.h"
#include "connection/object_block.h"
#include "core/message_ids.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "utility/extractor_pipe.h"
#include "utility/run_lock.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

// How long the end of a data object waits for ckpdb to finish after its last location: its
// last steps are short, but a slow installation must not see a healthy checkpoint reported
// failed. The agent lock is held meanwhile.
constexpr DWORD kCheckpointEndWaitMs = 60000;
constexpr char kUtilityOutputFile[] = "\\tmp\\ckpdb_out";

// The output a checkpoint utility may have left on the current drive goes into the trace, and
// the file away.
void copyUtilityOutput(ConnectionRecord* ci) {
  if (FILE* file = std::fopen(kUtilityOutputFile, "r")) {
    trace(ci,
          "-------------------------------------------------------------------------------------"
          "------- begining of Db Backup Utility output ------------------");
    char piece[512];
    while (std::fgets(piece, sizeof piece, file) != nullptr) trace(ci, "%s", piece);
    trace(ci,
          "--------------------- end of Db Backup Utility out-put -----------------------------"
          "----------------------------------------------------------------");
    std::fclose(file);
  }
  std::remove(kUtilityOutputFile);
}

// Waits for the checkpoint run of a data object read to its end and lets its handle go. The
// checkpoint the backup belongs to is complete only when the run ended, and ended well: a run
// that fails, or has not ended within the wait, makes the end step fail.
DWORD finishCheckpointRun(ConnectionRecord* ci) {
  if (!ci->run.ckpdbProcessHandle) return 0;
  trace(ci, "DSAEndBackup(): Begin waiting Ckpdb.exe to end...");
  const DWORD waited = WaitForSingleObject(ci->run.ckpdbProcessHandle.get(), kCheckpointEndWaitMs);
  DWORD result = 0;
  DWORD exitCode = 0;
  if (waited != WAIT_OBJECT_0) {
    trace(ci, "DSAEndBackup(): ckpdb did not end within %lu s",
          static_cast<unsigned long>(kCheckpointEndWaitMs / 1000));
    Log_act(ci, kActivityCheckpointNotEnded, kCheckpointEndWaitMs / 1000);
    result = DSA_ERROR_FILE;
  } else if (!GetExitCodeProcess(ci->run.ckpdbProcessHandle.get(), &exitCode) || exitCode != 0) {
    trace(ci, "DSAEndBackup(): ckpdb ended with exit code %lu", exitCode);
    Log_act(ci, kActivityCheckpointErrorFile);
    result = DSA_ERROR_FILE;
  } else {
    trace(ci, "DSAEndBackup(): Wait Ckpdb.exe OK!");
  }
  ci->run.ckpdbProcessHandle.reset();
  return result;
}

// True when the current object was delivered whole: read to its end without a failure.
bool objectComplete(const ConnectionRecord* ci) {
  return ci->backup.objectFailed == 0 && ci->objectBlock != nullptr &&
         ci->objectBlock->delivered != 0;
}

// A data backup that did not deliver every file of every location: its checkpoint can never be
// whole. The run is ended before it starts the next location's extractor, and the extractor that
// holds the current location is aborted (not released), so that it fails its location and
// Ingres records no checkpoint from it.
void abandonCheckpointRun(ConnectionRecord* ci) {
  if (ci->run.ckpdbProcessHandle) {
    trace(ci, "DSAEndBackup(): the backup is not complete; ending ckpdb");
    if (!TerminateProcess(ci->run.ckpdbProcessHandle.get(), 1)) {
      trace(ci, "DSAEndBackup(): TerminateProcess(ckpdb) failed, GetLastError = %d",
            static_cast<int>(GetLastError()));
    }
    WaitForSingleObject(ci->run.ckpdbProcessHandle.get(), kCheckpointEndWaitMs);
  }
  ci->run.ckpdbProcessHandle.reset();
  abortExtractor(ci, "DSAEndBackup");
}

}  // namespace

DWORD readObjectPiece(ConnectionRecord* ci, int connectionId, int backupId, void* buffer,
                      uint32_t* count) {
  switch (ci->ObjectType) {
    case ObjectType::Data:
      return DSAReadDatabaseData(connectionId, backupId, buffer, count);
    case ObjectType::Journal:
      return DSAReadJournal(connectionId, backupId, buffer, count);
    case ObjectType::ConfigAlias:
    case ObjectType::Config:
      return DSAReadDatabaseConfigDump(connectionId, backupId, buffer, count);
    default:
      return DSA_ERROR_NO_READER;
  }
}

bool backupLeftOpen(ConnectionRecord* ci) {
  if (!isBackingUp(ci->status)) return false;
  trace(ci, "DSADisconnectAgent(): a backup of object type %d was not ended",
        asNumber(ci->ObjectType));
  return true;
}

void endBackupAtDisconnect(ConnectionRecord* ci) {
  if (ci->ObjectType == ObjectType::Data && !objectComplete(ci)) abandonCheckpointRun(ci);
  ci->run.ckpdbProcessHandle.reset();
  releaseRunLock(ci);
  releaseObjectBlock(ci);
  ci->backup.deliveredFiles.clear();
  ci->backup.objectFailed = 0;
  ci->status = ConnectionStatus::Idle;
}

void noteReadResult(ConnectionRecord* ci, DWORD result) {
  // A file that could not be delivered, or a location cut short, fails the whole object: no
  // later call may go on as if the object could still end whole.
  if (result != 0 && result != DSA_END_OF_OBJECT && result != DSA_LAST_LOCATION_DONE &&
      result != DSA_ERROR_BUFFER_TOO_SMALL && result != DSA_ERROR_OUT_OF_SEQUENCE) {
    ci->backup.objectFailed = static_cast<int32_t>(result);
  }
}

DWORD endBackupObject(ConnectionRecord* ci, uint32_t endStatus) {
  const bool complete = objectComplete(ci);
  if (ci->ObjectType == ObjectType::Data && !complete) abandonCheckpointRun(ci);
  closeExtractorPipe(ci, "DSAEndBackup");
  // A file the server stopped reading in the middle is let go with the object.
  closeObjectFile(ci, "DSAEndBackup(): close() failed. Error= %d");

  DWORD result = 0;
  if (!complete && endStatus == 0) {
    // The server ends the object as if it went well, but the agent did not deliver it whole.
    trace(ci, "DSAEndBackup(): the object was not delivered whole; its backup is incomplete");
    Log_act(ci, kActivityBackupIncomplete, asNumber(ci->ObjectType));
    result = DSA_ERROR_BACKUP_INCOMPLETE;
  }
  switch (ci->ObjectType) {
    case ObjectType::Data:
    case ObjectType::ConfigAlias:
    case ObjectType::Config:
      if (DWORD checkpoint = finishCheckpointRun(ci); checkpoint != 0 && result == 0) {
        result = checkpoint;
      }
      releaseRunLock(ci);
      releaseObjectBlock(ci);
      copyUtilityOutput(ci);
      break;
    case ObjectType::Journal:
      // Journals are deleted only after a backup that delivered them whole and that the server
      // ended with success.
      if (complete && endStatus == 0) cleanUpJournals(ci);
      releaseObjectBlock(ci);
      break;
    default:
      trace(ci, "%s(): Invalid value received in a case statement:%d'.", "DSAEndBackup",
            asNumber(ci->ObjectType));
      break;
  }
  // Searches that did not run to their end.
  ci->backup.findFileJournal.reset();
  ci->backup.findFileConfig.reset();
  ci->backup.findFileJournalActive = 0;
  ci->backup.findFileConfigActive = 0;
  ci->backup.deliveredFiles.clear();
  ci->backup.objectFailed = 0;
  ci->backup.tagAbort = 0;
  ci->status = ConnectionStatus::Idle;
  return result;
}

}  // namespace ferry::agent
