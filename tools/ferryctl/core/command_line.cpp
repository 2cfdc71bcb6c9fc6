#include "core/command_line.h"

#include <limits>

#include "core/backup_plan.h"
#include "core/exit_code.h"

namespace ferry::ctl {
namespace {

const CommandInfo* findCommand(std::string_view name, CommandKind kind) {
  for (const CommandInfo& info : kCommands) {
    if (info.name == name && info.kind == kind) return &info;
  }
  return nullptr;
}

bool knownCommandName(std::string_view name) {
  for (const CommandInfo& info : kCommands) {
    if (info.name == name) return true;
  }
  return false;
}

ParseOutcome failure(std::string message) { return ParseOutcome{std::nullopt, std::move(message)}; }

std::string countText(size_t count) {
  return std::to_string(count) + (count == 1 ? " argument" : " arguments");
}

// Said with every count that does not match, for a command line of the form that took the
// password as an operand.
constexpr std::string_view kPasswordHint =
    "; the password is not an argument (--password-file PATH, FERRYCTL_PASSWORD or the prompt)";

// "<name> takes N arguments (OPERANDS), M given", never showing an operand.
std::string countMismatch(const CommandInfo& info, size_t given) {
  std::string message = std::string(info.name) + " takes " + countText(info.operandCount) + " (" +
                        std::string(info.operands) + "), " + std::to_string(given) + " given";
  if (commandConnects(info.kind) && given > info.operandCount) message += kPasswordHint;
  return message;
}

// The fixed operands are there: "" or the message (which never shows an operand).
std::string needOperands(const CommandInfo& info, size_t given) {
  if (given >= info.operandCount) return "";
  return countMismatch(info, given);
}

ConnectArguments connectArguments(std::span<const std::string_view> operands) {
  return {std::string(operands[0]), std::string(operands[1]), std::string()};
}

const std::string kTimeForm = "of the form \"YYYY-MM-DD HH:MM:SS\"";

// A console option given after the command: "" or the message that says where it goes.
std::string misplacedConsoleOption(std::span<const std::string_view> args) {
  for (std::string_view arg : args) {
    if (arg == "--") break;
    if (arg == "--json" || arg == "--agent" || arg == "--password-file") {
      return std::string(arg) + " is an option of the console: it goes before the command";
    }
  }
  return "";
}

// What follows a command's fixed operands: its options and its free operands (object names).
struct Trailing {
  bool properties = false;
  bool remote = false;
  std::optional<std::string> database;
  std::optional<uint32_t> optionBits;
  std::optional<LocalTime> asOf;
  std::vector<std::string> operands;
};

// `allowed` lists the options the command takes ("--properties", "--database", "--option-bits",
// "--remote", "--as-of").
ParseOutcome parseTrailing(std::string_view command, std::span<const std::string_view> args,
                           std::initializer_list<std::string_view> allowed, Trailing* out) {
  auto takes = [&](std::string_view option) {
    for (std::string_view name : allowed) {
      if (name == option) return true;
    }
    return false;
  };
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || !arg.starts_with("-")) {
      out->operands.emplace_back(arg);
      continue;
    }
    if (!takes(arg)) {
      if (std::string misplaced = misplacedConsoleOption(args.subspan(i, 1)); !misplaced.empty()) {
        return failure(misplaced);
      }
      return failure(std::string(command) + " does not take the option '" + std::string(arg) + "'");
    }
    if (arg == "--properties") {
      if (out->properties) return failure("--properties is given more than once");
      out->properties = true;
      continue;
    }
    if (arg == "--remote") {
      if (out->remote) return failure("--remote is given more than once");
      out->remote = true;
      continue;
    }
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      return failure(std::string(arg) + (arg == "--database" ? " needs a database name"
                                         : arg == "--as-of"  ? " needs a local time " + kTimeForm
                                                             : " needs a hexadecimal value"));
    }
    std::string_view value = args[++i];
    if (arg == "--database") {
      if (out->database) return failure("--database is given more than once");
      out->database = std::string(value);
    } else if (arg == "--as-of") {
      if (out->asOf) return failure("--as-of is given more than once");
      out->asOf = parseLocalTime(value);
      if (!out->asOf) {
        return failure("--as-of '" + std::string(value) + "' is not a local time " + kTimeForm);
      }
    } else {
      if (out->optionBits) return failure("--option-bits is given more than once");
      std::string error;
      out->optionBits = parseOptionBits(value, &error);
      if (!out->optionBits) return failure(error);
    }
  }
  return ParseOutcome{Command{}, ""};
}

