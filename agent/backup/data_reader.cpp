// The data reader of a data backup: the file names come from the extractor of each location,
// the bytes straight from the files into the caller's buffer.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "activity_log.h"
#include "backup/backup_flow.h"
#include "connection_table.h"
#include "extractor_pipe.h"
#include "message_ids.h"
#include "object_block.h"
#include "object_header.h"
#include "trace.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

constexpr DWORD kMeasureRetryMs = 1000;
// The longest a released extractor is given to take its release record before the pipe is
// disconnected under it.
constexpr DWORD kLocationHandOverMs = 300;

int handleValue(HANDLE handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }

// The size of `path` in header KB, or 0 when it cannot be had. Only the file's attributes are
// asked for, so a file that another program holds open without sharing is measured all the
// same, and a read-only file too.
uint32_t measureFile(ConnectionRecord* ci, const char* path, bool* isDirectory) {
  *isDirectory = false;
  for (int attempt = 0; attempt < 2; ++attempt) {
    HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      trace(ci, "getObjectName(): CreateFile got handle=%d", handleValue(file));
      BY_HANDLE_FILE_INFORMATION about{};
      uint32_t kb = 0;
      if (GetFileInformationByHandle(file, &about)) {
        *isDirectory = (about.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        kb = sizeInHeaderKb(static_cast<uint64_t>(about.nFileSizeHigh) << 32 | about.nFileSizeLow);
      }
      trace(ci, "getObjectName(): Close Handle=%d", handleValue(file));
      CloseHandle(file);
      return kb;
    }
    trace(ci, "getObjectName(): CreateFile failed. Error= %d", static_cast<int>(GetLastError()));
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

}  // namespace

uint32_t sizeInHeaderKb(uint64_t bytes) {
  const uint64_t kb = bytes >> 10;
  if (kb == 0) return 1;
  return kb > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(kb);
}

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
  if (ci->fd != nullptr && ci->fd != INVALID_HANDLE_VALUE && !CloseHandle(ci->fd)) {
    _doserrno = static_cast<int>(GetLastError());
    trace(ci, closeFailedFormat, errno);
  }
  ci->fd = nullptr;
}

