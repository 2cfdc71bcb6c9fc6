// Creating and removing simulated Ingres installations: the library behind ingsim.exe, linked
// directly by tests that need an installation of their own.
//
// Everything lands where a real installation keeps it: the folder tree under the root
// (II_SYSTEM), the registry key HKLM\SOFTWARE\Norvane\IngresII\<code>_Installation with its
// II_SYSTEM value, the service key HKLM\SYSTEM\CurrentControlSet\Services\Ingres_Database_<code>,
// <root>\ingres\bin on the machine environment's Path, version.rel, install.log, config.dat, the
// symbol table <root>\ingres\files\symbol.tbl, and the catalog.
//
// The catalog is one SQLite file per database: <root>\ingres\files\catalog\<db>.sdb. iidbdb's
// file holds iidatabase, iilocation_info and iiextend_info; every database's file holds its own
// iitables. CHAR(n) columns are stored blank-padded to n characters and compare with SQLite's
// RTRIM collation, as Ingres compares fixed-width text; location_area is variable-length.
//
// No function throws. Each returns an empty string on success, else a message that says what
// was wrong; nothing is left half-made where that can be avoided.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/installation_options.h"

namespace ingsim {

std::string createInstallation(const InstallationOptions& options);
std::string addDatabase(const std::string& code, const DatabaseOptions& options);
// Adds the next journal file of a journaled database, holding one timed record per time of
// `options` (core/journal_records.h), and counts it in the database's journal sequence.
// *report: the file, its sequence and each record's local time, one a line.
std::string addJournal(const std::string& code, const JournalOptions& options, std::string* report);
std::string addAccount(const Account& account);
std::string removeAccount(const std::string& name);
// Sets an installation variable in the symbol table (as ingsetenv does).
std::string setVariable(const std::string& code, const std::string& name, const std::string& value);
// Removes the folder tree, registry keys, Path entry and catalog of the installation.
std::string removeInstallation(const std::string& code);

// A readable report of a registered installation, as ingsim show prints it: root, code, major
// version, the owner lines of install.log and config.dat, each database (owner, journaling,
// checkpoint and journal sequences) with its data locations, journal and dump destinations and
// the files found in each, the installation variables, and the simulated accounts with their
// domains (never their passwords). *report is left empty on failure.
std::string describeInstallation(const std::string& code, std::string* report);

// Root folder of a registered installation ("" when none).
std::string installationRoot(const std::string& code);
// Full path of a database's catalog file (it need not exist).
std::string catalogPath(const std::string& root, const std::string& database);
// Full folder of a database inside a location area that is a folder:
// <area>\ingres\data\default\<db> (and jnl / dmp / ckp likewise).
std::string dataFolder(const std::string& area, const std::string& database);
std::string journalFolder(const std::string& area, const std::string& database);
std::string dumpFolder(const std::string& area, const std::string& database);
std::string checkpointFolder(const std::string& area, const std::string& database);

}  // namespace ingsim