ParseOutcome parseBackup(const CommandInfo& info, std::span<const std::string_view> operands,
                         Command command) {
  Trailing trailing;
  ParseOutcome parsed = parseTrailing(info.name, operands.subspan(info.operandCount),
                                      {"--database", "--option-bits", "--remote"}, &trailing);
  if (!parsed.command) return parsed;
  command.connect = connectArguments(operands);
  command.backup.archivePath = std::string(operands[2]);
  if (command.backup.archivePath.empty()) return failure("the archive path is empty");
  command.backup.optionBits = trailing.optionBits.value_or(0);
  // Bit 0x4 is the remote pipe whichever way it is asked for: the console must then read it.
  command.backup.remote = trailing.remote || (command.backup.optionBits & kRemoteOptionBit) != 0;
  if (command.backup.remote) command.backup.optionBits |= kRemoteOptionBit;
  if (trailing.database) {
    if (!trailing.operands.empty()) {
      return failure("backup takes either --database DB or object names, not both");
    }
    std::string error;
    if (!validDatabaseName(*trailing.database, &error)) return failure(error);
    command.backup.database = *trailing.database;
  } else {
    if (trailing.operands.empty()) {
      return failure("backup needs --database DB or at least one object name");
    }
    std::string error;
    if (!planBackup(trailing.operands, &error)) return failure(error);
    command.backup.objects = std::move(trailing.operands);
  }
  return ParseOutcome{command, ""};
}

// The console's options, which come before the command: after it the fixed operands are taken
// as they are, so that an account or archive name that begins with '-' is taken as it is.
// "" and *at the index of the command (*help for --help), or the message.
std::string parseConsoleOptions(std::span<const std::string_view> args, Command* command,
                                size_t* at, bool* help) {
  bool agentGiven = false;
  for (*at = 0; *at < args.size() && args[*at].starts_with("-"); ++*at) {
    std::string_view option = args[*at];
    if (option == "--help" || option == "-h") {
      *help = true;
      return "";
    }
    if (option == "--json") {
      if (command->json) return "--json is given more than once";
      command->json = true;
      continue;
    }
    const bool hasValue = *at + 1 < args.size() && !args[*at + 1].empty();
    if (option == "--agent") {
      if (agentGiven) return "--agent is given more than once";
      if (!hasValue) return "--agent needs the path of the agent library";
      command->agentPath = std::string(args[++*at]);
      agentGiven = true;
      continue;
    }
    if (option == "--password-file") {
      if (!command->passwordFile.empty()) return "--password-file is given more than once";
      if (!hasValue) return "--password-file needs the path of the file that holds the password";
      command->passwordFile = std::string(args[++*at]);
      continue;
    }
    return "unknown option '" + std::string(option) + "'";
  }
  return "";
}

ParseOutcome parseRestoreList(std::span<const std::string_view> operands, Command command) {
  if (operands.size() != 2 || operands[1].empty()) {
    return failure("restore --list takes the archive path alone");
  }
  command.kind = CommandKind::kRestoreList;
  command.restore.archivePath = std::string(operands[1]);
  return ParseOutcome{command, ""};
}

