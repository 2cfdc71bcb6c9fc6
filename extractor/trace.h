// siphon's trace file and its settings.
//
// Conventions:
// - One file per process, "<trace directory>\siphon<thread id>.trc", opened and closed for each
//   line so that no process holds it between lines.
// - Tracing starts on and only ever goes off: for good when the "dll" setting names no
//   directory, when "debug" reads 0 or 100 (also its default), or when the file cannot be
//   opened. Nothing here reports an error; the run goes on without trace lines.
// - The settings live in <registry root>\DSAgent\CurrentVersion\agent\<instance key> below
//   HKEY_LOCAL_MACHINE, opened for reading only.
#pragma once

#include <string>

namespace ferry::extractor {

// Names the settings key for the rest of the run; call before the first trace line.
void setTraceInstance(const std::string& instanceKey);

void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace ferry::extractor
