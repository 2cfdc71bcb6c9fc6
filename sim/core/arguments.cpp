#include "core/arguments.h"

#include <limits>

#include "core/ckp_arguments.h"

namespace ingsim::core {
namespace {

// Walks the arguments after the sub-command; every option but the flags takes one value.
class ArgumentCursor {
 public:
  ArgumentCursor(const std::vector<std::string>& args, size_t start) : args_(args), next_(start) {}
  bool done() const { return next_ >= args_.size(); }
  const std::string& take() { return args_[next_++]; }
  // The value of option `name`, or an error message in *error.
  bool value(const std::string& name, std::string* out, std::string* error) {
    if (done()) {
      *error = "option " + name + " needs a value";
      return false;
    }
    *out = take();
    return true;
  }

 private:
  const std::vector<std::string>& args_;
  size_t next_;
};

std::string parseCreate(ArgumentCursor& cursor, IngsimCommand* command) {
  InstallationOptions& options = command->installation;
  std::string error, value;
  while (!cursor.done()) {
    const std::string option = cursor.take();
    if (option == "--force") {
      options.overwrite = true;
    } else if (option == "--no-path") {
      options.addToMachinePath = false;
    } else if (option == "--code" || option == "--root" || option == "--version" ||
               option == "--owner" || option == "--config-user" || option == "--host") {
      if (!cursor.value(option, &value, &error)) return error;
      if (option == "--code") command->code = value;
      if (option == "--root") options.root = value;
      if (option == "--owner") options.installLogOwner = value;
      if (option == "--config-user") options.configDatUsers.push_back(value);
      if (option == "--host") options.hostName = value;
      if (option == "--version") {
        if (value != "2" && value != "3") return "--version must be 2 or 3, not '" + value + "'";
        options.majorVersion = value[0] - '0';
      }
    } else {
      return "unknown option '" + option + "' for create";
    }
  }
  if (command->code.empty()) return "create needs --code";
  if (options.root.empty()) return "create needs --root";
  options.code = command->code;
  return "";
}

std::string parseDatabase(ArgumentCursor& cursor, IngsimCommand* command) {
  DatabaseOptions& options = command->database;
  std::string error, value;
  while (!cursor.done()) {
    const std::string option = cursor.take();
    if (option == "--journaled") {
      options.journaled = true;
      continue;
    }
    if (!cursor.value(option, &value, &error)) {
      // An unknown flag reads better as unknown than as lacking a value.
      if (option.rfind("--", 0) != 0 || option.size() < 3)
        return "unexpected argument '" + option + "'";
      return error;
    }
    if (option == "--code") {
      command->code = value;
    } else if (option == "--name") {
      options.name = value;
    } else if (option == "--owner") {
      options.owner = value;
    } else if (option == "--location") {
      DataLocation location;
      if (value != kDefaultLocationWord) location.area = value;
      options.locations.push_back(location);
    } else if (option == "--file") {
      SampleFile file;
      if (!parseNamedSize(value, &file)) return "--file needs NAME:SIZE, not '" + value + "'";
      if (options.locations.empty()) options.locations.push_back(DataLocation{});
      options.locations.back().files.push_back(file);
    } else if (option == "--journals") {
      if (!parseCount(value, &options.journalFiles))
        return "--journals needs a count, not '" + value + "'";
    } else if (option == "--journal-size") {
      if (!parseSize(value, &options.journalFileSize))
        return "--journal-size needs a size, not '" + value + "'";
    } else if (option == "--checkpoint") {
      if (!parseCount(value, &options.checkpointSequence))
        return "--checkpoint needs a number, not '" + value + "'";
    } else if (option == "--journal-area") {
      options.journalArea = value;
    } else if (option == "--dump-area") {
      options.dumpArea = value;
    } else if (option == "--dump-file") {
      SampleFile file;
      if (!parseNamedSize(value, &file)) return "--dump-file needs NAME:SIZE, not '" + value + "'";
      options.dumpFiles.push_back(file);
    } else if (option == "--config-size") {
      if (!parseSize(value, &options.configFileSize))
        return "--config-size needs a size, not '" + value + "'";
    } else if (option == "--table") {
      options.userTables.push_back(value);
    } else {
      return "unknown option '" + option + "' for database";
    }
  }
  if (command->code.empty()) return "database needs --code";
  if (options.name.empty()) return "database needs --name";
  return "";
}

std::string parseJournal(ArgumentCursor& cursor, IngsimCommand* command) {
  JournalOptions& options = command->journal;
  std::string error, value;
  uint64_t recordSize = options.recordSize;
  while (!cursor.done()) {
    const std::string option = cursor.take();
    if (option != "--code" && option != "--name" && option != "--at" && option != "--record-size") {
      return "unknown option '" + option + "' for journal";
    }
    if (!cursor.value(option, &value, &error)) return error;
    if (option == "--code") {
      command->code = value;
    } else if (option == "--name") {
      options.database = value;
    } else if (option == "--at") {
      JournalTime time;
      if (!parseJournalTime(value, &time)) {
        return "--at needs +SECONDS, -SECONDS or \"YYYY-MM-DD HH:MM:SS\", not '" + value + "'";
      }
      options.times.push_back(time);
    } else if (!parseSize(value, &recordSize) || recordSize > (1u << 20)) {
      return "--record-size needs a size of at most 1M, not '" + value + "'";
    }
  }
  options.recordSize = static_cast<uint32_t>(recordSize);
  if (command->code.empty()) return "journal needs --code";
  if (options.database.empty()) return "journal needs --name";
  if (options.times.empty()) return "journal needs at least one --at";
  return "";
}

std::string parseCodeOnly(ArgumentCursor& cursor, IngsimCommand* command, const char* verb) {
  std::string error;
  while (!cursor.done()) {
    const std::string option = cursor.take();
    if (option != "--code") return "unknown option '" + option + "' for " + verb;
    if (!cursor.value(option, &command->code, &error)) return error;
  }
  if (command->code.empty()) return std::string(verb) + " needs --code";
  return "";
}

std::string parseSetEnv(ArgumentCursor& cursor, IngsimCommand* command) {
  std::vector<std::string> positional;
  std::string error;
  while (!cursor.done()) {
    const std::string argument = cursor.take();
    if (argument == "--code") {
      if (!cursor.value(argument, &command->code, &error)) return error;
    } else {
      positional.push_back(argument);
    }
  }
  if (command->code.empty()) return "setenv needs --code";
  if (positional.size() != 2) return "setenv needs a variable name and a value";
  command->variableName = positional[0];
  command->variableValue = positional[1];
  return "";
}

std::string parseAccount(ArgumentCursor& cursor, IngsimCommand* command) {
  if (cursor.done()) return "account needs 'add' or 'remove'";
  const std::string action = cursor.take();
  if (action == "add")
    command->kind = CommandKind::kAccountAdd;
  else if (action == "remove")
    command->kind = CommandKind::kAccountRemove;
  else
    return "account needs 'add' or 'remove', not '" + action + "'";
  bool passwordGiven = false;
  std::string error;
  while (!cursor.done()) {
    const std::string option = cursor.take();
    std::string* target = nullptr;
    if (option == "--name") target = &command->account.name;
    if (command->kind == CommandKind::kAccountAdd) {
      if (option == "--password") {
        target = &command->account.password;
        passwordGiven = true;
      }
      if (option == "--domain") target = &command->account.domain;
    }
    if (target == nullptr) return "unknown option '" + option + "' for account " + action;
    if (!cursor.value(option, target, &error)) return error;
  }
  if (command->account.name.empty()) return "account " + action + " needs --name";
  if (command->kind == CommandKind::kAccountAdd && !passwordGiven) {
    return "account add needs --password";
  }
  return "";
}

}  // namespace

bool parseCount(std::string_view text, int* value) {
  if (text.empty() || text.size() > 9) return false;
  int result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + (c - '0');
  }
  *value = result;
  return true;
}

