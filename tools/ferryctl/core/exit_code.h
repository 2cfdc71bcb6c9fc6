// The console's exit codes, documented in its usage text, and how an agent result maps to them.
// Scripts and tests tell the kinds of failure apart by these, so each value is fixed.
//
// Conventions: platform-free; no exceptions.
#pragma once

#include <cstdint>
#include <string_view>

namespace ferry::ctl {

enum class ExitCode : int {
  kSuccess = 0,
  kAgentError = 1,    // the agent returned a result code other than 0
  kUsage = 2,         // the command line is malformed
  kAgentLibrary = 3,  // the agent library could not be loaded or lacks an entry point
  kArchive = 4,       // the archive file could not be written or read, or is damaged
  kMismatch = 5,      // a restored file differs from the archive
};

inline constexpr ExitCode kAllExitCodes[] = {ExitCode::kSuccess, ExitCode::kAgentError,
                                             ExitCode::kUsage,   ExitCode::kAgentLibrary,
                                             ExitCode::kArchive, ExitCode::kMismatch};

std::string_view exitCodeMeaning(ExitCode code);

// 0 is success; every other agent result, its own codes and system errors alike, is an agent
// error.
ExitCode exitCodeForResult(uint32_t agentResult);

}  // namespace ferry::ctl
