// Journal backups and configuration / dump backups: the agent walks the journal directory or the
// dump directory itself, one file per header, and a journal backup may delete what it delivered.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "account/act_as_account.h"
#include "backup/backup_flow.h"
#include "catalog_binding/catalog_session.h"
#include "connection/connection_table.h"
#include "connection/object_block.h"
#include "core/message_ids.h"
#include "installation/installation_environment.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "object_header.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

int handleValue(HANDLE handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }

template <size_t N>
void setField(char (&field)[N], const char* text) {
  std::snprintf(field, N, "%s", text);
}

bool isDotEntry(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// The texts that tell the two finders apart in the trace.
struct FinderTexts {
  const char* routine;
  const char* called;
  const char* invalidSequence;
  const char* objectName;
  const char* findFirst;
  const char* findFirstFailed;
  const char* foundDot;
  const char* foundDotDot;
  const char* findNext;
  const char* findNextFailed;
  const char* outOfFiles;
  const char* measureFailed;
  const char* measuredClose;
  const char* openFailed;
  const char* opened;
};

constexpr FinderTexts kJournalTexts = {
    "DSAGetJournalFile",
    "DSAGetJournalFile(): Function is called",
    "DSAGetJournalFile(): Invalid call sequence",
    "DSAGetJournalFile(): object_name = %s",
    "DSAGetJournalFile(): FindFirstFile",
    "DSAGetJournalFile(): could not issue the find first file command error = %d",
    "DSAGetJournalFile(): Found a ., getting next file",
    "DSAGetJournalFile(): Found .., getting next file",
    "DSAGetJournalFile(): Calling find Next file",
    "DSAGetJournalFile(): There was an error finding the next journal file error = %d",
    "DSAGetJournalFile(): We're out of files",
    "DSAGetJournalFile(): Error could not open a file error = %d",
    "DSAGetJournalFile(): closed Handle %d",
    "DSAGetJournalFile(): Error opening file %s error = %d",
    "DSAGetJournalFile(): File %s successfully opened. Handle=%d",
};

constexpr FinderTexts kConfigTexts = {
    "DSAGetConfigDumpFile",
    "DSAGetConfigDumpFile(): Function is called",
    "DSAGetConfigDumpFile(): Invalid call sequence",
    "DSAGetConfigDumpFile(): object_name = %s",
    "DSAGetConfigDumpFile(): FindFirstFile",
    "DSAGetConfigDumpFile(): could not issue the find first file command error = %d",
    "DSAGetConfigDumpFile(): Found a ., getting next file",
    "DSAGetConfigDumpFile(): Found .., getting next file",
    "DSAGetConfigDumpFile(): Calling find Next file with Handle=%d",
    "DSAGetConfigDumpFile(): There was an error finding the next config/dump file error = %d",
    "DSAGetConfigDumpFile(): We're out of files",
    "DSAGetConfigDumpFile(): Error could not open a file error = %d",
    "DSAGetConfigDumpFile(): Close Handle = %d",
    "DSAGetConfigDumpFile(): Error could not open file %s, Error = %d",
    "DSAGetConfigDumpFile(): File %s handle = %d successfully opened.",
};

// One of the record's two searches (journal or dump directory) and its flag.
struct Search {
  RecordSearch* handle;
  int32_t* active;
};

void endSearch(Search search) {
  search.handle->reset();
  *search.active = 0;
}

// Moves the search to its next entry; 0, or the finder's result when it ran out (20) or failed
// (1), the search then ended.
int nextEntry(ConnectionRecord* ci, const FinderTexts& texts, Search search,
              WIN32_FIND_DATAA* entry) {
  if (FindNextFileA(search.handle->get(), entry)) return 0;
  DWORD error = GetLastError();
  trace(ci, texts.findNextFailed, static_cast<int>(error));
  endSearch(search);
  if (error == ERROR_NO_MORE_FILES) {
    trace(ci, "%s", texts.outOfFiles);
    return DSA_ERROR_NO_FILE_RECORD;
  }
  return DSA_ERROR_FILE;
}

// The search's next entry that is a file: the search is begun on the first call. 0, or the
// finder's result when it ran out (20) or failed (1). Sub-directories are passed over (they hold
// nothing of the object and cannot be read).
int nextFileEntry(ConnectionRecord* ci, const FinderTexts& texts, Search search, const char* wanted,
                  WIN32_FIND_DATAA* entry) {
  bool fresh = false;
  if (*search.active == 0) {
    trace(ci, "%s", texts.findFirst);
    search.handle->reset(FindFirstFileA(wanted, entry));
    if (!*search.handle) {
      DWORD error = GetLastError();
      trace(ci, texts.findFirstFailed, static_cast<int>(error));
      search.handle->reset();
      // A pattern that matches nothing is an empty set, not a failure.
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) {
        trace(ci, "%s", texts.outOfFiles);
        return DSA_ERROR_NO_FILE_RECORD;
      }
      return DSA_ERROR_FILE;
    }
    *search.active = 1;
    fresh = true;
  } else {
    trace(ci, texts.findNext, handleValue(search.handle->get()));
  }
  for (bool first = fresh;; first = false) {
    if (!first) {
      if (int result = nextEntry(ci, texts, search, entry); result != 0) return result;
    }
    if (std::strcmp(entry->cFileName, ".") == 0) {
      trace(ci, "%s", texts.foundDot);
      continue;
    }
    if (std::strcmp(entry->cFileName, "..") == 0) {
      trace(ci, "%s", texts.foundDotDot);
      continue;
    }
    if ((entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      trace(ci, "%s(): %s is a directory, passed over", texts.routine, entry->cFileName);
      continue;
    }
    return 0;
  }
}

// Measures the found file and opens it into ci->fd for the reader: 0 or 1.
int openFoundFile(ConnectionRecord* ci, const FinderTexts& texts, const char* path,
                  DataFileInfo* info) {
  // Measured through its attributes only, so that the measure needs no right to the data.
  UniqueFile measure(CreateFileA(path, FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
  if (!measure) {
    DWORD error = GetLastError();
    std::snprintf(sharedErrorText(), kSharedErrorTextSize, texts.measureFailed,
                  static_cast<int>(error));
    trace(ci, "%s", sharedErrorText());
    Log_act(ci, kActivityFileNotOpened, path, error);
    return DSA_ERROR_FILE;
  }
  LARGE_INTEGER size{};
  info->sizeKb = GetFileSizeEx(measure.get(), &size) ? sizeInHeaderKb(size.QuadPart) : 0;
  trace(ci, texts.measuredClose, handleValue(measure.get()));
  measure.reset();

  ci->fd.reset(CreateFileA(
      path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!ci->fd) {
    DWORD error = GetLastError();
    ci->fd.reset();
    std::snprintf(sharedErrorText(), kSharedErrorTextSize, texts.openFailed, path,
                  static_cast<int>(error));
    trace(ci, "%s", sharedErrorText());
    Log_act(ci, kActivityFileNotOpened, path, error);
    return DSA_ERROR_FILE;
  }
  trace(ci, texts.opened, path, handleValue(ci->fd.get()));
  return 0;
}

// The search and open steps the two finders share. `directory` is searched with `pattern`.
int findNextFile(ConnectionRecord* ci, const FinderTexts& texts, Search search,
                 const char* directory, const char* pattern, DataFileInfo* info) {
  char wanted[MAX_PATH + 16];
  std::snprintf(wanted, sizeof wanted, "%s\\%s", directory, pattern);
  trace(ci, texts.objectName, wanted);
  WIN32_FIND_DATAA entry{};
  if (int result = nextFileEntry(ci, texts, search, wanted, &entry); result != 0) return result;

  // The path must fit the object header's field whole: a cut one would name another file when
  // it is restored.
  char path[header::kPathSize];
  if (std::snprintf(path, sizeof path, "%s\\%s", directory, entry.cFileName) >=
      static_cast<int>(sizeof path)) {
    trace(ci, "%s(): path longer than %d characters: %s\\%s", texts.routine,
          static_cast<int>(sizeof path - 1), directory, entry.cFileName);
    Log_act(ci, kActivityFileNotOpened, entry.cFileName, ERROR_FILENAME_EXCED_RANGE);
    return DSA_ERROR_FILE;
  }
  std::snprintf(ci->ObjectName, sizeof ci->ObjectName, "%s", path);
  trace(ci, texts.objectName, path);
  return openFoundFile(ci, texts, path, info);
}

// The texts that tell the two readers apart.
struct ReaderTexts {
  const char* routine;
  const char* finderError;
  const char* header;
  const char* readFailed;
  uint32_t readFailedActivity;
  const char* closeAfterError;
  const char* bytes;
  const char* closeAtEnd;
};

constexpr ReaderTexts kJournalReader = {
    "DSAReadJournal",
    "DSAReadJournal(): DSAGetJournalFile() returns Error= %d",
    "DSAReadJournal(): returns ObjectName= %s, ObjectSize= %d",
    "DSAReadJournal(): Error, cannot read from file error = %d",
    kActivityJournalReadFailed,
    "DSAReadJournal(): Could not close the handle",
    "DSAReadJournal(): nBytes read= %d",
    "DSAReadJournal(): close() failed. Error= %d",
};

constexpr ReaderTexts kConfigReader = {
    "DSAReadDatabaseConfigDump",
    "DSAReadDatabaseConfigDump(): DSAGetConfigDumpFile() returns Error= %d",
    "DSAReadDatabaseConfigDump(): returns ObjectName= %s, ObjectSize= %d",
    "DSAReadDatabaseConfigDump():   error reading from file = %d",
    kActivityConfigReadFailed,
    "DSAReadDatabaseConfigDump(): Could not close the handle %d",
    "DSAReadDatabaseConfigDump(): nBytes read= %d",
    "DSAReadDatabaseConfigDump(): close() failed. Error= %d",
};

using Finder = int (*)(int, char*, int, DataFileInfo*);

DWORD readObjectSet(int connectionId, int backupId, void* buffer, uint32_t* count,
                    const ReaderTexts& texts, Finder finder) {
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  trace(ci, "%s(): Entered.", texts.routine);
  if (!ci->fd) {
    ci->fd.reset();
    if (*count < header::kSize) return DSA_ERROR_BUFFER_TOO_SMALL;
    char name[MAX_PATH] = {};
    DataFileInfo info{};
    int result = finder(connectionId, name, backupId, &info);
    if (result != 0) {
      trace(ci, texts.finderError, result);
      if (result != DSA_ERROR_NO_FILE_RECORD) return static_cast<DWORD>(result);
      // The end of the object set: an empty header, no bytes.
      fillObjectHeader(buffer, "", "", 0, nullptr);
      if (ci->objectBlock != nullptr) ci->objectBlock->delivered = 1;
      *count = 0;
      return 0;
    }
    fillObjectHeader(buffer, "", ci->ObjectName, info.sizeKb, ci->fd.get());
    *count = header::kSize;
    trace(ci, texts.header, ci->ObjectName, static_cast<int>(info.sizeKb));
    return 0;
  }
  DWORD got = 0;
  if (!ReadFile(ci->fd.get(), buffer, *count, &got, nullptr)) {
    DWORD error = GetLastError();
    std::snprintf(sharedErrorText(), kSharedErrorTextSize, texts.readFailed,
                  static_cast<int>(error));
    trace(ci, "%s", sharedErrorText());
    Log_act(ci, texts.readFailedActivity, error);
    Log_act(ci, kActivityFileNotRead, ci->ObjectName, error);
    const HANDLE file = ci->fd.get();
    if (!ci->fd.close()) trace(ci, texts.closeAfterError, handleValue(file));
    return DSA_ERROR_FILE;
  }
  trace(ci, texts.bytes, static_cast<int>(got));
  *count = got;
  if (got == 0) {
    closeObjectFile(ci, texts.closeAtEnd);
    // Read to its end: the only files the journal clean-up may delete.
    ci->backup.deliveredFiles.emplace_back(ci->ObjectName);
    return DSA_END_OF_OBJECT;
  }
  return 0;
}

// A journal file name "j%07d.jnl" gives its sequence; anything else gives 0.
int journalSequence(const char* name) {
  if ((name[0] != 'j' && name[0] != 'J') || std::strlen(name) != 12) return 0;
  for (int i = 1; i <= 7; ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
  }
  if (lstrcmpiA(name + 8, ".jnl") != 0) return 0;
  return std::atoi(std::string(name + 1, 7).c_str());
}

}  // namespace

DWORD beginBackupJN(int connectionId, const char* dbName, uint32_t options) {
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  trace(ci, "%s: Entered.", "beginBackupJN()");
  setField(ci->dbName, dbName);
  ActAsAccountTexts account;
  account.routine = "beginBackupJN";
  if (DWORD error = actAsConnectionAccount(ci, account); error != 0) return error;
  ObjectBlock* block = allocateObjectBlock(ci);
  if (block == nullptr) {
    Log_act(ci, kActivityOutOfMemory);
    return resultFromWin32(ERROR_NOT_ENOUGH_MEMORY);
  }
  if (int result =
          getOpIngresInfodbInfo(&ci->connInfo, dbName, nullptr, ci->account.hAccessToken.get());
      result != 0) {
    trace(ci, "%s(): Error getting information from infodb.rcode=%d", "beginBackupJN", result);
    releaseObjectBlock(ci);
    return static_cast<DWORD>(result);
  }
  block->currentJournalNumber = ci->backup.currentJournalNumber;
  setField(block->dbName, dbName);
  if (getOpIngresJournalDest(&ci->connInfo, dbName, block->directory) != 0) {
    trace(ci, "%s: cannot get Log journal dest (Not log on).", "beginBackupJN()");
    releaseObjectBlock(ci);
    return DSA_ERROR_LOGON;
  }
  ci->bkrtOption = options;
  ci->ObjectType = ObjectType::Journal;
  ci->status = ConnectionStatus::Backup;
  char tag[64];
  std::snprintf(tag, sizeof tag, "[%s]\\JOURNAL", ci->backup.ckpdbID);
  trace(ci, "jnlTag= %s", tag);
  return 0;
}

DWORD beginBackupDBConfigDump(int connectionId, const char* dbName, uint32_t options) {
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  trace(ci, "beginBackupConfigDump(): Function entry");
  setField(ci->dbName, dbName);
  ci->bkrtOption = options;
  ObjectBlock* block = allocateObjectBlock(ci);
  if (block == nullptr) {
    Log_act(ci, kActivityOutOfMemory);
    return resultFromWin32(ERROR_NOT_ENOUGH_MEMORY);
  }
  setField(block->dbName, dbName);
  ci->status = ConnectionStatus::Backup;
  char tag[64];
  std::snprintf(tag, sizeof tag, "[%s]\\CONFIG", ci->backup.ckpdbID);
  trace(ci, "beginBackupConfigDump(): configTag= %s", tag);
  setField(block->checkpointText, ci->backup.ckpdbID);
  block->checkpointValue = std::atoi(ci->backup.ckpdbID);
  trace(ci, "beginBackupConfigDump(): ckpdbno= %d", block->checkpointValue);

  // A failed begin leaves nothing begun, so that the connection can begin again.
  auto fail = [ci](DWORD result) {
    releaseObjectBlock(ci);
    ci->status = ConnectionStatus::Idle;
    return result;
  };
  ActAsAccountTexts account;
  account.routine = "beginBackupConfigDump";
  if (DWORD error = actAsConnectionAccount(ci, account); error != 0) return fail(error);
  if (int result = getOpIngresDumpDest(&ci->connInfo, dbName, block->directory); result != 0) {
    trace(ci, "%s(): Error calling getOpIngresDumpDest().  rcode=%d", "beginBackupConfigDump",
          result);
    return fail(static_cast<DWORD>(result));
  }
  // A database that never had a dump written has no dump directory: nothing to deliver.
  const DWORD attributes = GetFileAttributesA(block->directory);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    trace(ci, "beginBackupConfigDump(): no dump directory %s", block->directory);
    block->dumpDestinationState = kDumpDestinationAbsent;
  }
  return 0;
}

int DSAGetJournalFile(int connectionId, char* name, int /*backupId*/, DataFileInfo* info) {
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) {
    Log_act(nullptr, kActivityFinderUnknownConnection);
    return DSA_ERROR_NOT_CONNECTED;
  }
  if (ci->status != ConnectionStatus::Backup || ci->objectBlock == nullptr) {
    trace(ci, "%s", kJournalTexts.invalidSequence);
    return DSA_ERROR_OUT_OF_SEQUENCE;
  }
  trace(ci, "%s", kJournalTexts.called);
  int result = findNextFile(ci, kJournalTexts,
                            {&ci->backup.findFileJournal, &ci->backup.findFileJournalActive},
                            ci->objectBlock->directory, "j*.jnl", info);
  if (result == 0) std::snprintf(name, MAX_PATH, "%s", ci->ObjectName);
  return result;
}

int DSAGetConfigDumpFile(int connectionId, char* name, int /*backupId*/, DataFileInfo* info) {
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) {
    Log_act(nullptr, kActivityFinderUnknownConnection);
    return DSA_ERROR_NOT_CONNECTED;
  }
  if (!isBackingUp(ci->status) || ci->objectBlock == nullptr) {
    trace(ci, "%s", kConfigTexts.invalidSequence);
    return DSA_ERROR_OUT_OF_SEQUENCE;
  }
  trace(ci, "%s", kConfigTexts.called);
  if (ci->objectBlock->dumpDestinationState == kDumpDestinationAbsent)
    return DSA_ERROR_NO_FILE_RECORD;
  int result =
      findNextFile(ci, kConfigTexts, {&ci->backup.findFileConfig, &ci->backup.findFileConfigActive},
                   ci->objectBlock->directory, "*", info);
  if (result == 0) std::snprintf(name, MAX_PATH, "%s", ci->ObjectName);
  return result;
}

