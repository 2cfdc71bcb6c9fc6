// The console's command line: what the user asked for, parsed into a command struct, and the
// usage text. The command table below is the one list of commands; the parser and the usage
// text are both driven by it, so a new command is added in one place.
//
// Rules every command shares: options of the console (--agent, --password-file, --json) come
// before the command; a command's fixed operands (INSTANCE ACCOUNT, ARCHIVE, ...) are taken as
// they are, even when they begin with '-'; the command's own options and its list of objects
// follow the fixed operands, and "--" ends the options. The password is never an operand, so that
// it never stands on a command line that other users can read: it comes from the file
// --password-file names, from the environment variable FERRYCTL_PASSWORD, or from a prompt
// (password_source.h).
//
// Conventions: platform-free; no exceptions; nothing here prints.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/point_in_time.h"

namespace ferry::ctl {

enum class CommandKind {
  kHelp,         // --help: print the usage
  kConnect,      // connect INSTANCE ACCOUNT
  kError,        // error CODE
  kInfo,         // info INSTANCE ACCOUNT
  kList,         // list INSTANCE ACCOUNT [--properties]
  kExcluded,     // excluded INSTANCE ACCOUNT
  kBackup,       // backup INSTANCE ACCOUNT ARCHIVE (--database DB | OBJECT...)
  kRestore,      // restore ARCHIVE INSTANCE ACCOUNT [--option-bits HEX]
  kRestoreList,  // restore --list ARCHIVE (what verify does, under its older name)
  kVerify,       // verify ARCHIVE
};

struct ConnectArguments {
  std::string instance;  // "user@CODE", passed to the agent as given
  std::string account;   // "user" or "domain\user"
  std::string password;  // never printed; filled after parsing (password_source.h)
};

// The option bit of DSABeginBackup and DSABeginRestore that streams through the remote pipe.
inline constexpr uint32_t kRemoteOptionBit = 0x4;
// The restore option bit that ends the data's roll forward at DSASetRestorePointInTime's time.
inline constexpr uint32_t kPointInTimeOptionBit = 0x800;

struct BackupArguments {
  std::string archivePath;
  std::string database;              // --database DB; empty when objects are named
  std::vector<std::string> objects;  // as named, each a valid object name (see backup_plan.h)
  uint32_t optionBits = 0;           // --option-bits HEX, passed to DSABeginBackup
  bool remote = false;  // --remote (or option bit 0x4): the data come through the remote pipe
};

struct RestoreArguments {
  std::string archivePath;
  uint32_t optionBits = 0;  // --option-bits HEX, passed to DSABeginRestore
  bool remote = false;      // --remote (or option bit 0x4): the data go through the remote pipe
  // --as-of "YYYY-MM-DD HH:MM:SS" (sets option bit 0x800): the local time at which the data's
  // roll forward ends; checked against the archive before anything is restored.
  std::optional<LocalTime> asOf;
};

struct Command {
  CommandKind kind = CommandKind::kHelp;
  // --agent PATH as given; empty: ferryman.dll beside the console program.
  std::string agentPath;
  // --password-file PATH as given; empty: FERRYCTL_PASSWORD or the prompt.
  std::string passwordFile;
  // --json: the command prints one JSON document on standard output, failures included.
  bool json = false;
  ConnectArguments connect;
  uint32_t errorCode = 0;
  bool listProperties = false;  // list --properties
  BackupArguments backup;
  RestoreArguments restore;
};

struct CommandInfo {
  std::string_view name;
  CommandKind kind;
  std::string_view operands;  // as the usage shows them: the fixed operands first
  size_t operandCount;        // fixed operands
  std::string_view summary;
};

inline constexpr CommandInfo kCommands[] = {
    {"connect", CommandKind::kConnect, "INSTANCE ACCOUNT", 2,
     "log ACCOUNT on to the agent for INSTANCE (e.g. ingres@II), then disconnect"},
    {"error", CommandKind::kError, "CODE", 1,
     "print the agent's text for result code CODE (decimal; 10000 + e is system error e)"},
    {"info", CommandKind::kInfo, "INSTANCE ACCOUNT", 2,
     "print the agent's information record (vendor, build, versions, library date)"},
    {"list", CommandKind::kList, "INSTANCE ACCOUNT [--properties]", 2,
     "list the objects the agent offers with their sizes; --properties adds each property sheet"},
    {"excluded", CommandKind::kExcluded, "INSTANCE ACCOUNT", 2,
     "list the directories the agent covers (a file-level backup leaves them out)"},
    {"backup", CommandKind::kBackup,
     "INSTANCE ACCOUNT ARCHIVE (--database DB | OBJECT...) [--option-bits HEX] [--remote]", 3,
     "back the objects up into the archive file ARCHIVE: the named ones, or all objects of DB;\n"
     "      the objects of one database go on one connection, data, configuration, journals;\n"
     "      --remote takes the data from the agent's remote pipe, as a media server would"},
    {"restore", CommandKind::kRestore,
     "ARCHIVE INSTANCE ACCOUNT [--option-bits HEX] [--remote] [--as-of \"YYYY-MM-DD HH:MM:SS\"]", 3,
     "replay the archive through the agent (journals and configuration before data, each\n"
     "      object on a connection of its own), then check every restored file's SHA-256;\n"
     "      --remote gives each file's data on the agent's remote pipe, as a media server would;\n"
     "      --as-of ends the data's roll forward at that local time (not before the archive's\n"
     "      checkpoint): journal records written after it are not applied"},
    {"verify", CommandKind::kVerify, "ARCHIVE", 1,
     "check the archive (every length and SHA-256) and show the objects and files it holds;\n"
     "      needs no agent"},
    {"restore", CommandKind::kRestoreList, "--list ARCHIVE", 1, "the same as verify ARCHIVE"},
};

// Either a command or, for a malformed command line, a one-line message saying what is wrong.
// The message never repeats a connect operand: a password typed there out of habit stays
// unshown.
struct ParseOutcome {
  std::optional<Command> command;
  std::string error;
  // Also for a malformed command line: --json was given before the command, and the command's
  // name as commandName() gives it ("" when no known command was named).
  bool json = false;
  std::string commandName;
};

// `args` are the arguments after the program name. No arguments at all is a usage error.
ParseOutcome parseCommandLine(std::span<const std::string_view> args);

// Whether the command connects to the agent, and so needs the account's password.
bool commandConnects(CommandKind kind);

// The command's name in a JSON document: its word, "verify" for restore --list too.
std::string_view commandName(CommandKind kind);

// A result code as typed by the user: decimal digits only, 0 to 4294967295.
// The message names the text and what is wrong with it.
std::optional<uint32_t> parseResultCode(std::string_view text, std::string* error);

// Option bits as typed by the user: hexadecimal, with or without "0x", 1 to 8 digits.
std::optional<uint32_t> parseOptionBits(std::string_view text, std::string* error);

// The usage text, ending with a newline: synopsis of every command, options and exit codes.
std::string usageText();

}  // namespace ferry::ctl
