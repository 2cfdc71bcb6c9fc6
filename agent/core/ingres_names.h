// Ingres' own rules for the names the backup server hands the agent: database names and
// installation codes. They are checked when they enter, before any of them becomes part of a
// path, a pipe name, a registry key or a utility's command line, so that a name such as
// "\..\x" never reaches one.
//
// Conventions: platform-free (no windows.h); no exceptions, no allocation; only ASCII counts as
// a letter or digit, as in Ingres' regular identifiers.
#pragma once

#include <cstddef>
#include <string_view>

#include "core/object_names.h"

namespace ferry::agent {

// Ingres keeps database names to 32 bytes.
inline constexpr size_t kIngresDatabaseNameMax = 32;

// A database name as createdb accepts it: 1 to 32 characters, the first a letter, the others
// letters, digits, '_', '#', '@' or '$'. Either case (Ingres folds regular names).
bool isIngresDatabaseName(std::string_view name);

// An installation code: two characters, a letter and then a letter or a digit ("II", "A2").
bool isInstallationCode(std::string_view code);

// The installation code as Ingres writes it, upper case ("hp" gives "HP"), in place of the
// NUL-terminated `code`; characters other than ASCII letters stay as they are. Windows finds
// Ingres' keys and services whatever the case, but kernel object names (the run lock) are
// compared exactly: every name the agent builds from the code takes this one spelling, so that
// "hp" and "HP" can never be two installations.
void spellInstallationCode(char* code);

// False when `objectName`, classified under `rule`, carries a database name that breaks Ingres'
// rules. A name of no known form carries none and is left to the caller's own handling.
bool objectDatabaseNameAllowed(std::string_view objectName, NameRule rule);

}  // namespace ferry::agent
