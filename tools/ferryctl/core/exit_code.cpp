#include "core/exit_code.h"

namespace ferry::ctl {

std::string_view exitCodeMeaning(ExitCode code) {
  switch (code) {
    case ExitCode::kSuccess:
      return "success";
    case ExitCode::kAgentError:
      return "the agent returned an error code (printed with its text)";
    case ExitCode::kUsage:
      return "the command line is malformed";
    case ExitCode::kAgentLibrary:
      return "the agent library could not be loaded or lacks an entry point";
    case ExitCode::kArchive:
      return "the archive file could not be written or read, or is damaged";
    case ExitCode::kMismatch:
      return "a restored file differs from the archive";
  }
  return "unknown";
}

ExitCode exitCodeForResult(uint32_t agentResult) {
  return agentResult == 0 ? ExitCode::kSuccess : ExitCode::kAgentError;
}

}  // namespace ferry::ctl