bool parseJournalTime(std::string_view text, JournalTime* time) {
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    int seconds = 0;
    if (!parseCount(text.substr(1), &seconds)) return false;
    *time = JournalTime{};
    time->secondsFromNow = text[0] == '-' ? -int64_t{seconds} : int64_t{seconds};
    return true;
  }
  // YYYY-MM-DD HH:MM:SS, every field with its digits.
  if (text.size() != 19) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char expected = i == 4 || i == 7 ? '-' : i == 10 ? ' ' : i == 13 || i == 16 ? ':' : '0';
    if (expected == '0' ? (text[i] < '0' || text[i] > '9') : text[i] != expected) return false;
  }
  auto number = [&](size_t at, size_t digits) {
    int value = 0;
    for (size_t i = 0; i < digits; ++i) value = value * 10 + (text[at + i] - '0');
    return value;
  };
  EndTime local;
  local.year = number(0, 4);
  local.month = number(5, 2);
  local.day = number(8, 2);
  local.hour = number(11, 2);
  local.minute = number(14, 2);
  local.second = number(17, 2);
  if (!validCalendarTime(local)) return false;
  *time = JournalTime{false,     0,          local.year,   local.month,
                      local.day, local.hour, local.minute, local.second};
  return true;
}

bool parseSize(std::string_view text, uint64_t* size) {
  if (text.empty()) return false;
  uint64_t unit = 1;
  switch (text.back()) {
    case 'K':
    case 'k':
      unit = 1ull << 10;
      break;
    case 'M':
    case 'm':
      unit = 1ull << 20;
      break;
    case 'G':
    case 'g':
      unit = 1ull << 30;
      break;
    default:
      break;
  }
  if (unit != 1) text.remove_suffix(1);
  if (text.empty()) return false;
  uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (number > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
    number = number * 10 + digit;
  }
  if (number > std::numeric_limits<uint64_t>::max() / unit) return false;
  *size = number * unit;
  return true;
}

