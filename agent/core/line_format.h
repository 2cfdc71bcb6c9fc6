// The text of the agent's log lines: trace lines, the debugger fallback line, activity lines and
// the entry-point banners.
//
// Conventions:
// - Platform-free (no windows.h); the Win32 shell supplies the local time and thread id.
// - Every function writes into the caller's buffer of `size` bytes, never past it, always
//   NUL-terminates when `size` > 0, and returns the length written (NUL excluded). A line that
//   does not fit is cut, and its last two characters are replaced by CR LF so that the file
//   keeps one line per entry.
// - No exceptions, no allocation.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "trace_line.h"

namespace ferry::agent {

// Buffer sizes of the trace routine and the activity log, NUL included.
inline constexpr size_t kTraceMessageSize = 2048;
inline constexpr size_t kTraceLineSize = 2560;
inline constexpr size_t kActivityTemplateSize = 256;
inline constexpr size_t kActivityTextSize = 1024;
inline constexpr size_t kActivityLineSize = 2048;

// The local time of a line, as the extractor's trace lines take it too.
using LocalTime = ::ferry::TraceTime;

// printf-style formatting into a fixed buffer; output that does not fit is cut (the shared
// formatBounded under the agent's name).
size_t formatMessage(char* out, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
size_t formatMessageV(char* out, size_t size, const char* format, va_list args);

// "<code>-MM/DD/YYYY hh:mm:ss.mmm(<thread>) <message>\r\n"
size_t formatTraceLine(char* out, size_t size, const char* installationCode, const LocalTime& time,
                       uint32_t threadId, const char* message);

// "HTB/ferryman.dll-MM/DD/YYYY hh:mm:ss.mmm\t <message>\r\n": what goes to the debugger when
// the trace file cannot be opened.
size_t formatDebuggerLine(char* out, size_t size, const LocalTime& time, const char* message);

// "MM/DD/YYYY hh:mm:ss-<code>-<text>\r\n"; a null code (no connection) gives "--".
size_t formatActivityLine(char* out, size_t size, const LocalTime& time,
                          const char* installationCode, const char* text);

enum class Banner { kStart, kEnd };

// "*************** <entry>(): Starts Here ***************" or
// "*************** <entry>(): Ends Here ***************\r\n".
size_t formatBanner(char* out, size_t size, const char* entryPoint, Banner which);

}  // namespace ferry::agent