DWORD DSAReadJournal(int connectionId, int backupId, void* buffer, uint32_t* count) {
  return readObjectSet(connectionId, backupId, buffer, count, kJournalReader, DSAGetJournalFile);
}

DWORD DSAReadDatabaseConfigDump(int connectionId, int backupId, void* buffer, uint32_t* count) {
  return readObjectSet(connectionId, backupId, buffer, count, kConfigReader, DSAGetConfigDumpFile);
}

void cleanUpJournals(ConnectionRecord* ci) {
  trace(ci, "DSAEndBackup(): tagAbort= %x, bkrtOption= %x", ci->backup.tagAbort, ci->bkrtOption);
  ObjectBlock* block = ci->objectBlock.get();
  if (ci->backup.tagAbort == 0 && (ci->bkrtOption & 0x10) != 0 && block != nullptr) {
    if (block->delivered == 0) {
      // Journals are deleted only once every one of them went to the backup server.
      trace(ci, "DSAEndBackup(): the journal backup did not reach its end; nothing deleted");
    } else {
      char pattern[MAX_PATH + 16];
      std::snprintf(pattern, sizeof pattern, "%s\\j*.jnl", block->directory);
      trace(ci, "DSAEndBackup(): delete files in %s...", pattern);
      WIN32_FIND_DATAA entry{};
      UniqueFind search(FindFirstFileA(pattern, &entry));
      char current[32];
      std::snprintf(current, sizeof current, "j%07d.jnl", block->currentJournalNumber);
      trace(ci, "DSAEndBackup(): current active journal file is :%s", current);
      if (search && block->currentJournalNumber != 0) {
        do {
          if (isDotEntry(entry.cFileName) || lstrcmpiA(entry.cFileName, current) == 0) continue;
          // Only journals older than the current one: a journal that Ingres started after the
          // search of the backup may not have been delivered.
          const int sequence = journalSequence(entry.cFileName);
          if (sequence == 0 || sequence >= block->currentJournalNumber) continue;
          char path[MAX_PATH + 16];
          std::snprintf(path, sizeof path, "%s\\%s", block->directory, entry.cFileName);
          // Only a journal whose every byte went to the server.
          if (std::find(ci->backup.deliveredFiles.begin(), ci->backup.deliveredFiles.end(), path) ==
              ci->backup.deliveredFiles.end()) {
            trace(ci, "DSAEndBackup(): %s was not delivered; kept", entry.cFileName);
            continue;
          }
          if (DeleteFileA(path)) {
            trace(ci, "DSAEndBackup():deleting file %s ...OK", entry.cFileName);
          } else {
            trace(ci, "DSAEndBackup():deleting file %s ...Failed, ec=%d", entry.cFileName,
                  static_cast<int>(GetLastError()));
          }
        } while (FindNextFileA(search.get(), &entry));
      }
    }
  }
  trace(ci, "DSAEndBackup() ckpdbno= %d", std::atoi(ci->backup.ckpdbID));
}

}  // namespace ferry::agent