int getObjectName(ConnectionRecord* ci, char* name, DataFileInfo* info) {
  trace(ci, "%s: Entered.", "getObjectName()");
  ObjectBlock* block = ci->objectBlock;
  for (;;) {
    std::memset(name, 0, kObjectNameSize);
    OidbMsg msg{};
    DWORD error = 0;
    if (!readExtractorRecord(ci, &msg, &error)) {
      trace(ci, "getObjectName(): ReadFile Failed. Error = %d", static_cast<int>(error));
      // The location's listing broke off: reported, never taken for its end.
      return kResultExtractorSilent;
    }
    trace(ci, "getObjectName(): ReadFile Successful");
    const std::string_view objectName = objectNameOf(msg);
    const std::string_view ckpdbName = ckpdbNameOf(msg);
    std::snprintf(name, kObjectNameSize, "%.*s", static_cast<int>(objectName.size()),
                  objectName.data());
    trace(ci, "getObjectName(): ObjectName= %s, ckpdb_name= %.*s, MsgType= %d", name,
          static_cast<int>(ckpdbName.size()), ckpdbName.data(), msg.MsgType);
    if (msg.MsgType == OIDBMSGTYPE_NO_MORE_FILES) return kResultNoFileRecord;
    if (msg.MsgType != OIDBMSGTYPE_FILE_NAME) {
      // Only file names belong in a backup's listing. Any other record is refused rather than
      // acted on: a restore request would have a file created (and emptied) under its name.
      trace(ci, "getObjectName(): record of type %d in a backup listing", msg.MsgType);
      return kResultExtractorSilent;
    }
    std::snprintf(ci->ObjectName, sizeof ci->ObjectName, "%s", name);
    info->kind = kFileKindOrdinary;
    bool isDirectory = false;
    info->sizeKb = measureFile(ci, name, &isDirectory);
    if (isDirectory) {
      // The extractor lists a location's entries without descending; a directory inside a
      // location holds nothing the checkpoint covers, and its handle could not be read.
      trace(ci, "getObjectName(): %s is a directory, passed over", name);
      continue;
    }
    const std::string_view number = checkpointNumberText(ckpdbName);
    trace(ci, "%s:Ckpdbno = %.*s", "getObjectName()", static_cast<int>(number.size()),
          number.data());
    if (std::strcmp(ci->ObjectName, kDumpPlaceholder) == 0) {
      info->kind = kFileKindDumpPlaceholder;
    } else if (block != nullptr) {
      std::snprintf(block->checkpointText, sizeof block->checkpointText, "%.*s",
                    static_cast<int>(number.size()), number.data());
      block->checkpointValue = std::atoi(block->checkpointText);
    }
    ci->noFile = 0;
    ci->fd = CreateFileA(
        ci->ObjectName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (ci->fd == INVALID_HANDLE_VALUE) {
      trace(ci, "getObjectName(): error could not open file %s error = %d", ci->ObjectName,
            static_cast<int>(GetLastError()));
    } else {
      trace(ci, "getObjectName(): file %s successfully opened. Handle=%d", ci->ObjectName,
            handleValue(ci->fd));
    }
    std::snprintf(name, kObjectNameSize, "%s", ci->ObjectName);
    if (block != nullptr) {
      std::snprintf(info->checkpointText, sizeof info->checkpointText, "%s", block->checkpointText);
      std::snprintf(info->dbName, sizeof info->dbName, "%s", block->dbName);
    }
    return 0;
  }
}

int DSAGetBackupObjectFile(int connectionId, char* name, int backupId, DataFileInfo* info) {
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return kResultUnknownConnection;
  if (ci->status != 1 && ci->status != 3) return kResultOutOfSequence;
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
  if (ci == nullptr) return kResultUnknownConnection;
  trace(ci, "%s(): Entered. ConnectID=%d, ci->fd=%d", "DSAReadDatabaseData()", connectionId,
        handleValue(ci->fd));
  if (ci->fd == INVALID_HANDLE_VALUE) {
    trace(ci, "DSAReadDatabaseData(): File is invalid returning 9999");
    *count = 0;
    ci->fd = nullptr;
    return kResultEndOfObject;
  }
  if (ci->remoteJob) {
    trace(ci, "DSAReadDatabaseData(): Call Made to is_remote");
    return 0;
  }
  if (ci->fd == nullptr) {
    // The next file's header is due; it is written only into a buffer that holds all of it.
    if (*count < header::kSize) return kResultBufferTooSmall;
    for (;;) {
      char name[kObjectNameSize] = {};
      DataFileInfo info{};
      int result = DSAGetBackupObjectFile(connectionId, name, backupId, &info);
      if (result == 0) {
        fillObjectHeader(buffer, ci->ckpdbID, name, info.sizeKb, ci->fd);
        *count = header::kSize;
        trace(ci, "DSAReadDatabaseData():  returns ObjectName= %s, ObjectSize= %d", name,
              static_cast<int>(info.sizeKb));
        return 0;
      }
      trace(ci, "DSAReadDatabaseData(): DSAGetBackupObjectFile() returns Error= %d", result);
      if (result != kResultNoFileRecord) return static_cast<DWORD>(result);
      trace(ci, "DSAReadDatabaseData(): DSAGetBackupObjectFile(): No more files left");
      sendExtractorRecord(ci, OIDBMSGTYPE_END_BACKUP,
                          "DSAReadDatabaseData(): WriteFile() successful",
                          "DSAReadDatabaseData(): WriteFile() failed. Error=%d");
      if (--ci->connInfo.locationCount <= 0) {
        if (ci->objectBlock != nullptr) ci->objectBlock->delivered = 1;
        // As for every kind of object: an empty header and no bytes.
        fillObjectHeader(buffer, "", "", 0, nullptr);
        *count = 0;
        return kResultLastLocationDone;
      }
      // The checkpoint run now starts the extractor of the next location on the same pipe.
      waitForExtractorToGo(ci, kLocationHandOverMs);
      if (!reconnectExtractor(ci)) {
        trace(ci, "DSAReadDatabaseData(): the next location's extractor did not connect");
        return kResultExtractorSilent;
      }
      char number[sizeof ci->ckpdbID] = {};
      if (getCkpdbID(ci, number, sizeof number) != 0) {
        // The next location's extractor never spoke: the object would lack whole locations.
        trace(ci, "DSAReadDatabaseData(): the next location's extractor sent no checkpoint name");
        return kResultExtractorSilent;
      }
      // A location without files hands over at once; the loop goes on to the next one.
    }
  }

  DWORD got = 0;
  if (!ReadFile(ci->fd, buffer, *count, &got, nullptr)) {
    DWORD error = GetLastError();
    trace(ci, "DSAReadDatabaseData(): Error Cannot Read from file = %d", static_cast<int>(error));
    Log_act(ci, kActivityDatabaseReadFailed, error);
    if (!CloseHandle(ci->fd)) trace(ci, "DSAReadDatabaseData(): Cannot close the file handle");
    ci->fd = nullptr;
    return kResultFileError;
  }
  trace(ci, "DSAReadDatabaseData(): nBytes read= %d", static_cast<int>(got));
  *count = got;
  if (got == 0) {
    closeObjectFile(ci, "DSAReadDatabaseData(): close() failed. Error= %d");
    return kResultEndOfObject;
  }
  return 0;
}

}  // namespace ferry::agent
