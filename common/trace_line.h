// The extractor's trace line: "MM/DD/YYYY hh:mm:ss.mmm\t <message>\r\n", local time.
//
// Conventions:
// - Platform-free (no windows.h); the Win32 shell supplies the local time.
// - Writes into the caller's buffer of `size` bytes, never past it, always NUL-terminates when
//   `size` > 0, and returns the length written (NUL excluded). A line that does not fit is cut
//   and still ends with CR LF, so the file keeps one line per entry.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace ferry {

// The buffers of the extractor's trace writer, NUL included.
inline constexpr size_t kExtractorMessageSize = 2048;
inline constexpr size_t kExtractorLineSize = 2560;

struct TraceTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

size_t formatExtractorTraceLine(char* out, size_t size, const TraceTime& time, const char* message);

// printf-style formatting into a fixed buffer; output that does not fit is cut.
size_t formatBounded(char* out, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
size_t formatBoundedV(char* out, size_t size, const char* format, va_list args);

}  // namespace ferry
