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
#include "json_report.h"
#include "password.h"

namespace {

using namespace ferry::ctl;

// The exit code as a number; with --json, after the document was written.
int finish(ExitCode code) {
  return jsonReportActive() ? finishJsonReport(code) : static_cast<int>(code);
}

// The command on the agent it names (or, for the archive alone, on none).
ExitCode runCommand(Command& command) {
  if (command.kind == CommandKind::kVerify || command.kind == CommandKind::kRestoreList) {
    return runVerify(command.restore.archivePath);  // the archive alone, no agent
  }
  if (commandConnects(command.kind)) {
    std::string error;
    if (!obtainPassword(command, &command.connect.password, &error)) {
      printLine(stderr, "ferryctl: " + error);
      return ExitCode::kUsage;
    }
  }
  AgentLibrary agent;
  std::string loadError = agent.load(agentLibraryPath(command.agentPath));
  if (!loadError.empty()) {
    if (jsonReportActive()) jsonSystemError(agent.loadError());
    printLine(stderr, "ferryctl: " + loadError);
    return ExitCode::kAgentLibrary;
  }
  // A command whose entry points the library lacks is refused before anything is called.
  auto require = [&](EntryPointSet set) {
    std::string missing = agent.requireEntryPoints(set);
    if (!missing.empty()) printLine(stderr, "ferryctl: " + missing);
    return missing.empty();
  };
  const AgentEntryPoints& entryPoints = agent.entryPoints();
  switch (command.kind) {
    case CommandKind::kConnect:
      return runConnect(entryPoints, command.connect);
    case CommandKind::kError:
      return runError(entryPoints, command.errorCode);
    case CommandKind::kInfo:
      if (!require(EntryPointSet::kCatalogue)) return ExitCode::kAgentLibrary;
      return runInfo(entryPoints, command.connect);
    case CommandKind::kList:
      if (!require(EntryPointSet::kCatalogue)) return ExitCode::kAgentLibrary;
      return runList(entryPoints, command.connect, command.listProperties);
    case CommandKind::kExcluded:
      if (!require(EntryPointSet::kCatalogue)) return ExitCode::kAgentLibrary;
      return runExcluded(entryPoints, command.connect);
    case CommandKind::kBackup:
      if (!require(EntryPointSet::kBackup)) return ExitCode::kAgentLibrary;
      return runBackup(entryPoints, command.connect, command.backup);
    case CommandKind::kRestore:
      if (!require(EntryPointSet::kRestore)) return ExitCode::kAgentLibrary;
      if (command.restore.asOf && !require(EntryPointSet::kPointInTime)) {
        return ExitCode::kAgentLibrary;
      }
      return runRestore(entryPoints, command.connect, command.restore);
    case CommandKind::kVerify:
    case CommandKind::kRestoreList:
    case CommandKind::kHelp:
      break;
  }
  return ExitCode::kSuccess;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  ParseOutcome parsed = parseCommandLine(args);
  if (!parsed.command) {
    if (parsed.json) {
      startJsonReport(parsed.commandName);
      printLine(stderr, "ferryctl: " + parsed.error);
      return finish(ExitCode::kUsage);
    }
    std::fprintf(stderr, "ferryctl: %s\n\n%s", parsed.error.c_str(), usageText().c_str());
    return static_cast<int>(ExitCode::kUsage);
  }
  Command command = std::move(*parsed.command);
  if (command.kind == CommandKind::kHelp) {  // for people: the text, even with --json
    std::fputs(usageText().c_str(), stdout);
    return static_cast<int>(ExitCode::kSuccess);
  }
  if (command.json) startJsonReport(parsed.commandName);
  return finish(runCommand(command));
}
