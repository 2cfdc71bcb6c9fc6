// The object names of the catalogue, classified back into their kind and database: one
// classifier for the backup, the restore and the catalogue, each with the rule it has always
// applied to the names it is given.
//
// Conventions:
// - Platform-free: no windows.h, no exceptions, no allocation.
// - Names come from the backup server: anything may arrive. A database name that is empty or
//   longer than 255 characters (the record's field) gives no kind, so that it is never cut.
#pragma once

#include <cstddef>
#include <string_view>

#include "core/object_types.h"

namespace ferry::agent {

// The names the catalogue hands out.
inline constexpr std::string_view kJournalObjectPrefix = "~JOURNAL OF DATABASE ";
inline constexpr std::string_view kDataSuffix = ".DATA";
inline constexpr std::string_view kConfigSuffix = ".~CONFIG";
// Longest database name an object name may carry (the connection record's dbName less its NUL).
inline constexpr size_t kMaxDatabaseName = 255;

// Whose rule applies:
// - Backup (DSABeginBackup): from the first '.' to the end exactly ".DATA" or ".~CONFIG" in any
//   case; else "~JOURNAL OF DATABASE", one separator and the database name.
// - Restore (DSABeginRestore): without a '.', the journal form; with one, the text from the first
//   '.' beginning with ".DATA", or with ".~CONF", in any case; else the journal form after the
//   last backslash.
// - Catalogue (DSAEnumObjects): the journal form first; else the text before the first '.', the
//   configuration and dump files when the text after it is exactly "~CONFIG", data otherwise
//   (also without a '.').
enum class NameRule { Backup, Restore, Catalogue };

struct ObjectName {
  ObjectType type = ObjectType::None;  // Data, Journal or Config; None: no known form
  std::string_view dbName;             // a view into the classified name
  // Restore: the name has a '.' but none of the dotted forms (reported as an unknown kind).
  bool dottedUnknown = false;
};

ObjectName classifyObjectName(std::string_view name, NameRule rule);

}  // namespace ferry::agent
