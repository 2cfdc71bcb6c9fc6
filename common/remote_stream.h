// The remote pipe's stream, shared by the agent (its server end) and a media side (the client):
// the pipe's name and the shape of its messages.
//
// Backup, per file: the 1024-byte object header as one message (not for the first file, whose
// header DSARead returns), the file's data in messages of at most kBackupMessageSize bytes, and
// the end marker (kEndOfSubstream with its NUL, 15 bytes) as one message; the agent closes the
// pipe after the last file. A data message never equals the end marker: the agent splits a
// chunk that would.
// Restore, per file (one pipe per restore session): the file's data in messages of at most
// kRestoreMessageSize bytes, then a message of 0 bytes.
//
// Conventions: platform-free; no windows.h.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace ferry::remote {

inline constexpr size_t kBackupMessageSize = 65536;
inline constexpr size_t kRestoreMessageSize = 32768;
inline constexpr char kEndOfSubstream[] = "ENDOFSUBSTREAM";
inline constexpr size_t kEndMarkerSize = sizeof kEndOfSubstream;  // with its NUL
static_assert(kEndMarkerSize == 15);

inline bool isEndMarker(const void* data, size_t size) {
  return size == kEndMarkerSize && std::memcmp(data, kEndOfSubstream, kEndMarkerSize) == 0;
}

// "\\.\pipe\ferryman@<installation code>\dbagent<run id>s<connection id>": the run id is the
// backup id DSABeginBackup returned, or the restore id of DSABeginRestore; the connection id is
// what both return in their last argument.
inline std::string pipeName(std::string_view installationCode, int runId, int connectionId) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "%ds%d", runId, connectionId);
  return "\\\\.\\pipe\\ferryman@" + std::string(installationCode) + "\\dbagent" + suffix;
}

}  // namespace ferry::remote
