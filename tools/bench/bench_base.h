// What every part of the benchmark shares: the names of what it makes, its clock, and its one
// failure (a pass that cannot go on ends the run with a line on standard error).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "media_pipe.h"

namespace ferry::bench {

inline constexpr char kCode[] = "FN";
inline constexpr char kRoot[] = "C:\\ferrybench\\FN";
inline constexpr char kSecondArea[] = "C:\\ferrybench\\FN_loc2";
inline constexpr char kAgentFolder[] = "C:\\ferrybench\\agent";
inline constexpr char kWorkFolder[] = "C:\\ferrybench";
inline constexpr char kDatabase[] = "benchdb";
inline constexpr char kAccount[] = "ingres";
inline constexpr char kPassword[] = "bench-pw";
inline constexpr size_t kBufferSize = 1u << 20;
// How long the bench waits for one message of the remote pipe, or for one to be taken.
inline constexpr DWORD kPipeWaitMs = 120000;
// The pipe is there once the begin call returned; the bench tries again at once.
inline constexpr media::PipeWaits kPipeWaits{/*openMs=*/kPipeWaitMs, /*retryMs=*/1,
                                             /*messageMs=*/kPipeWaitMs};

// Seconds, from the performance counter.
inline double now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double mib(uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

inline std::string folderOf(const std::string& path) {
  return path.substr(0, path.find_last_of('\\'));
}

struct Failure {
  std::string text;
};

}  // namespace ferry::bench
