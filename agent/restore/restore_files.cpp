// The files of a restore: opening each one under the overwrite rules, writing its blocks,
// closing it; the confinement of every path to the database's destinations; the location
// tracking that releases one extractor and awaits the next; and the end of a data restore.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "connection/connection_table.h"
#include "core/message_ids.h"
#include "core/restore_names.h"
#include "library/agent_state.h"
#include "library/fixed_name_file.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
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
// How long the end of a data restore waits for the roll forward to finish: it applies the
// journals after the last location, which takes a while on a large database. The agent lock is
// held meanwhile.
constexpr DWORD kRollForwardEndWaitMs = 300000;
// How long a roll forward that was aborted is given to fail on its own before it is ended.
constexpr DWORD kAbortedRollForwardWaitMs = 30000;
// Kept copies are numbered from the begin step's suffix on; past this many the file is refused.
constexpr int kSuffixAttempts = 10000;
constexpr size_t kRestorePathSize = MAX_PATH + 16;

// The temporary file a restored file is written to. The fallback asks for read access too (some
// file systems want it), but never lets another writer in. Its name is fixed: a link placed
// there (`*refused`) is never written through.
UniqueFile createRestoreFile(const char* path, bool withRead, bool* refused) {
  const DWORD access = withRead ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
  FixedNameOutcome outcome = FixedNameOutcome::kFailed;
  UniqueFile file =
      openFixedNameFile(path, access, FILE_SHARE_READ,
                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, &outcome);
  *refused = outcome == FixedNameOutcome::kRefused;
  return file;
}

// The name a restored file is written under until it ended whole: beside its final name, so
// that the move over it stays in one directory.
constexpr char kTemporarySuffix[] = ".restoring";

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
  for (int n = ci->restore.restoreSuffix; n < ci->restore.restoreSuffix + kSuffixAttempts; ++n) {
    const int written = std::snprintf(out, sizeof out, "%s.%d", path, n);
    if (written < 0 || static_cast<size_t>(written) >= MAX_PATH) return false;
    if (!exists(out)) return true;
  }
  return false;
}

