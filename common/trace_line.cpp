#include "trace_line.h"

#include <cstdio>

namespace ferry {
namespace {

// vsnprintf reports the length it wanted; the caller needs the length it got.
size_t clampedLength(int wanted, size_t size) {
  if (wanted < 0 || size == 0) return 0;
  return static_cast<size_t>(wanted) < size ? static_cast<size_t>(wanted) : size - 1;
}

}  // namespace

size_t formatBoundedV(char* out, size_t size, const char* format, va_list args) {
  if (size == 0) return 0;
  int wanted = std::vsnprintf(out, size, format, args);
  if (wanted < 0) out[0] = '\0';
  return clampedLength(wanted, size);
}

size_t formatBounded(char* out, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  size_t length = formatBoundedV(out, size, format, args);
  va_end(args);
  return length;
}

size_t formatExtractorTraceLine(char* out, size_t size, const TraceTime& time,
                                const char* message) {
  if (size == 0) return 0;
  int wanted = std::snprintf(out, size, "%02d/%02d/%d %02d:%02d:%02d.%03d\t %s\r\n", time.month,
                             time.day, time.year, time.hour, time.minute, time.second,
                             time.millisecond, message ? message : "");
  size_t length = clampedLength(wanted, size);
  // A cut line still ends with CR LF, so that the next entry starts on a line of its own.
  if (wanted >= 0 && static_cast<size_t>(wanted) >= size && length >= 2) {
    out[length - 2] = '\r';
    out[length - 1] = '\n';
  }
  return length;
}

}  // namespace ferry
