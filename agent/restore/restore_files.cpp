// The files of a restore: opening each one under the overwrite rules, writing its blocks,
// closing it; the confinement of every path to the database's destinations; the location
// tracking that releases one extractor and awaits the next; and the end of a data restore.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "connection/connection_table.h"
#include "core/restore_names.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "message_ids.h"
#include "oidb_msg.h"
#include "restore/restore_flow.h"
#include "unique_handle.h"
#include "utility/extractor_pipe.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

// How long a change of location waits for the next location's extractor: rollforwarddb first
// empties that location (a command of its own), then starts the extractor.
constexpr DWORD kNextExtractorWaitMs = 20000;
// Kept copies are numbered from the begin step's suffix on; past this many the file is refused.
constexpr int kSuffixAttempts = 10000;
constexpr size_t kRestorePathSize = MAX_PATH + 16;

HANDLE createRestoreFile(const char* path, bool shareForWriting) {
  const DWORD access = shareForWriting ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
  const DWORD share = shareForWriting ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
  return CreateFileA(path, access, share, /*security=*/nullptr, CREATE_ALWAYS,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, /*template=*/nullptr);
}

bool exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Creates every directory on the way to the file `path`; failures (an existing directory among
// them) are only traced. False when the path holds no backslash at all.
bool createDirectoriesTo(ConnectionRecord* ci, const char* path) {
  const char* last = std::strrchr(path, '\\');
  if (last == nullptr) {
    trace(ci, "DSAOpenMatchedObjectFile(): No more directory to check.");
    return false;
  }
  std::string partial(path, static_cast<size_t>(last - path));
  for (size_t cut = partial.find('\\');; cut = partial.find('\\', cut + 1)) {
    const std::string directory = cut == std::string::npos ? partial : partial.substr(0, cut);
    if (!directory.empty() && !CreateDirectoryA(directory.c_str(), /*security=*/nullptr)) {
      trace(ci,
            "DSAOpenMatchedObjectFile(): Error: cannot create directory=%s. The directory might "
            "exist. EC=%d",
            directory.c_str(), static_cast<int>(GetLastError()));
    }
    if (cut == std::string::npos) break;
  }
  return true;
}

// The name a kept file is restored under: "<path>.<n>" with the first n from the begin step's
// suffix on that names no file yet, so that no earlier copy is overwritten either. False when
// none fits.
bool keptName(ConnectionRecord* ci, const char* path, char (&out)[kRestorePathSize]) {
  for (int n = ci->restoreSuffix; n < ci->restoreSuffix + kSuffixAttempts; ++n) {
    const int written = std::snprintf(out, sizeof out, "%s.%d", path, n);
    if (written < 0 || static_cast<size_t>(written) >= MAX_PATH) return false;
    if (!exists(out)) return true;
  }
  return false;
}

// Waits for the next location's extractor and reads its request, which names the location it
// holds.
DWORD awaitNextExtractor(ConnectionRecord* ci) {
  if (!awaitExtractorClient(ci, kNextExtractorWaitMs)) {
    trace(ci, "DSAWrite(): the extractor of the next location did not connect within %d s",
          static_cast<int>(kNextExtractorWaitMs / 1000));
    Log_act(ci, kActivityExtractorTimeout);
    return DSA_ERROR_EXTRACTOR_TIMEOUT;
  }
  char objectName[kObjectNameSize] = "";
  DataFileInfo info{};
  if (int result = getRestoreObjectName(ci, objectName, &info); result != 0) {
    trace(ci, "DSAWrite(): the next location's request could not be read, rcode = %d", result);
    return static_cast<DWORD>(result);
  }
  ci->restoreExtractorHeld = 1;
  return 0;
}

// Sends the held extractor its release and lets the pipe listen for the next one.
void releaseHeldExtractor(ConnectionRecord* ci) {
  releaseExtractor(ci, OIDBMSGTYPE_END_RESTORE, "DSAWrite(): WriteFile() successful",
                   "DSAWrite(): WriteFile() failed. Error=%d");
  ci->restoreExtractorHeld = 0;
  ++ci->restoreLocationsReleased;
  disconnectExtractor(ci, /*routine=*/nullptr);
  trace(ci, "DSAWrite(): going to connect named pipe for the new location");
  if (ConnectNamedPipe(ci->pipeHandle.get(), /*overlapped=*/nullptr) ||
      GetLastError() == ERROR_PIPE_CONNECTED || GetLastError() == ERROR_PIPE_LISTENING) {
    // The next extractor is awaited (and its request read) before anything is written.
    ci->pipeConnected = 1;
  } else {
    trace(ci, "DSAWrite(): ConnectNamedPipe failed. Error = %d,retry=%d",
          static_cast<int>(GetLastError()), 0);
  }
}

// Makes `directory` safe to write: rollforwarddb empties each location before it starts the
// location's extractor, so a file may go only into the location whose extractor is held, or
// anywhere once every extractor has been released. An extractor that holds another location
// than the stream's next file (a stream in another order than the locations) is released too.
DWORD reachLocation(ConnectionRecord* ci, const char* directory) {
  for (;;) {
    if (ci->restoreExtractorHeld) {
      const std::string_view held = directoryOf(ci->lastRequestName);
      if (sameDirectory(held, directory)) return 0;
      trace(ci, "DSAWrite(): the extractor holds %.*s while the next file lies in %s; released",
            static_cast<int>(held.size()), held.data(), directory);
      releaseHeldExtractor(ci);
    }
    // Once every location's extractor has been released, rollforwarddb starts no other and
    // every location has been emptied: the files are written straight away.
    if (ci->restoreLocationsReleased >= ci->restoreDestinationCount) return 0;
    if (DWORD result = awaitNextExtractor(ci); result != 0) return result;
  }
}

}  // namespace