ParseOutcome parseRestore(std::span<const std::string_view> operands, Command command) {
  const CommandInfo& info = *findCommand("restore", CommandKind::kRestore);
  if (std::string message = needOperands(info, operands.size()); !message.empty()) {
    return failure(message);
  }
  Trailing trailing;
  ParseOutcome parsed = parseTrailing(info.name, operands.subspan(info.operandCount),
                                      {"--option-bits", "--remote", "--as-of"}, &trailing);
  if (!parsed.command) return parsed;
  if (!trailing.operands.empty()) {
    return failure(countMismatch(info, info.operandCount + trailing.operands.size()));
  }
  command.kind = info.kind;
  command.restore.archivePath = std::string(operands[0]);
  if (command.restore.archivePath.empty()) return failure("the archive path is empty");
  command.connect = connectArguments(operands.subspan(1));
  command.restore.optionBits = trailing.optionBits.value_or(0);
  command.restore.remote = trailing.remote || (command.restore.optionBits & kRemoteOptionBit) != 0;
  if (command.restore.remote) command.restore.optionBits |= kRemoteOptionBit;
  command.restore.asOf = trailing.asOf;
  if (command.restore.asOf) command.restore.optionBits |= kPointInTimeOptionBit;
  return ParseOutcome{command, ""};
}

ParseOutcome parseList(const CommandInfo& info, std::span<const std::string_view> operands,
                       Command command) {
  Trailing trailing;
  ParseOutcome parsed =
      parseTrailing(info.name, operands.subspan(info.operandCount), {"--properties"}, &trailing);
  if (!parsed.command) return parsed;
  if (!trailing.operands.empty()) {
    return failure(countMismatch(info, info.operandCount + trailing.operands.size()));
  }
  command.connect = connectArguments(operands);
  command.listProperties = trailing.properties;
  return ParseOutcome{command, ""};
}

// connect, info, excluded, error and verify: their fixed operands and nothing else.
ParseOutcome parseFixedOperands(const CommandInfo& info, std::span<const std::string_view> operands,
                                Command command) {
  if (operands.size() != info.operandCount) {
    std::string misplaced = misplacedConsoleOption(operands.subspan(info.operandCount));
    return failure(!misplaced.empty() ? misplaced : countMismatch(info, operands.size()));
  }
  if (info.kind == CommandKind::kVerify) {
    if (operands[0].empty()) return failure("the archive path is empty");
    command.restore.archivePath = std::string(operands[0]);
  } else if (info.kind == CommandKind::kError) {
    std::string error;
    std::optional<uint32_t> code = parseResultCode(operands[0], &error);
    if (!code) return failure(error);
    command.errorCode = *code;
  } else if (commandConnects(info.kind)) {
    command.connect = connectArguments(operands);
  }
  return ParseOutcome{command, ""};
}

// The command and its operands, after the console's options (which end at `at`).
ParseOutcome parseCommand(std::span<const std::string_view> args, size_t at, bool help,
                          Command command) {
  if (help) {
    command.kind = CommandKind::kHelp;
    return ParseOutcome{command, ""};
  }
  if (at >= args.size()) return failure("no command given");

  std::string_view name = args[at];
  if (!knownCommandName(name)) return failure("unknown command '" + std::string(name) + "'");
  std::span<const std::string_view> operands = args.subspan(at + 1);
  if (name == "restore") {
    if (!operands.empty() && operands[0] == "--list") {
      return parseRestoreList(operands, std::move(command));
    }
    return parseRestore(operands, std::move(command));
  }

  const CommandInfo* info = nullptr;
  for (const CommandInfo& candidate : kCommands) {
    if (candidate.name == name) info = &candidate;
  }
  if (std::string message = needOperands(*info, operands.size()); !message.empty()) {
    return failure(message);
  }
  command.kind = info->kind;
  switch (info->kind) {
    case CommandKind::kBackup:
      return parseBackup(*info, operands, std::move(command));
    case CommandKind::kList:
      return parseList(*info, operands, std::move(command));
    default:
      return parseFixedOperands(*info, operands, std::move(command));
  }
}

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

