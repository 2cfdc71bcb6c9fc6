// ferryctl.exe: the backup console. Stands in for the backup server's host process: loads the
// agent library and drives it through its exported functions.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "agent_library.h"
#include "commands.h"
#include "core/command_line.h"
#include "core/exit_code.h"

namespace {

using ferry::ctl::ExitCode;

int exitWith(ExitCode code) { return static_cast<int>(code); }

}  // namespace

int main(int argc, char** argv) {
  using namespace ferry::ctl;
  std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  ParseOutcome parsed = parseCommandLine(args);
  if (!parsed.command) {
    std::fprintf(stderr, "ferryctl: %s\n\n%s", parsed.error.c_str(), usageText().c_str());
    return exitWith(ExitCode::kUsage);
  }
  const Command& command = *parsed.command;
  if (command.kind == CommandKind::kHelp) {
    std::fputs(usageText().c_str(), stdout);
    return exitWith(ExitCode::kSuccess);
  }

  AgentLibrary agent;
  std::string loadError = agent.load(agentLibraryPath(command.agentPath));
  if (!loadError.empty()) {
    std::fprintf(stderr, "ferryctl: %s\n", loadError.c_str());
    return exitWith(ExitCode::kAgentLibrary);
  }

  switch (command.kind) {
    case CommandKind::kConnect:
      return exitWith(runConnect(agent.entryPoints(), command.connect));
    case CommandKind::kError:
      return exitWith(runError(agent.entryPoints(), command.errorCode));
    case CommandKind::kHelp:
      break;
  }
  return exitWith(ExitCode::kSuccess);
}