bool restorePathAllowed(ConnectionRecord* ci, const char* path) {
  const char* dest = ci->restoreDestinations;
  for (int i = 0; i < ci->restoreDestinationCount; ++i) {
    if (fileInDirectory(path, dest)) return true;
    dest += std::strlen(dest) + 1;
  }
  return false;
}

DWORD trackRestoreLocation(ConnectionRecord* ci, const char* directory) {
  // Journal and configuration files are written without an extractor.
  const bool extractor = ci->ObjectType == kRestoreKindData && ci->pipeHandle.valid();
  if (ci->restoreLocationDirectory[0] == '\0') {
    trace(ci, "DSAWrite(): the first location %s", directory);
    std::snprintf(ci->restoreLocationDirectory, sizeof ci->restoreLocationDirectory, "%s",
                  directory);
    return extractor ? reachLocation(ci, directory) : 0;
  }
  // Windows names are compared without regard to case: the same folder spelt otherwise is no
  // new location, and releasing its extractor early would let rollforwarddb go on too soon.
  if (sameDirectory(ci->restoreLocationDirectory, directory)) return 0;
  trace(ci, "DSAWrite(): a new location %s", directory);
  std::snprintf(ci->restoreLocationDirectory, sizeof ci->restoreLocationDirectory, "%s", directory);
  if (!extractor) return 0;
  if (ci->restoreExtractorHeld) releaseHeldExtractor(ci);
  return reachLocation(ci, directory);
}

DWORD DSAOpenMatchedObjectFile(int connectionId, const char* fileName) {
  constexpr char kRoutine[] = "DSAOpenMatchedObjectFile";
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  if (ci->status != 2) return DSA_ERROR_OUT_OF_SEQUENCE;
  if (fileName == nullptr || fileName[0] == '\0') {
    trace(ci, "%s(): ERROR: NULL tapeFilename received", kRoutine);
    Log_act(ci, kActivityRestoreNoFileName);
    return DSA_ERROR_ARGUMENT_MISSING;
  }
  std::snprintf(ci->ObjectName, sizeof ci->ObjectName, "%s", fileName);
  char path[kRestorePathSize];
  std::snprintf(path, sizeof path, "%s", fileName);
  if (exists(fileName)) {
    bool keep = false;
    if (ci->ObjectType == kRestoreKindJournal &&
        (ci->restoreOption & kRestoreOverwriteJournals) == 0) {
      trace(ci, "DSAOpenMatchedObjectFile(): The overwrite journal option is not selected 0x%x",
            ci->restoreOption);
      keep = true;
    } else if (ci->ObjectType == kRestoreKindConfig &&
               (ci->restoreOption & kRestoreKeepConfiguration) != 0) {
      trace(ci, "DSAOpenMatchedObjectFile(): The overwrite dmp/cfg option is not selected 0x%x",
            ci->restoreOption);
      keep = true;
    }
    if (keep && !keptName(ci, fileName, path)) {
      trace(ci, "DSAOpenMatchedObjectFile(): no free name beside %s", fileName);
      Log_act(ci, kActivityFileNotOpened, fileName, static_cast<DWORD>(ERROR_FILE_EXISTS));
      return resultFromWin32(ERROR_FILE_EXISTS);
    }
  }

  UniqueFile file(createRestoreFile(path, /*shareForWriting=*/false));
  DWORD error = 0;
  if (!file) {
    error = GetLastError();
    trace(ci, "DSAOpenMatchedObjectFile(): Could Not open file %s Error() = %d", path,
          static_cast<int>(error));
    file.reset(createRestoreFile(path, /*shareForWriting=*/true));
    if (!file) error = GetLastError();
  }
  if (!file && error == ERROR_PATH_NOT_FOUND && createDirectoriesTo(ci, path)) {
    file.reset(createRestoreFile(path, /*shareForWriting=*/false));
    if (!file) error = GetLastError();
  }
  if (!file) {
    trace(ci, "DSAOpenMatchedObjectFile(): Could Not open file %s Error() = %d", path,
          static_cast<int>(error));
    Log_act(ci, kActivityFileNotOpened, path, error);
    return resultFromWin32(error);
  }
  ci->fd.reset(file.release());
  trace(ci, "DSAOpenMatchedObjectFile(): file %s successfully opened. Handle=%d", path,
        static_cast<int>(reinterpret_cast<intptr_t>(ci->fd.get())));
  return 0;
}

