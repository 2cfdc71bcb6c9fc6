// ferryctl.exe: the backup console. Stands in for the backup server's host process: loads the
// agent library and drives it through its exported functions.
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "agent_library.h"
#include "commands.h"
#include "core/command_line.h"
#include "core/exit_code.h"
#include "password.h"

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
  Command command = std::move(*parsed.command);
  if (command.kind == CommandKind::kHelp) {
    std::fputs(usageText().c_str(), stdout);
    return exitWith(ExitCode::kSuccess);
  }
  if (command.kind == CommandKind::kVerify || command.kind == CommandKind::kRestoreList) {
    return exitWith(runVerify(command.restore.archivePath));  // the archive alone, no agent
  }
  if (commandConnects(command.kind)) {
    std::string error;
    if (!obtainPassword(command, &command.connect.password, &error)) {
      std::fprintf(stderr, "ferryctl: %s\n", error.c_str());
      return exitWith(ExitCode::kUsage);
    }
  }

  AgentLibrary agent;
  std::string loadError = agent.load(agentLibraryPath(command.agentPath));
  if (!loadError.empty()) {
    std::fprintf(stderr, "ferryctl: %s\n", loadError.c_str());
    return exitWith(ExitCode::kAgentLibrary);
  }

  // A command whose entry points the library lacks is refused before anything is called.
  auto require = [&](EntryPointSet set) {
    std::string missing = agent.requireEntryPoints(set);
    if (!missing.empty()) std::fprintf(stderr, "ferryctl: %s\n", missing.c_str());
    return missing.empty();
  };
  const AgentEntryPoints& entryPoints = agent.entryPoints();
  switch (command.kind) {
    case CommandKind::kConnect:
      return exitWith(runConnect(entryPoints, command.connect));
    case CommandKind::kError:
      return exitWith(runError(entryPoints, command.errorCode));
    case CommandKind::kInfo:
      if (!require(EntryPointSet::kCatalogue)) return exitWith(ExitCode::kAgentLibrary);
      return exitWith(runInfo(entryPoints, command.connect));
    case CommandKind::kList:
      if (!require(EntryPointSet::kCatalogue)) return exitWith(ExitCode::kAgentLibrary);
      return exitWith(runList(entryPoints, command.connect, command.listProperties));
    case CommandKind::kExcluded:
      if (!require(EntryPointSet::kCatalogue)) return exitWith(ExitCode::kAgentLibrary);
      return exitWith(runExcluded(entryPoints, command.connect));
    case CommandKind::kBackup:
      if (!require(EntryPointSet::kBackup)) return exitWith(ExitCode::kAgentLibrary);
      return exitWith(runBackup(entryPoints, command.connect, command.backup));
    case CommandKind::kRestore:
      if (!require(EntryPointSet::kRestore)) return exitWith(ExitCode::kAgentLibrary);
      if (command.restore.asOf && !require(EntryPointSet::kPointInTime)) {
        return exitWith(ExitCode::kAgentLibrary);
      }
      return exitWith(runRestore(entryPoints, command.connect, command.restore));
    case CommandKind::kVerify:
    case CommandKind::kRestoreList:
    case CommandKind::kHelp:
      break;
  }
  return exitWith(ExitCode::kSuccess);
}
