// The data reader of a data backup: the file names come from the extractor of each location,
// the bytes straight from the files into the caller's buffer.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "backup/backup_flow.h"
#include "connection/connection_table.h"
#include "connection/object_block.h"
#include "core/message_ids.h"
#include "core/restore_names.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "object_header.h"
#include "unique_handle.h"
#include "utility/extractor_pipe.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

constexpr DWORD kMeasureRetryMs = 1000;

int handleValue(HANDLE handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }

// The size of `path` in header KB, or 0 when it cannot be had. Only the file's attributes are
// asked for, so a file that another program holds open without sharing is measured all the
// same, and a read-only file too.
uint32_t measureFile(ConnectionRecord* ci, const char* path, bool* isDirectory, DWORD* error) {
  *isDirectory = false;
  *error = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    UniqueFile file(CreateFileA(path, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file) {
      trace(ci, "getObjectName(): CreateFile got handle=%d", handleValue(file.get()));
      BY_HANDLE_FILE_INFORMATION about{};
      uint32_t kb = 0;
      if (GetFileInformationByHandle(file.get(), &about)) {
        *isDirectory = (about.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        kb = sizeInHeaderKb(static_cast<uint64_t>(about.nFileSizeHigh) << 32 | about.nFileSizeLow);
      } else {
        *error = GetLastError();
      }
      trace(ci, "getObjectName(): Close Handle=%d", handleValue(file.get()));
      return kb;
    }
    *error = GetLastError();
    trace(ci, "getObjectName(): CreateFile failed. Error= %d", static_cast<int>(*error));
    if (attempt == 0) {
      trace(ci, "getObjectFile(): Retrying...");
      Sleep(kMeasureRetryMs);
    }
  }
  return 0;
}

void putUint32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

void putFileTime(unsigned char* at, const FILETIME& time) {
  putUint32(at, time.dwLowDateTime);
  putUint32(at + 4, time.dwHighDateTime);
}

// True when `name` is an entry directly inside the location the current extractor lists: the
// first name of a location must lie directly inside one of the database's data locations, and
// fixes that location for the names after it.
bool inRunLocation(ConnectionRecord* ci, const char* name) {
  if (ci->backup.backupLocation[0] != '\0') return fileInDirectory(name, ci->backup.backupLocation);
  const char* location = ci->destinations.restoreDestinations;
  for (int i = 0; i < ci->destinations.restoreDestinationCount; ++i) {
    if (fileInDirectory(name, location)) {
      std::snprintf(ci->backup.backupLocation, sizeof ci->backup.backupLocation, "%s", location);
      return true;
    }
    location += std::strlen(location) + 1;
  }
  return false;
}

}  // namespace

void fillObjectHeader(void* buffer, const char* checkpointText, const char* path, uint32_t sizeKb,
                      HANDLE file) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::memset(bytes, 0, header::kSize);
  std::memcpy(bytes + header::kMagicOffset, header::kMagic, sizeof header::kMagic);
  std::snprintf(reinterpret_cast<char*>(bytes + header::kCheckpointOffset), header::kCheckpointSize,
                "%s", checkpointText);
  std::snprintf(reinterpret_cast<char*>(bytes + header::kPathOffset), header::kPathSize, "%s",
                path);
  putUint32(bytes + header::kSizeKbOffset, sizeKb);
  FILETIME created{}, accessed{}, written{};
  if (file != nullptr && file != INVALID_HANDLE_VALUE) {
    GetFileTime(file, &created, &accessed, &written);
  }
  putFileTime(bytes + header::kCreationTimeOffset, created);
  putFileTime(bytes + header::kLastAccessTimeOffset, accessed);
  putFileTime(bytes + header::kLastWriteTimeOffset, written);
}

void closeObjectFile(ConnectionRecord* ci, const char* closeFailedFormat) {
  DWORD error = 0;
  if (!ci->fd.close(&error)) trace(ci, closeFailedFormat, static_cast<int>(error));
}

