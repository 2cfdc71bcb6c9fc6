#include "core/command_line.h"

#include <limits>

#include "core/exit_code.h"

namespace ferry::ctl {
namespace {

const CommandInfo* findCommand(std::string_view name) {
  for (const CommandInfo& info : kCommands) {
    if (info.name == name) return &info;
  }
  return nullptr;
}

ParseOutcome failure(std::string message) { return ParseOutcome{std::nullopt, std::move(message)}; }

}  // namespace

std::optional<uint32_t> parseResultCode(std::string_view text, std::string* error) {
  const std::string quoted = "'" + std::string(text) + "'";
  if (text.empty()) {
    *error = "the result code is empty; give a decimal number";
    return std::nullopt;
  }
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      *error = "result code " + quoted + " is not a decimal number";
      return std::nullopt;
    }
    value = value * 10 + static_cast<uint64_t>(c - '0');
    // Checked at every digit so that a long run of digits cannot wrap the 64-bit value.
    if (value > std::numeric_limits<uint32_t>::max()) {
      *error = "result code " + quoted + " is out of range (0 to 4294967295)";
      return std::nullopt;
    }
  }
  return static_cast<uint32_t>(value);
}

ParseOutcome parseCommandLine(std::span<const std::string_view> args) {
  if (args.empty()) return failure("no command given");
  Command command;
  bool agentGiven = false;
  size_t at = 0;
  // Options come before the command: after it every argument is an operand, so that a password
  // that begins with '-' is taken as it is.
  for (; at < args.size() && args[at].starts_with("-"); ++at) {
    std::string_view option = args[at];
    if (option == "--help" || option == "-h") {
      command.kind = CommandKind::kHelp;
      return ParseOutcome{command, ""};
    }
    if (option == "--agent") {
      if (agentGiven) return failure("--agent is given more than once");
      if (at + 1 >= args.size() || args[at + 1].empty()) {
        return failure("--agent needs the path of the agent library");
      }
      command.agentPath = std::string(args[++at]);
      agentGiven = true;
      continue;
    }
    return failure("unknown option '" + std::string(option) + "'");
  }
  if (at >= args.size()) return failure("no command given");

  const CommandInfo* info = findCommand(args[at]);
  if (info == nullptr) return failure("unknown command '" + std::string(args[at]) + "'");
  std::span<const std::string_view> operands = args.subspan(at + 1);
  if (operands.size() != info->operandCount) {
    return failure(std::string(info->name) + " takes " + std::to_string(info->operandCount) +
                   (info->operandCount == 1 ? " argument" : " arguments") + " (" +
                   std::string(info->operands) + "), " + std::to_string(operands.size()) +
                   " given");
  }

  command.kind = info->kind;
  switch (info->kind) {
    case CommandKind::kConnect:
      command.connect = {std::string(operands[0]), std::string(operands[1]),
                         std::string(operands[2])};
      break;
    case CommandKind::kError: {
      std::string error;
      std::optional<uint32_t> code = parseResultCode(operands[0], &error);
      if (!code) return failure(error);
      command.errorCode = *code;
      break;
    }
    case CommandKind::kHelp:
      break;
  }
  return ParseOutcome{command, ""};
}

std::string usageText() {
  std::string text =
      "usage: ferryctl [--agent PATH] COMMAND [ARGUMENTS]\n"
      "       ferryctl --help\n"
      "\n"
      "commands:\n";
  for (const CommandInfo& info : kCommands) {
    text += "  " + std::string(info.name) + " " + std::string(info.operands) + "\n      " +
            std::string(info.summary) + "\n";
  }
  text +=
      "\n"
      "options:\n"
      "  --agent PATH  the agent library to load (default: ferryman.dll beside ferryctl.exe);\n"
      "                its folder must hold the agent's companion libraries\n"
      "  --help, -h    print this text\n"
      "\n"
      "exit codes:\n";
  for (ExitCode code : kAllExitCodes) {
    text += "  " + std::to_string(static_cast<int>(code)) + "  " +
            std::string(exitCodeMeaning(code)) + "\n";
  }
  return text;
}

}  // namespace ferry::ctl
