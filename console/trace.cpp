#include "trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "unique_handle.h"

namespace lookout {
namespace {

// The longest line: a full path and its fixed text with room to spare; longer ones are cut.
constexpr size_t kLineSize = 2048;

}  // namespace

const char* traceFilePath() {
  // The drive of the Windows directory, then the root: a name like "C:lookout.LOG" would be
  // relative to the current directory of that drive and land wherever the console was started.
  static const char* const path = [] {
    static char buffer[MAX_PATH] = "C:\\lookout.LOG";
    char windows[MAX_PATH];
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length >= 2 && length < sizeof windows && windows[1] == ':') {
      std::snprintf(buffer, sizeof buffer, "%c:\\lookout.LOG", windows[0]);
    }
    return buffer;
  }();
  return path;
}

void trace(const char* format, ...) {
  char line[kLineSize];
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (length < 0) return;
  if (static_cast<size_t>(length) >= sizeof line) length = sizeof line - 1;

  ferry::UniqueFile file(CreateFileA(traceFilePath(), GENERIC_WRITE, /*share=*/0,
                                     /*security=*/nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
  if (!file) return;  // held by another writer: the line is dropped
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) return;
  DWORD written = 0;
  // A short write loses the rest of this line only; nothing to report it to.
  WriteFile(file.get(), line, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace lookout
