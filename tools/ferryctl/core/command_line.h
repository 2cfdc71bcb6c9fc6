// The console's command line: what the user asked for, parsed into a command struct, and the
// usage text. The command table below is the one list of commands; the parser and the usage
// text are both driven by it, so a new command is added in one place.
//
// Conventions: platform-free; no exceptions; nothing here prints.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ferry::ctl {

enum class CommandKind {
  kHelp,     // --help: print the usage
  kConnect,  // connect INSTANCE ACCOUNT PASSWORD
  kError,    // error CODE
};

struct ConnectArguments {
  std::string instance;  // "user@CODE", passed to the agent as given
  std::string account;   // "user" or "domain\user"
  std::string password;  // never printed
};

struct Command {
  CommandKind kind = CommandKind::kHelp;
  // --agent PATH as given; empty: ferryman.dll beside the console program.
  std::string agentPath;
  ConnectArguments connect;
  uint32_t errorCode = 0;
};

struct CommandInfo {
  std::string_view name;
  CommandKind kind;
  std::string_view operands;  // as the usage shows them
  size_t operandCount;
  std::string_view summary;
};

inline constexpr CommandInfo kCommands[] = {
    {"connect", CommandKind::kConnect, "INSTANCE ACCOUNT PASSWORD", 3,
     "log ACCOUNT on to the agent for INSTANCE (e.g. ingres@II), then disconnect"},
    {"error", CommandKind::kError, "CODE", 1,
     "print the agent's text for result code CODE (decimal; 10000 + e is system error e)"},
};

// Either a command or, for a malformed command line, a one-line message saying what is wrong.
// The message never repeats a connect operand, since any of them may be the password.
struct ParseOutcome {
  std::optional<Command> command;
  std::string error;
};

// `args` are the arguments after the program name. No arguments at all is a usage error.
ParseOutcome parseCommandLine(std::span<const std::string_view> args);

// A result code as typed by the user: decimal digits only, 0 to 4294967295.
// The message names the text and what is wrong with it.
std::optional<uint32_t> parseResultCode(std::string_view text, std::string* error);

// The usage text, ending with a newline: synopsis of every command, options and exit codes.
std::string usageText();

}  // namespace ferry::ctl