DWORD DSACloseMatchedObjectFile(int connectionId) {
  constexpr char kRoutine[] = "DSACloseMatchedObjectFile";
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  if (ci->status != 2) return DSA_ERROR_OUT_OF_SEQUENCE;
  if (!ci->fd) {
    ci->fd.reset();
    ci->ObjectName[0] = '\0';
    return 0;
  }
  if (ci->ObjectName[0] == '\0') {
    trace(ci, "%s(): Bad sequence call. No file opened.", kRoutine);
    return DSA_ERROR_OUT_OF_SEQUENCE;
  }
  trace(ci, "%s(): file to close %s,Closed Handle=%d", kRoutine, ci->ObjectName,
        static_cast<int>(reinterpret_cast<intptr_t>(ci->fd.get())));
  ci->fd.reset();
  ci->ObjectName[0] = '\0';
  return 0;
}

DWORD dsaWrite_cldsa(ConnectionRecord* ci, const void* buffer, uint32_t bytes) {
  constexpr char kRoutine[] = "dsaWrite_cldsa";
  if (bytes == 0) {
    trace(ci, "dsaWrite_cldsa(): 0 byte to write, returned");
    return 0;
  }
  if (ci->status != 2) {
    trace(ci, "dsaWrite_cldsa(): Bad call sequence(not in restore mode), returned");
    return DSA_ERROR_OUT_OF_SEQUENCE;
  }
  DWORD written = 0;
  if (WriteFile(ci->fd.get(), buffer, bytes, &written, /*overlapped=*/nullptr) &&
      written == bytes) {
    return 0;
  }
  trace(ci, "%s(): Error writing to the file %s. errno=%d", kRoutine, ci->ObjectName,
        static_cast<int>(GetLastError()));
  if (!ci->fd.close()) trace(ci, "dsaWrite_cldsa(): could not close file");
  return DSA_ERROR_FILE;
}

void endWholeRestore(ConnectionRecord* ci) {
  if (ci->status != 2) return;
  const std::string_view directory = directoryOf(ci->restoreRequest);
  if (directory.empty()) {
    // No file was restored: there is no directory to mark, and a bare name would land in the
    // current directory of the host process.
    trace(ci, "DSADisconnectAgent(): no file was restored; no end marker written");
  } else {
    const std::string marker = endMarkerPath(directory, ci->restoreCheckpointText);
    trace(ci, "DSADisconnectAgent(): checkpoint = %s", ci->restoreCheckpointText);
    trace(ci, "DSADisconnectAgent(): Filename = %s", marker.c_str());
    UniqueFile file(CreateFileA(marker.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                /*security=*/nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                /*template=*/nullptr));
    if (!file) {
      trace(ci, "DSADisconnectAgent(): the end marker %s could not be created. Error= %d",
            marker.c_str(), static_cast<int>(GetLastError()));
    }
  }
  sendExtractorRecord(ci, OIDBMSGTYPE_END_RESTORE, "DSADisconnectAgent(): WriteFile() successful",
                      "DSADisconnectAgent(): WriteFile() failed. Error=%d");
}

}  // namespace ferry::agent
