#include "line_format.h"

#include <cstdio>

#include "trace_line.h"

namespace ferry::agent {
namespace {

// vsnprintf reports the length it wanted; the caller needs the length it got.
size_t clampedLength(int wanted, size_t size) {
  if (wanted < 0 || size == 0) return 0;
  return static_cast<size_t>(wanted) < size ? static_cast<size_t>(wanted) : size - 1;
}

// A cut line still ends with CR LF, so that the next entry starts on a line of its own.
size_t endLine(char* out, size_t size, int wanted) {
  size_t length = clampedLength(wanted, size);
  if (wanted >= 0 && static_cast<size_t>(wanted) >= size && length >= 2) {
    out[length - 2] = '\r';
    out[length - 1] = '\n';
  }
  return length;
}

}  // namespace

size_t formatMessageV(char* out, size_t size, const char* format, va_list args) {
  return formatBoundedV(out, size, format, args);
}

size_t formatMessage(char* out, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  size_t length = formatBoundedV(out, size, format, args);
  va_end(args);
  return length;
}

size_t formatTraceLine(char* out, size_t size, const char* installationCode, const LocalTime& time,
                       uint32_t threadId, const char* message) {
  if (size == 0) return 0;
  int wanted = std::snprintf(out, size, "%s-%02d/%02d/%d %02d:%02d:%02d.%03d(%d) %s\r\n",
                             installationCode ? installationCode : "", time.month, time.day,
                             time.year, time.hour, time.minute, time.second, time.millisecond,
                             static_cast<int>(threadId), message ? message : "");
  return endLine(out, size, wanted);
}

size_t formatDebuggerLine(char* out, size_t size, const LocalTime& time, const char* message) {
  if (size == 0) return 0;
  int wanted = std::snprintf(
      out, size, "HTB/ferryman.dll-%02d/%02d/%d %02d:%02d:%02d.%03d\t %s\r\n", time.month, time.day,
      time.year, time.hour, time.minute, time.second, time.millisecond, message ? message : "");
  return endLine(out, size, wanted);
}

size_t formatActivityLine(char* out, size_t size, const LocalTime& time,
                          const char* installationCode, const char* text) {
  if (size == 0) return 0;
  const char* tag = installationCode != nullptr ? installationCode : "--";
  int wanted =
      std::snprintf(out, size, "%02d/%02d/%04d %02d:%02d:%02d-%s-%s\r\n", time.month, time.day,
                    time.year, time.hour, time.minute, time.second, tag, text ? text : "");
  return endLine(out, size, wanted);
}

size_t formatBanner(char* out, size_t size, const char* entryPoint, Banner which) {
  if (size == 0) return 0;
  int wanted = which == Banner::kStart
                   ? std::snprintf(out, size, "*************** %s(): Starts Here ***************",
                                   entryPoint)
                   : std::snprintf(out, size, "*************** %s(): Ends Here ***************\r\n",
                                   entryPoint);
  return clampedLength(wanted, size);
}

}  // namespace ferry::agent
