// Validation of the names the simulator accepts: installation codes, database, user, table and
// location names, and location areas.
#pragma once

#include <string>
#include <string_view>

namespace ingsim::core {

// 1 to 8 letters or digits.
std::string validateInstallationCode(std::string_view code);
// 1 to 32 characters: a lower-case letter, then lower-case letters, digits or '_'. Ingres folds
// database names to lower case; keeping them lower case also keeps an "E_" out of the report's
// error column.
std::string validateDatabaseName(std::string_view name);
// 1 to 32 printable characters without blanks, ',', ':', '(' or ')' (they delimit the name in
// the report and in config.dat).
std::string validateUserName(std::string_view name, std::string_view what);
// 1 to 32 printable characters without blanks.
std::string validateTableName(std::string_view name);

// A location area that is a folder: "\..." (UNC or rooted) or "X:\...". Anything else names an
// installation variable. This matches how the agent tells the two apart for data areas.
bool isFolderArea(std::string_view area);
// A folder path that is complete enough to be an installation root: "X:\..." or "\\server\...".
bool isFullPath(std::string_view path);
// Text without trailing backslashes (a drive root keeps its backslash: "C:\").
std::string withoutTrailingSeparator(std::string_view path);

}  // namespace ingsim::core