// Waits for the next location's extractor and reads its request, which names the location it
// holds.
DWORD awaitNextExtractor(ConnectionRecord* ci) {
  if (!awaitExtractorClient(ci, kNextExtractorWaitMs, ci->run.rollforwardProcessHandle.get())) {
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
  ci->restore.restoreExtractorHeld = 1;
  return 0;
}

// Sends the held extractor its release and lets the pipe listen for the next one.
void releaseHeldExtractor(ConnectionRecord* ci) {
  if (extractorGone(ci)) {
    // The location's extractor went before its release: rollforwarddb has failed it.
    trace(ci, "DSAWrite(): the extractor of %s went before its release",
          ci->restore.lastRequestName);
    ci->restore.restoreFailed = 1;
  }
  releaseExtractor(ci, OIDBMSGTYPE_END_RESTORE, "DSAWrite(): WriteFile() successful",
                   "DSAWrite(): WriteFile() failed. Error=%d");
  ci->restore.restoreExtractorHeld = 0;
  ++ci->restore.restoreLocationsReleased;
  ci->restore.releasedLocations.emplace_back(directoryOf(ci->restore.lastRequestName));
  disconnectExtractor(ci, /*routine=*/nullptr);
  trace(ci, "DSAWrite(): going to connect named pipe for the new location");
  if (ConnectNamedPipe(ci->run.pipeHandle.get(), /*overlapped=*/nullptr) ||
      GetLastError() == ERROR_PIPE_CONNECTED || GetLastError() == ERROR_PIPE_LISTENING) {
    // The next extractor is awaited (and its request read) before anything is written.
    ci->run.pipeConnected = 1;
  } else {
    trace(ci, "DSAWrite(): ConnectNamedPipe failed. Error = %d,retry=%d",
          static_cast<int>(GetLastError()), 0);
  }
}

bool locationReleased(const ConnectionRecord* ci, const char* directory) {
  for (const std::string& released : ci->restore.releasedLocations) {
    if (sameDirectory(released, directory)) return true;
  }
  return false;
}

// Makes `directory` safe to write: rollforwarddb empties each location before it starts the
// location's extractor and goes on with the location once the extractor is released, so a file
// may go only into the location whose extractor is held. An extractor that holds another
// location than the stream's next file is released (a stream in another order than the
// locations); a location already released, or any once every extractor has been, is refused:
// Ingres no longer expects it to change.
DWORD reachLocation(ConnectionRecord* ci, const char* directory) {
  for (;;) {
    if (ci->restore.restoreExtractorHeld) {
      const std::string_view held = directoryOf(ci->restore.lastRequestName);
      if (sameDirectory(held, directory)) return 0;
    }
    if (locationReleased(ci, directory) ||
        (!ci->restore.restoreExtractorHeld &&
         ci->restore.restoreLocationsReleased >= ci->destinations.restoreDestinationCount)) {
      trace(ci, "DSAWrite(): the roll forward has passed the location %s; refused", directory);
      Log_act(ci, kActivityLocationPassed, directory);
      return DSA_ERROR_LOCATION_PASSED;
    }
    if (ci->restore.restoreExtractorHeld) {
      trace(ci, "DSAWrite(): the extractor holds %s while the next file lies in %s; released",
            ci->restore.lastRequestName, directory);
      releaseHeldExtractor(ci);
      continue;
    }
    if (DWORD result = awaitNextExtractor(ci); result != 0) return result;
  }
}

// Lets the restored file of the session go without putting it in place: the temporary file is
// deleted and whatever stood under the final name stays.
void discardRestoredFile(ConnectionRecord* ci) {
  ci->fd.reset();
  if (ci->restore.restoreTempPath[0] != '\0' && !DeleteFileA(ci->restore.restoreTempPath)) {
    trace(ci, "DSACloseMatchedObjectFile(): %s could not be deleted. Error= %d",
          ci->restore.restoreTempPath, static_cast<int>(GetLastError()));
  }
  ci->restore.restoreTempPath[0] = '\0';
  ci->restore.restoreFinalPath[0] = '\0';
  ci->ObjectName[0] = '\0';
}

// Opens the temporary file `temporary` of the restored file `path`, with read access too and
// with the missing directories made where the first try needs them: 0, 16 (a link there), or
// 10000 + the system error, traced and logged.
DWORD openTemporaryFile(ConnectionRecord* ci, const char* temporary, const char* path,
                        UniqueFile* file) {
  bool refused = false;
  *file = createRestoreFile(temporary, /*withRead=*/false, &refused);
  DWORD error = 0;
  if (!*file && !refused) {
    error = GetLastError();
    trace(ci, "DSAOpenMatchedObjectFile(): Could Not open file %s Error() = %d", temporary,
          static_cast<int>(error));
    *file = createRestoreFile(temporary, /*withRead=*/true, &refused);
    if (!*file) error = GetLastError();
  }
  if (!*file && !refused && error == ERROR_PATH_NOT_FOUND && createDirectoriesTo(ci, temporary)) {
    *file = createRestoreFile(temporary, /*withRead=*/false, &refused);
    if (!*file) error = GetLastError();
  }
  if (refused) {
    trace(ci, "DSAOpenMatchedObjectFile(): %s is a link or has a second name; not written through",
          temporary);
    Log_act(ci, kActivityLinkRefused, temporary);
    return DSA_ERROR_LINK_REFUSED;
  }
  if (!*file) {
    trace(ci, "DSAOpenMatchedObjectFile(): Could Not open file %s Error() = %d", temporary,
          static_cast<int>(error));
    Log_act(ci, kActivityFileNotOpened, path, error);
    return resultFromWin32(error);
  }
  return 0;
}

// The end marker of a data restore, an empty file under a fixed name: never written through a
// link placed there. A marker that cannot be made is traced (and the refused link logged).
void writeEndMarker(ConnectionRecord* ci, const std::string& marker) {
  trace(ci, "DSADisconnectAgent(): checkpoint = %s", ci->restore.restoreCheckpointText);
  trace(ci, "DSADisconnectAgent(): Filename = %s", marker.c_str());
  FixedNameOutcome outcome = FixedNameOutcome::kFailed;
  UniqueFile file = openFixedNameFile(marker.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                      FILE_ATTRIBUTE_NORMAL, &outcome);
  if (outcome == FixedNameOutcome::kRefused) {
    trace(ci, "DSADisconnectAgent(): %s is a link or has a second name; not written through",
          marker.c_str());
    Log_act(ci, kActivityLinkRefused, marker.c_str());
  } else if (!file) {
    trace(ci, "DSADisconnectAgent(): the end marker %s could not be created. Error= %d",
          marker.c_str(), static_cast<int>(GetLastError()));
  }
}

}  // namespace

