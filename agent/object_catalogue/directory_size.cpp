// CalculateDirectorySize: what a database object occupies on disk, as the sum of the files
// directly in its destinations.
#include <windows.h>

#include <cstring>
#include <string>

#include "logs/trace.h"
#include "object_catalogue/catalogue.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

bool isFile(const WIN32_FIND_DATAA& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

int64_t fileSize(const WIN32_FIND_DATAA& entry) {
  return static_cast<int64_t>((static_cast<uint64_t>(entry.nFileSizeHigh) << 32) |
                              entry.nFileSizeLow);
}

}  // namespace

int64_t CalculateDirectorySize(ConnectionRecord* ci, const DestinationList* destinations) {
  if (destinations == nullptr || destinations->count <= 0 || destinations->paths[0] == '\0') {
    trace(ci, "CalculateDirectorySize(): No directory needs to calculate. return 0");
    return 0;
  }
  int64_t total = 0;
  const char* path = destinations->paths;
  const char* areaEnd = destinations->paths + kDestinationAreaSize;
  for (int i = 0; i < destinations->count && path < areaEnd && *path != '\0'; ++i) {
    size_t length = strnlen(path, static_cast<size_t>(areaEnd - path));
    std::string pattern(path, length);
    pattern += "\\*";
    path += length + 1;

    WIN32_FIND_DATAA entry = {};
    UniqueFind find(FindFirstFileA(pattern.c_str(), &entry));
    if (!find) {
      DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND) continue;  // an empty listing counts nothing
      trace(ci, "CalculateDirectorySize(): unable to find the first file error = %d",
            static_cast<int>(error));
      return -1;
    }
    if (std::strcmp(entry.cFileName, ".") == 0) {
      if (FindNextFileA(find.get(), &entry)) {
        if (std::strcmp(entry.cFileName, "..") == 0) {
          trace(ci, "CalculateDirectorySize(): Found .., ignoring");
        } else {
          trace(ci, "CalculateDirectorySize(): expecting .., handling anyway");
          if (isFile(entry)) total += fileSize(entry);
        }
      } else if (GetLastError() != ERROR_NO_MORE_FILES) {
        trace(ci, "CalculateDirectorySize(): unable to find the next file error = %d",
              static_cast<int>(GetLastError()));
        return -1;
      } else {
        continue;
      }
    } else if (isFile(entry)) {
      total += fileSize(entry);
    }
    while (FindNextFileA(find.get(), &entry)) {
      if (isFile(entry)) total += fileSize(entry);
    }
    DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) {
      trace(ci, "CalculateDirectorySize(): unable to find the next file error = %d",
            static_cast<int>(error));
      return -1;
    }
  }
  return total;
}

}  // namespace ferry::agent
