// The platform-free rules of the restore flow: what a restore object name asks for, whether a
// block is an object header the agent accepts, whether a restored path lies inside the
// database's destinations, and the texts the flow builds (end time, end-of-restore marker).
//
// Conventions:
// - No windows.h, no exceptions, no allocation except where a std::string is returned.
// - Paths are Windows paths in ANSI text: '\' (or '/') separates components, and two names
//   that differ only in the case of ASCII letters name the same file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace ferry::agent {

// Restore kinds, as ObjectType holds them once the restore has begun.
inline constexpr int32_t kRestoreKindNone = 0;
inline constexpr int32_t kRestoreKindData = 2;
inline constexpr int32_t kRestoreKindJournal = 6;
inline constexpr int32_t kRestoreKindConfig = 8;

struct RestoreObjectName {
  int32_t kind = kRestoreKindNone;
  std::string_view dbName;  // a view into the classified name
  // The name has a '.' but none of the dotted forms (it is reported as an unknown kind).
  bool dottedUnknown = false;
};

// "<db>.DATA..." (the text from the first '.' begins with ".DATA", any case): data;
// "<db>.~CONF..." : configuration and dump files; "~JOURNAL OF DATABASE <db>", also after the
// last '\' of a dotted name: journals. A database name that is empty or longer than 255
// characters gives no kind.
RestoreObjectName classifyRestoreObjectName(std::string_view name);

// Why a block is refused as an object header, or Ok.
enum class HeaderCheck {
  Ok,
  WrongSize,     // not exactly 1024 bytes
  NoMagic,       // the magic text is missing
  NoPath,        // the path field is empty or holds no NUL
  BadCheckpoint  // the checkpoint number text is not 1 to 9 decimal digits
};
// `checkpointNeeded`: the first header of a connection, whose checkpoint number goes on the
// roll-forward command line and so must be digits only.
HeaderCheck checkRestoreHeader(const void* block, size_t size, bool checkpointNeeded);
const char* headerCheckText(HeaderCheck check);

// True when `path` is an anchored path ("X:\..." or "\...") whose components are all plain
// names: none empty (but the two leading separators of a UNC path), none "." or "..", none
// ending in '.' or ' ' (Windows would drop those characters and so name another file), no ':'
// after the drive, no '*' or '?'; and it does not end with a separator.
bool isPlainFilePath(std::string_view path);

// True when `path` is a plain file path (above) whose directory is `directory` (a trailing
// separator is allowed), comparing whole components without regard to ASCII case.
bool fileInDirectory(std::string_view path, std::string_view directory);

// True when two directories are the same, as fileInDirectory compares them.
bool sameDirectory(std::string_view a, std::string_view b);

// `path` up to and including its last backslash; "" when it has none.
std::string_view directoryOf(std::string_view path);

// "<directory>zzzz<checkpoint>.ali": the marker the end of a data restore leaves in the
// directory of the last file restored (`directory` ends with its backslash).
std::string endMarkerPath(std::string_view directory, std::string_view checkpointText);

// The roll-forward end time "%d-%b-%Y:%H:%M:%S" with English month names, whatever the
// process's locale; false when the broken-down time is out of range or `size` is too small.
bool formatEndTime(const std::tm& local, char* out, size_t size);

}  // namespace ferry::agent
