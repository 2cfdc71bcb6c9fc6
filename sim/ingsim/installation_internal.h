// What the parts of ingsim_lib share beyond the public contract in installation.h.
#pragma once

#include <string>
#include <vector>

#include "core/symbol_table.h"

namespace ingsim {

inline constexpr const char* kInstallationKeyFormat =
    "SOFTWARE\\Norvane\\IngresII\\%s_Installation";
inline constexpr const char* kServiceKeyFormat =
    "SYSTEM\\CurrentControlSet\\Services\\Ingres_Database_%s";
inline constexpr const char* kAccountsKey = "SOFTWARE\\Norvane\\IngresSim\\Accounts";

// The five locations every installation has, all with the root as their area.
inline constexpr const char* kDatabaseLocation = "ii_database";
inline constexpr const char* kJournalLocation = "ii_journal";
inline constexpr const char* kCheckpointLocation = "ii_checkpoint";
inline constexpr const char* kDumpLocation = "ii_dump";
inline constexpr const char* kWorkLocation = "ii_work";

std::string installationKeyName(const std::string& code);
std::string serviceKeyName(const std::string& code);

// The folder a location area stands for: the area itself when it is a folder, else the value of
// the installation variable it names ("" when that variable is not set).
std::string areaFolder(const core::SymbolTable& symbols, const std::string& area);
// The database's folder in a data location: <folder>\ingres\data\default\<db>, or, for an area
// that names an unset variable, <II_DATABASE>\ingres\data\<area>\<db> (the agent's rule); ""
// when neither can be formed.
std::string dataLocationFolder(const core::SymbolTable& symbols, const std::string& area,
                               const std::string& database);

// The database's folders that a removal must delete outside the root: one per location area
// that is not the root, for every database of the catalog.
std::vector<std::string> databaseFoldersOutsideRoot(const std::string& root);

// The simulated utilities that an installation carries in <root>\ingres\bin, copied from beside
// the running program when they are there.
extern const char* const kInstalledPrograms[];

}  // namespace ingsim
