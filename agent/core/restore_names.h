// The platform-free rules of the restore flow (the object names are core/object_names.h):
// whether a block is an object header the agent accepts, whether a restored path lies inside the
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

// `path` up to and including its last separator ('\\' or '/'); "" when it has none.
std::string_view directoryOf(std::string_view path);

// "<directory>zzzz<checkpoint>.ali": the marker the end of a data restore leaves in the
// directory of the last file restored (`directory` ends with its backslash).
std::string endMarkerPath(std::string_view directory, std::string_view checkpointText);

// The roll-forward end time "%d-%b-%Y:%H:%M:%S" with English month names, whatever the
// process's locale; false when the broken-down time is out of range or `size` is too small.
bool formatEndTime(const std::tm& local, char* out, size_t size);

}  // namespace ferry::agent