bool parseNamedSize(std::string_view text, SampleFile* file) {
  size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  uint64_t size = 0;
  if (!parseSize(text.substr(colon + 1), &size)) return false;
  file->name.assign(text.substr(0, colon));
  file->size = size;
  return true;
}

std::string parseIngsimCommand(const std::vector<std::string>& args, IngsimCommand* command) {
  *command = IngsimCommand{};
  if (args.empty()) return "no command given";
  const std::string& verb = args[0];
  ArgumentCursor cursor(args, 1);
  if (verb == "create") {
    command->kind = CommandKind::kCreate;
    return parseCreate(cursor, command);
  }
  if (verb == "database") {
    command->kind = CommandKind::kDatabase;
    return parseDatabase(cursor, command);
  }
  if (verb == "journal") {
    command->kind = CommandKind::kJournal;
    return parseJournal(cursor, command);
  }
  if (verb == "setenv") {
    command->kind = CommandKind::kSetEnv;
    return parseSetEnv(cursor, command);
  }
  if (verb == "account") return parseAccount(cursor, command);
  if (verb == "remove") {
    command->kind = CommandKind::kRemove;
    return parseCodeOnly(cursor, command, "remove");
  }
  if (verb == "root") {
    command->kind = CommandKind::kRoot;
    return parseCodeOnly(cursor, command, "root");
  }
  if (verb == "show") {
    command->kind = CommandKind::kShow;
    return parseCodeOnly(cursor, command, "show");
  }
  return "unknown command '" + verb + "'";
}

std::string ingsimUsage() {
  return "usage:\n"
         "  ingsim create   --code C --root PATH [--version 2|3] [--owner USER]\n"
         "                  [--config-user USER]... [--host NAME] [--force] [--no-path]\n"
         "  ingsim database --code C --name DB [--owner USER] [--journaled] [--checkpoint N]\n"
         "                  [--location AREA|ii_database [--file NAME:SIZE]...]...\n"
         "                  [--journals N] [--journal-size SIZE] [--journal-area AREA]\n"
         "                  [--dump-area AREA] [--dump-file NAME:SIZE]... [--config-size SIZE]\n"
         "                  [--table NAME]...\n"
         "  ingsim journal  --code C --name DB --at TIME [--at TIME]... [--record-size SIZE]\n"
         "  ingsim setenv   --code C NAME VALUE\n"
         "  ingsim account  add --name USER --password PASSWORD [--domain DOMAIN]\n"
         "  ingsim account  remove --name USER\n"
         "  ingsim remove   --code C\n"
         "  ingsim root     --code C\n"
         "  ingsim show     --code C\n"
         "SIZE is a byte count with an optional K, M or G suffix. TIME is +N or -N seconds\n"
         "from now, or a local time \"YYYY-MM-DD HH:MM:SS\".\n";
}

}  // namespace ingsim::core