namespace {

// One record of the location's listing into *msg, the file it names in `name` and
// ci->ObjectName: 0; 20 at the listing's end; 24 when it broke off or is no file name; 31 for a
// name outside the location the extractor serves.
int readListedFile(ConnectionRecord* ci, char* name, OidbMsg* msg) {
  std::memset(name, 0, kObjectNameSize);
  DWORD error = 0;
  if (!readExtractorRecord(ci, msg, &error)) {
    trace(ci, "getObjectName(): ReadFile Failed. Error = %d", static_cast<int>(error));
    // The location's listing broke off: reported, never taken for its end.
    return DSA_ERROR_EXTRACTOR_SILENT;
  }
  trace(ci, "getObjectName(): ReadFile Successful");
  const std::string_view objectName = objectNameOf(*msg);
  const std::string_view ckpdbName = ckpdbNameOf(*msg);
  std::snprintf(name, kObjectNameSize, "%.*s", static_cast<int>(objectName.size()),
                objectName.data());
  trace(ci, "getObjectName(): ObjectName= %s, ckpdb_name= %.*s, MsgType= %d", name,
        static_cast<int>(ckpdbName.size()), ckpdbName.data(), msg->MsgType);
  if (msg->MsgType == OIDBMSGTYPE_NO_MORE_FILES) return DSA_ERROR_NO_FILE_RECORD;
  if (msg->MsgType != OIDBMSGTYPE_FILE_NAME) {
    // Only file names belong in a backup's listing. Any other record is refused rather than
    // acted on: a restore request would have a file created (and emptied) under its name.
    trace(ci, "getObjectName(): record of type %d in a backup listing", msg->MsgType);
    return DSA_ERROR_EXTRACTOR_SILENT;
  }
  std::snprintf(ci->ObjectName, sizeof ci->ObjectName, "%s", name);
  if (!inRunLocation(ci, name)) {
    // A name outside the location the extractor serves means someone else speaks on the pipe
    // or the extractor was tampered with: the object fails, it is never passed over.
    trace(ci, "getObjectName(): %s is not an entry of the location %s; refused", name,
          ci->backup.backupLocation[0] != '\0' ? ci->backup.backupLocation : "(none yet)");
    Log_act(ci, kActivityForeignFileName, name);
    return DSA_ERROR_FOREIGN_FILE;
  }
  return 0;
}

// Opens the listed file ci->ObjectName into ci->fd for the reader and fills the rest of `info`
// (the checkpoint `number` of the listing, the database): 0 or 1.
int openListedFile(ConnectionRecord* ci, char* name, DataFileInfo* info, std::string_view number) {
  ObjectBlock* block = ci->objectBlock.get();
  trace(ci, "%s:Ckpdbno = %.*s", "getObjectName()", static_cast<int>(number.size()), number.data());
  if (std::strcmp(ci->ObjectName, kDumpPlaceholder) == 0) {
    info->kind = kFileKindDumpPlaceholder;
  } else if (block != nullptr) {
    std::snprintf(block->checkpointText, sizeof block->checkpointText, "%.*s",
                  static_cast<int>(number.size()), number.data());
    block->checkpointValue = std::atoi(block->checkpointText);
  }
  ci->restore.noFile = 0;
  ci->fd.reset(CreateFileA(
      ci->ObjectName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!ci->fd) {
    // Delivered as an empty file this would be stored as one, and the checkpoint taken: the
    // object fails instead, where the server sees it.
    const DWORD openError = GetLastError();
    ci->fd.reset();
    trace(ci, "getObjectName(): error could not open file %s error = %d", ci->ObjectName,
          static_cast<int>(openError));
    Log_act(ci, kActivityFileNotOpened, ci->ObjectName, openError);
    return DSA_ERROR_FILE;
  }
  trace(ci, "getObjectName(): file %s successfully opened. Handle=%d", ci->ObjectName,
        handleValue(ci->fd.get()));
  std::snprintf(name, kObjectNameSize, "%s", ci->ObjectName);
  if (block != nullptr) {
    std::snprintf(info->checkpointText, sizeof info->checkpointText, "%s", block->checkpointText);
    std::snprintf(info->dbName, sizeof info->dbName, "%s", block->dbName);
  }
  return 0;
}

}  // namespace

int getObjectName(ConnectionRecord* ci, char* name, DataFileInfo* info) {
  trace(ci, "%s: Entered.", "getObjectName()");
  for (;;) {
    OidbMsg msg{};
    if (int result = readListedFile(ci, name, &msg); result != 0) return result;
    info->kind = kFileKindOrdinary;
    bool isDirectory = false;
    DWORD measureError = 0;
    info->sizeKb = measureFile(ci, name, &isDirectory, &measureError);
    if (isDirectory) {
      // The extractor lists a location's entries without descending; a directory inside a
      // location holds nothing the checkpoint covers, and its handle could not be read.
      trace(ci, "getObjectName(): %s is a directory, passed over", name);
      continue;
    }
    if (info->sizeKb == 0) {
      // A file that cannot even be measured cannot be delivered: the object is incomplete.
      Log_act(ci, kActivityFileNotOpened, ci->ObjectName, measureError);
      return DSA_ERROR_FILE;
    }
    return openListedFile(ci, name, info, checkpointNumberText(ckpdbNameOf(msg)));
  }
}

int DSAGetBackupObjectFile(int connectionId, char* name, int backupId, DataFileInfo* info) {
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  if (!isBackingUp(ci->status)) return DSA_ERROR_OUT_OF_SEQUENCE;
  trace(ci,
        "DSAGetBackupObjectFile(): Entered with Parameters: connectID = %d, ObjectName = %s, "
        "backupID = %d, DataFileInfo = %d",
        connectionId, name, backupId, handleValue(info));
  int result = getObjectName(ci, name, info);
  trace(ci, "DSAGetBackupObjectFile(): getObjectName() returns: %d", result);
  return result;
}

DWORD DSAReadDatabaseData(int connectionId, int backupId, void* buffer, uint32_t* count) {
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  trace(ci, "%s(): Entered. ConnectID=%d, ci->fd=%d", "DSAReadDatabaseData()", connectionId,
        handleValue(ci->fd.get()));
  if (!ci->fd) {
    // The next file's header is due; it is written only into a buffer that holds all of it.
    if (*count < header::kSize) return DSA_ERROR_BUFFER_TOO_SMALL;
    for (;;) {
      char name[kObjectNameSize] = {};
      DataFileInfo info{};
      int result = DSAGetBackupObjectFile(connectionId, name, backupId, &info);
      if (result == 0) {
        fillObjectHeader(buffer, ci->backup.ckpdbID, name, info.sizeKb, ci->fd.get());
        *count = header::kSize;
        trace(ci, "DSAReadDatabaseData():  returns ObjectName= %s, ObjectSize= %d", name,
              static_cast<int>(info.sizeKb));
        return 0;
      }
      trace(ci, "DSAReadDatabaseData(): DSAGetBackupObjectFile() returns Error= %d", result);
      if (result != DSA_ERROR_NO_FILE_RECORD) return static_cast<DWORD>(result);
      trace(ci, "DSAReadDatabaseData(): DSAGetBackupObjectFile(): No more files left");
      if (--ci->connInfo.locationCount <= 0) {
        // The last extractor is released and given the time to take it before the object's
        // end closes the pipe: a release lost in the disconnect would fail the location.
        releaseExtractor(ci, OIDBMSGTYPE_END_BACKUP,
                         "DSAReadDatabaseData(): WriteFile() successful",
                         "DSAReadDatabaseData(): WriteFile() failed. Error=%d");
        if (ci->objectBlock != nullptr) ci->objectBlock->delivered = 1;
        // As for every kind of object: an empty header and no bytes.
        fillObjectHeader(buffer, "", "", 0, nullptr);
        *count = 0;
        return DSA_LAST_LOCATION_DONE;
      }
      // The checkpoint run now starts the extractor of the next location on the same pipe.
      releaseExtractor(ci, OIDBMSGTYPE_END_BACKUP, "DSAReadDatabaseData(): WriteFile() successful",
                       "DSAReadDatabaseData(): WriteFile() failed. Error=%d");
      disconnectExtractor(ci, /*routine=*/nullptr);
      ci->backup.backupLocation[0] = '\0';
      // A checkpoint run that ends instead of starting the next extractor ends the wait.
      if (!awaitExtractorClient(ci, kRecordWaitMs, ci->run.ckpdbProcessHandle.get())) {
        trace(ci, "DSAReadDatabaseData(): the next location's extractor did not connect");
        return DSA_ERROR_EXTRACTOR_SILENT;
      }
      char number[sizeof ci->backup.ckpdbID] = {};
      if (getCkpdbID(ci, number, sizeof number) != 0) {
        // The next location's extractor never spoke: the object would lack whole locations.
        trace(ci, "DSAReadDatabaseData(): the next location's extractor sent no checkpoint name");
        return DSA_ERROR_EXTRACTOR_SILENT;
      }
      // A location without files hands over at once; the loop goes on to the next one.
    }
  }

  DWORD got = 0;
  if (!ReadFile(ci->fd.get(), buffer, *count, &got, nullptr)) {
    DWORD error = GetLastError();
    trace(ci, "DSAReadDatabaseData(): Error Cannot Read from file = %d", static_cast<int>(error));
    Log_act(ci, kActivityDatabaseReadFailed, error);
    Log_act(ci, kActivityFileNotRead, ci->ObjectName, error);
    if (!ci->fd.close()) trace(ci, "DSAReadDatabaseData(): Cannot close the file handle");
    return DSA_ERROR_FILE;
  }
  trace(ci, "DSAReadDatabaseData(): nBytes read= %d", static_cast<int>(got));
  *count = got;
  if (got == 0) {
    closeObjectFile(ci, "DSAReadDatabaseData(): close() failed. Error= %d");
    return DSA_END_OF_OBJECT;
  }
  return 0;
}

}  // namespace ferry::agent