bool restorePathAllowed(const DestinationState& destinations, const char* path) {
  const char* dest = destinations.restoreDestinations;
  for (int i = 0; i < destinations.restoreDestinationCount; ++i) {
    if (fileInDirectory(path, dest)) return true;
    dest += std::strlen(dest) + 1;
  }
  return false;
}

DWORD trackRestoreLocation(ConnectionRecord* ci, const char* directory) {
  // Journal and configuration files are written without an extractor.
  const bool extractor = ci->ObjectType == ObjectType::Data && ci->run.pipeHandle.valid();
  if (ci->restore.restoreLocationDirectory[0] == '\0') {
    trace(ci, "DSAWrite(): the first location %s", directory);
    std::snprintf(ci->restore.restoreLocationDirectory, sizeof ci->restore.restoreLocationDirectory,
                  "%s", directory);
    return extractor ? reachLocation(ci, directory) : 0;
  }
  // Windows names are compared without regard to case: the same folder spelt otherwise is no
  // new location, and releasing its extractor early would let rollforwarddb go on too soon.
  if (sameDirectory(ci->restore.restoreLocationDirectory, directory)) return 0;
  trace(ci, "DSAWrite(): a new location %s", directory);
  std::snprintf(ci->restore.restoreLocationDirectory, sizeof ci->restore.restoreLocationDirectory,
                "%s", directory);
  if (!extractor) return 0;
  // The held extractor is released only on the way to a location the roll forward has still to
  // reach: for a file it has passed, releasing it would let the roll forward complete.
  return reachLocation(ci, directory);
}

