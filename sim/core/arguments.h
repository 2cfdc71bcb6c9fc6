// The command line of ingsim.exe, parsed into the options of core/installation_options.h.
//
//   ingsim create   --code C --root PATH [--version 2|3] [--owner USER] [--config-user USER]...
//                   [--host NAME] [--force] [--no-path]
//   ingsim database --code C --name DB [--owner USER] [--journaled] [--checkpoint N]
//                   [--location AREA [--file NAME:SIZE]...]...
//                   [--journals N] [--journal-size SIZE] [--journal-area AREA]
//                   [--dump-area AREA] [--dump-file NAME:SIZE]... [--config-size SIZE]
//                   [--table NAME]...
//   ingsim journal  --code C --name DB --at TIME [--at TIME]... [--record-size SIZE]
//   ingsim setenv   --code C NAME VALUE
//   ingsim account  add --name USER --password PASSWORD [--domain DOMAIN]
//   ingsim account  remove --name USER
//   ingsim remove   --code C
//   ingsim root     --code C
//   ingsim show     --code C
//
// A --file before any --location belongs to the database's root location. "--location
// ii_database" names the default data location. SIZE is a byte count with an optional K, M or G
// suffix (powers of 1024). TIME is "+N" or "-N" seconds from now, or a local time
// "YYYY-MM-DD HH:MM:SS"; the times of one journal file must not go back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/installation_options.h"

namespace ingsim::core {

enum class CommandKind {
  kCreate,
  kDatabase,
  kJournal,
  kSetEnv,
  kAccountAdd,
  kAccountRemove,
  kRemove,
  kRoot,
  kShow
};

struct IngsimCommand {
  CommandKind kind = CommandKind::kCreate;
  std::string code;  // every kind but the account ones
  InstallationOptions installation;
  DatabaseOptions database;
  JournalOptions journal;
  Account account;
  std::string variableName;
  std::string variableValue;
};

// The location name that stands for the default data location on the command line.
inline constexpr const char* kDefaultLocationWord = "ii_database";

// "" and *command filled, or a message naming the offending argument.
std::string parseIngsimCommand(const std::vector<std::string>& args, IngsimCommand* command);
std::string ingsimUsage();

// "4096", "64K", "3M", "1G": false for anything else or on overflow.
bool parseSize(std::string_view text, uint64_t* size);
// "NAME:SIZE" (split at the last ':').
bool parseNamedSize(std::string_view text, SampleFile* file);
// A non-negative decimal integer that fits an int.
bool parseCount(std::string_view text, int* value);
// "+N" / "-N" (N up to 9 digits) or "YYYY-MM-DD HH:MM:SS" (a valid date from 1970 on).
bool parseJournalTime(std::string_view text, JournalTime* time);

}  // namespace ingsim::core