std::optional<uint32_t> parseOptionBits(std::string_view text, std::string* error) {
  const std::string quoted = "'" + std::string(text) + "'";
  std::string_view digits = text;
  if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
  if (digits.empty() || digits.size() > 8) {
    *error = "option bits " + quoted + " are not 1 to 8 hexadecimal digits";
    return std::nullopt;
  }
  uint32_t value = 0;
  for (char c : digits) {
    uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      *error = "option bits " + quoted + " are not a hexadecimal number";
      return std::nullopt;
    }
    value = value << 4 | digit;
  }
  return value;
}

ParseOutcome parseCommandLine(std::span<const std::string_view> args) {
  if (args.empty()) return failure("no command given");
  Command command;
  size_t at = 0;
  bool help = false;
  std::string error = parseConsoleOptions(args, &command, &at, &help);
  ParseOutcome outcome = !error.empty() ? failure(error) : parseCommand(args, at, help, command);
  outcome.json = command.json;
  if (outcome.command) {
    outcome.commandName = std::string(commandName(outcome.command->kind));
  } else if (error.empty() && at < args.size() && knownCommandName(args[at])) {
    outcome.commandName = std::string(args[at]);
  }
  return outcome;
}

bool commandConnects(CommandKind kind) {
  switch (kind) {
    case CommandKind::kConnect:
    case CommandKind::kInfo:
    case CommandKind::kList:
    case CommandKind::kExcluded:
    case CommandKind::kBackup:
    case CommandKind::kRestore:
      return true;
    case CommandKind::kHelp:
    case CommandKind::kError:
    case CommandKind::kRestoreList:
    case CommandKind::kVerify:
      break;
  }
  return false;
}

std::string_view commandName(CommandKind kind) {
  if (kind == CommandKind::kRestoreList) return "verify";
  for (const CommandInfo& info : kCommands) {
    if (info.kind == kind) return info.name;
  }
  return kind == CommandKind::kHelp ? "help" : "";
}

std::string usageText() {
  std::string text =
      "usage: ferryctl [--agent PATH] [--password-file PATH] [--json] COMMAND [ARGUMENTS]\n"
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
      "  --password-file PATH\n"
      "                the account's password is the first line of this file\n"
      "  --json        print one JSON document on standard output: the result, or the failure\n"
      "                with its code and text, and every message (info, list, excluded,\n"
      "                backup, restore, verify, connect, error); the exit codes stay\n"
      "  --help, -h    print this text\n"
      "\n"
      "password: never an argument. It is the first line of the --password-file file, else the\n"
      "  value of the environment variable FERRYCTL_PASSWORD, else asked for on the console\n"
      "  without echo (read as one line from standard input when that is no console).\n"
      "\n"
      "object names: DB.DATA (database data), DB.~CONFIG (configuration and dump files),\n"
      "  \"~JOURNAL OF DATABASE DB\" (journal files). --option-bits: hexadecimal, e.g. 0x10 to\n"
      "  delete the delivered journals at the end of a journal backup. Progress goes to\n"
      "  standard error when it is a terminal.\n"
      "\n"
      "--remote (backup, restore): the data travel through the agent's remote pipe, which the\n"
      "  console opens as a client from a thread of its own, as a backup server's media side\n"
      "  would; the archive is the same as without it.\n"
      "\n"
      "--as-of \"YYYY-MM-DD HH:MM:SS\" (restore): the roll forward of the database data ends at\n"
      "  that local time, so that journal records written after it are not applied (option bit\n"
      "  0x800 and DSASetRestorePointInTime). A time before the archive's checkpoint (taken when\n"
      "  its backup began) is refused before anything is restored.\n"
      "\n"
      "exit codes:\n";
  for (ExitCode code : kAllExitCodes) {
    text += "  " + std::to_string(static_cast<int>(code)) + "  " +
            std::string(exitCodeMeaning(code)) + "\n";
  }
  return text;
}

}  // namespace ferry::ctl
