// The simulated Ingres catalog: table definitions shared by ingsim (which fills it) and the
// embedded-SQL runtime (which queries it). One SQLite file per database,
// <II_SYSTEM>\ingres\files\catalog\<db>.sdb; iidbdb's file also holds the installation-wide
// tables. CHAR(n) columns are stored blank-padded to n and compare with the RTRIM collation, the
// way Ingres compares fixed-width text; location_area is variable-length text.
#pragma once

#include <string>

namespace ingsim {

// Folder of the catalog files below the installation root, and the file of one database.
inline constexpr const char* kCatalogFolder = "\\ingres\\files\\catalog";
inline constexpr const char* kCatalogExtension = ".sdb";

// DDL of the installation-wide tables, run once on iidbdb's file: iidatabase, iilocation_info,
// iiextend_info, and the simulator's own per-database state (sequences that infodb reports,
// ckpdb advances).
extern const char* const kMasterCatalogSchema;
// DDL of the tables every database has, iidbdb included: iitables.
extern const char* const kDatabaseCatalogSchema;

// Pads `text` with blanks to `width` characters, as a CHAR(width) column holds it. Longer text is
// returned unchanged (callers validate lengths first).
std::string padded(const std::string& text, size_t width);

}  // namespace ingsim
