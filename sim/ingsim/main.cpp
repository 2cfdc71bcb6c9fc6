// ingsim.exe: creates and removes simulated Ingres installations, their databases and the
// simulated accounts. See sim/core/arguments.h for the command line.
#include <cstdio>
#include <string>
#include <vector>

#include "core/arguments.h"
#include "ingsim/installation.h"

namespace {

int fail(const std::string& message) {
  std::fprintf(stderr, "ingsim: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  ingsim::core::IngsimCommand command;
  std::string error = ingsim::core::parseIngsimCommand(args, &command);
  if (!error.empty()) {
    std::fprintf(stderr, "ingsim: %s\n%s", error.c_str(), ingsim::core::ingsimUsage().c_str());
    return 2;
  }
  using ingsim::core::CommandKind;
  switch (command.kind) {
    case CommandKind::kCreate:
      error = ingsim::createInstallation(command.installation);
      break;
    case CommandKind::kDatabase:
      error = ingsim::addDatabase(command.code, command.database);
      break;
    case CommandKind::kJournal: {
      std::string report;
      error = ingsim::addJournal(command.code, command.journal, &report);
      if (error.empty()) std::fputs(report.c_str(), stdout);
      break;
    }
    case CommandKind::kSetEnv:
      error = ingsim::setVariable(command.code, command.variableName, command.variableValue);
      break;
    case CommandKind::kAccountAdd:
      error = ingsim::addAccount(command.account);
      break;
    case CommandKind::kAccountRemove:
      error = ingsim::removeAccount(command.account.name);
      break;
    case CommandKind::kRemove:
      error = ingsim::removeInstallation(command.code);
      break;
    case CommandKind::kRoot: {
      std::string root = ingsim::installationRoot(command.code);
      if (root.empty()) return fail("installation " + command.code + " is not registered");
      std::printf("%s\n", root.c_str());
      return 0;
    }
    case CommandKind::kShow: {
      std::string report;
      error = ingsim::describeInstallation(command.code, &report);
      if (error.empty()) std::fputs(report.c_str(), stdout);
      break;
    }
  }
  if (!error.empty()) return fail(error);
  return 0;
}