DWORD DSAOpenMatchedObjectFile(int connectionId, const char* fileName, uint32_t sizeKb) {
  constexpr char kRoutine[] = "DSAOpenMatchedObjectFile";
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  if (!isRestoring(ci->status)) return DSA_ERROR_OUT_OF_SEQUENCE;
  if (fileName == nullptr || fileName[0] == '\0') {
    trace(ci, "%s(): ERROR: NULL tapeFilename received", kRoutine);
    Log_act(ci, kActivityRestoreNoFileName);
    return DSA_ERROR_ARGUMENT_MISSING;
  }
  std::snprintf(ci->ObjectName, sizeof ci->ObjectName, "%s", fileName);
  char path[kRestorePathSize];
  std::snprintf(path, sizeof path, "%s", fileName);
  const DWORD attributes = GetFileAttributesA(fileName);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    bool keep = false;
    if (ci->ObjectType == ObjectType::Journal &&
        (ci->restore.restoreOption & kRestoreOverwriteJournals) == 0) {
      trace(ci, "DSAOpenMatchedObjectFile(): The overwrite journal option is not selected 0x%x",
            ci->restore.restoreOption);
      keep = true;
    } else if (ci->ObjectType == ObjectType::Config &&
               (ci->restore.restoreOption & kRestoreKeepConfiguration) != 0) {
      trace(ci, "DSAOpenMatchedObjectFile(): The overwrite dmp/cfg option is not selected 0x%x",
            ci->restore.restoreOption);
      keep = true;
    }
    if (keep && !keptName(ci, fileName, path)) {
      trace(ci, "DSAOpenMatchedObjectFile(): no free name beside %s", fileName);
      Log_act(ci, kActivityFileNotOpened, fileName, static_cast<DWORD>(ERROR_FILE_EXISTS));
      return resultFromWin32(ERROR_FILE_EXISTS);
    }
    // What cannot be replaced is refused before anything is written: a directory in the
    // file's place, or a file that is read-only.
    const DWORD refusal = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0  ? ERROR_DIRECTORY
                          : (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? ERROR_ACCESS_DENIED
                                                                        : 0;
    if (!keep && refusal != 0) {
      trace(ci, "DSAOpenMatchedObjectFile(): %s cannot be replaced (attributes 0x%x)", path,
            static_cast<unsigned>(attributes));
      Log_act(ci, kActivityFileNotOpened, path, refusal);
      return resultFromWin32(refusal);
    }
  }
  char temporary[kRestorePathSize];
  const int length = std::snprintf(temporary, sizeof temporary, "%s%s", path, kTemporarySuffix);
  if (length < 0 || static_cast<size_t>(length) >= MAX_PATH) {
    trace(ci, "DSAOpenMatchedObjectFile(): %s is too long to be restored beside itself", path);
    Log_act(ci, kActivityFileNotOpened, path, static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    return resultFromWin32(ERROR_FILENAME_EXCED_RANGE);
  }

  UniqueFile file;
  if (DWORD result = openTemporaryFile(ci, temporary, path, &file); result != 0) return result;
  ci->fd.reset(file.release());
  std::snprintf(ci->restore.restoreTempPath, sizeof ci->restore.restoreTempPath, "%s", temporary);
  std::snprintf(ci->restore.restoreFinalPath, sizeof ci->restore.restoreFinalPath, "%s", path);
  ci->restore.restoreHeaderSizeKb = sizeKb;
  ci->restore.restoreBytesWritten = 0;
  trace(ci, "DSAOpenMatchedObjectFile(): file %s successfully opened. Handle=%d", temporary,
        static_cast<int>(reinterpret_cast<intptr_t>(ci->fd.get())));
  return 0;
}

DWORD DSACloseMatchedObjectFile(int connectionId, bool keepIt) {
  constexpr char kRoutine[] = "DSACloseMatchedObjectFile";
  ConnectionRecord* ci = findConnection(connectionId);
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  if (!isRestoring(ci->status)) return DSA_ERROR_OUT_OF_SEQUENCE;
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
  if (!keepIt) {
    trace(ci, "%s(): the session ended with a failure; %s is not restored", kRoutine,
          ci->restore.restoreFinalPath);
    discardRestoredFile(ci);
    return 0;
  }
  // The header gives the size in KB (at least 1): a file that ends short of it lost data on
  // the way. A longer one is not refused: an online checkpoint reads a file as it grows.
  if (ci->restore.restoreHeaderSizeKb != 0 &&
      sizeInHeaderKb(ci->restore.restoreBytesWritten) < ci->restore.restoreHeaderSizeKb) {
    trace(ci, "%s(): %s has %llu bytes, its header says %lu KB; not restored", kRoutine,
          ci->restore.restoreFinalPath,
          static_cast<unsigned long long>(ci->restore.restoreBytesWritten),
          static_cast<unsigned long>(ci->restore.restoreHeaderSizeKb));
    Log_act(ci, kActivityRestoredFileShort, ci->restore.restoreFinalPath);
    discardRestoredFile(ci);
    return DSA_ERROR_FILE_INCOMPLETE;
  }
  DWORD error = 0;
  if (!FlushFileBuffers(ci->fd.get())) error = GetLastError();
  if (error == 0 && !ci->fd.close(&error)) {
    trace(ci, "%s(): %s could not be closed", kRoutine, ci->restore.restoreTempPath);
  }
  if (error == 0 && !MoveFileExA(ci->restore.restoreTempPath, ci->restore.restoreFinalPath,
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
  }
  if (error != 0) {
    trace(ci, "%s(): %s could not be put in place. Error= %d", kRoutine,
          ci->restore.restoreFinalPath, static_cast<int>(error));
    Log_act(ci, kActivityFileNotPlaced, ci->restore.restoreFinalPath, error);
    discardRestoredFile(ci);
    return resultFromWin32(error);
  }
  ci->restore.restoreTempPath[0] = '\0';
  ci->restore.restoreFinalPath[0] = '\0';
  ci->ObjectName[0] = '\0';
  return 0;
}

DWORD dsaWrite_cldsa(ConnectionRecord* ci, const void* buffer, uint32_t bytes) {
  constexpr char kRoutine[] = "dsaWrite_cldsa";
  if (bytes == 0) {
    trace(ci, "dsaWrite_cldsa(): 0 byte to write, returned");
    return 0;
  }
  if (!isRestoring(ci->status)) {
    trace(ci, "dsaWrite_cldsa(): Bad call sequence(not in restore mode), returned");
    return DSA_ERROR_OUT_OF_SEQUENCE;
  }
  DWORD written = 0;
  if (WriteFile(ci->fd.get(), buffer, bytes, &written, /*overlapped=*/nullptr) &&
      written == bytes) {
    ci->restore.restoreBytesWritten += written;
    return 0;
  }
  trace(ci, "%s(): Error writing to the file %s. errno=%d", kRoutine, ci->ObjectName,
        static_cast<int>(GetLastError()));
  discardRestoredFile(ci);
  return DSA_ERROR_FILE;
}

DWORD endWholeRestore(ConnectionRecord* ci) {
  if (!isRestoring(ci->status) || ci->ObjectType != ObjectType::Data ||
      ci->restore.first_write == 0)
    return 0;
  if (ci->fd) {
    // The stream ended inside a file: it is not put in place, and the location is not whole.
    trace(ci, "DSADisconnectAgent(): the stream ended inside %s", ci->restore.restoreFinalPath);
    discardRestoredFile(ci);
    ci->restore.restoreFailed = 1;
  }
  if (ci->restore.restoreExtractorHeld && extractorGone(ci)) {
    trace(ci, "DSADisconnectAgent(): the extractor of %s went before its release",
          ci->restore.lastRequestName);
    ci->restore.restoreFailed = 1;
  }
  if (ci->restore.restoreFailed) {
    trace(ci, "DSADisconnectAgent(): the data restore of %s failed; no end marker", ci->dbName);
    Log_act(ci, kActivityRestoreFailed, ci->dbName);
    abortExtractor(ci, "DSADisconnectAgent");
    // The aborted extractor fails its location and with it the roll forward; one that does not
    // end (it may be waiting for an extractor that will never come) is ended.
    if (ci->run.rollforwardProcessHandle &&
        WaitForSingleObject(ci->run.rollforwardProcessHandle.get(), kAbortedRollForwardWaitMs) !=
            WAIT_OBJECT_0) {
      trace(ci, "DSADisconnectAgent(): ending rollforwarddb");
      TerminateProcess(ci->run.rollforwardProcessHandle.get(), ERROR_OPERATION_ABORTED);
    }
    ci->run.rollforwardProcessHandle.reset();
    return DSA_ERROR_RESTORE_INCOMPLETE;
  }

  const std::string_view directory = directoryOf(ci->restore.restoreRequest);
  if (directory.empty()) {
    // No file was restored: there is no directory to mark, and a bare name would land in the
    // current directory of the host process.
    trace(ci, "DSADisconnectAgent(): no file was restored; no end marker written");
  } else {
    writeEndMarker(ci, endMarkerPath(directory, ci->restore.restoreCheckpointText));
  }
  if (ci->run.pipeConnected == 1) {
    releaseExtractor(ci, OIDBMSGTYPE_END_RESTORE, "DSADisconnectAgent(): WriteFile() successful",
                     "DSADisconnectAgent(): WriteFile() failed. Error=%d");
  }
  closeExtractorPipe(ci, "DSADisconnectAgent");

  // The restore is complete only when the roll forward is.
  DWORD result = 0;
  if (ci->run.rollforwardProcessHandle) {
    trace(ci, "DSADisconnectAgent(): waiting for rollforwarddb to end");
    DWORD exitCode = 0;
    if (WaitForSingleObject(ci->run.rollforwardProcessHandle.get(), kRollForwardEndWaitMs) !=
        WAIT_OBJECT_0) {
      trace(ci, "DSADisconnectAgent(): rollforwarddb did not end within %lu s",
            static_cast<unsigned long>(kRollForwardEndWaitMs / 1000));
      Log_act(ci, kActivityRollforwardNotEnded, kRollForwardEndWaitMs / 1000);
      result = DSA_ERROR_ROLLFORWARD_FAILED;
    } else if (!GetExitCodeProcess(ci->run.rollforwardProcessHandle.get(), &exitCode) ||
               exitCode != 0) {
      trace(ci, "DSADisconnectAgent(): rollforwarddb ended with exit code %lu", exitCode);
      Log_act(ci, kActivityRollforwardExit, exitCode);
      result = DSA_ERROR_ROLLFORWARD_FAILED;
    } else {
      trace(ci, "DSADisconnectAgent(): rollforwarddb completed");
    }
    ci->run.rollforwardProcessHandle.reset();
  }
  return result;
}

}  // namespace ferry::agent
