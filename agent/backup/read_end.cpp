// DSARead and DSAEndBackup: the reader of the current object by its kind, and the end of the
// object's backup.
#define FERRYMAN_BUILD
#include "ferryman.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "backup/backup_flow.h"
#include "connection/connection_table.h"
#include "connection/object_block.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "message_ids.h"
#include "utility/extractor_pipe.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

constexpr DWORD kCheckpointEndWaitMs = 10000;
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

// Waits for the checkpoint run to end and lets its handle go. A run that ended with a failure
// after every location was delivered makes the end step fail: the checkpoint the backup belongs
// to was not completed, and Ingres could not roll forward from it.
DWORD finishCheckpointRun(ConnectionRecord* ci) {
  if (!ci->ckpdbProcessHandle) return 0;
  trace(ci, "DSAEndBackup(): Begin waiting Ckpdb.exe to end...");
  const DWORD waited = WaitForSingleObject(ci->ckpdbProcessHandle.get(), kCheckpointEndWaitMs);
  trace(ci, "DSAEndBackup(): Wait Ckpdb.exe OK!");
  DWORD result = 0;
  DWORD exitCode = 0;
  const bool delivered = ci->objectBlock != nullptr && ci->objectBlock->delivered != 0;
  if (waited == WAIT_OBJECT_0 && GetExitCodeProcess(ci->ckpdbProcessHandle.get(), &exitCode) &&
      exitCode != 0 && delivered) {
    trace(ci, "DSAEndBackup(): ckpdb ended with exit code %lu", exitCode);
    Log_act(ci, kActivityCheckpointErrorFile);
    result = DSA_ERROR_FILE;
  }
  ci->ckpdbProcessHandle.reset();
  return result;
}

// A data backup that ends before its last location: its checkpoint can never be whole, so the
// run is ended before it starts the next location's extractor, and the extractor that holds the
// current location is released (it waits for that record, not for the pipe to break).
void abandonCheckpointRun(ConnectionRecord* ci) {
  if (ci->ckpdbProcessHandle) {
    trace(ci, "DSAEndBackup(): the backup ended before its last location; ending ckpdb");
    if (!TerminateProcess(ci->ckpdbProcessHandle.get(), 1)) {
      trace(ci, "DSAEndBackup(): TerminateProcess(ckpdb) failed, GetLastError = %d",
            static_cast<int>(GetLastError()));
    }
    WaitForSingleObject(ci->ckpdbProcessHandle.get(), kCheckpointEndWaitMs);
  }
  if (ci->pipeConnected == 1 && ci->pipeHandle) {
    releaseExtractor(ci, OIDBMSGTYPE_END_BACKUP, "DSAEndBackup(): extractor released",
                     "DSAEndBackup(): the extractor could not be released. Error=%d");
  }
}

}  // namespace

void endBackupAtDisconnect(ConnectionRecord* ci) {
  if (ci->status != 1 && ci->status != 3) return;
  trace(ci, "DSADisconnectAgent(): a backup of object type %d was not ended", ci->ObjectType);
  if (ci->ObjectType == kObjectData &&
      (ci->objectBlock == nullptr || ci->objectBlock->delivered == 0)) {
    abandonCheckpointRun(ci);
  }
  ci->ckpdbProcessHandle.reset();
  releaseObjectBlock(ci);
  ci->status = 0;
}

}  // namespace ferry::agent

extern "C" DSA_RESULT DSARead(uint32_t connectionId, uint32_t backupId, uint32_t /*reserved*/,
                              void* buffer, uint32_t* count) {
  using namespace ferry::agent;
  using namespace ferry::messages;
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
  trace(ci, "DSARead(): ObjectType= %d", ci->ObjectType);
  DWORD result = 0;
  if (ci->status != 1 && ci->status != 3) {
    trace(ci, "%s(): Invalid Call Sequence.", "DSARead");
    result = DSA_ERROR_OUT_OF_SEQUENCE;
  } else {
    const int id = static_cast<int>(connectionId);
    const int backup = static_cast<int>(backupId);
    switch (ci->ObjectType) {
      case kObjectData:
        result = DSAReadDatabaseData(id, backup, buffer, count);
        break;
      case kObjectJournal:
        result = DSAReadJournal(id, backup, buffer, count);
        break;
      case kObjectConfigAlias:
      case kObjectConfig:
        result = DSAReadDatabaseConfigDump(id, backup, buffer, count);
        break;
      default:
        result = DSA_ERROR_NO_READER;
        break;
    }
  }
  trace(ci, "DSARead(): returns. bytesRead=%d, RetCode=%d", static_cast<int>(*count),
        static_cast<int>(result));
  if (result == DSA_LAST_LOCATION_DONE) result = 0;
  if (ci->remoteWriteDone) result = 0;
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
  if (ci->status != 1 && ci->status != 3) {
    trace(ci, "%s(): Invalid Call Sequence.", "DSAEndBackup");
    return DSA_ERROR_OUT_OF_SEQUENCE;
  }
  if (ci->ObjectType == kObjectData &&
      (ci->objectBlock == nullptr || ci->objectBlock->delivered == 0)) {
    abandonCheckpointRun(ci);
  }
  closeExtractorPipe(ci, "DSAEndBackup");
  // A file the server stopped reading in the middle is let go with the object.
  closeObjectFile(ci, "DSAEndBackup(): close() failed. Error= %d");

  DWORD result = 0;
  switch (ci->ObjectType) {
    case kObjectData:
    case kObjectConfigAlias:
    case kObjectConfig:
      result = finishCheckpointRun(ci);
      releaseObjectBlock(ci);
      copyUtilityOutput(ci);
      break;
    case kObjectJournal:
      cleanUpJournals(ci);
      releaseObjectBlock(ci);
      break;
    default:
      trace(ci, "%s(): Invalid value received in a case statement:%d'.", "DSAEndBackup",
            ci->ObjectType);
      break;
  }
  // Searches that did not run to their end.
  ci->findFileJournal.reset();
  ci->findFileConfig.reset();
  ci->findFileJournalActive = 0;
  ci->findFileConfigActive = 0;
  ci->tagAbort = 0;
  ci->status = 0;
  if (ci->remoteJob) ci->headerSent = 0;
  traceEndBanner(ci, "DSAEndBackup");
  Log_act(ci, kActivityBackupEnded, endStatus);
  return result;
}
