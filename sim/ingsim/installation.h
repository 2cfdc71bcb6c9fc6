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

namespace ingsim {

struct InstallationOptions {
  std::string root;      // II_SYSTEM: the installation's root folder (full path)
  std::string code;      // installation code, e.g. "II": letters and digits, 1 to 8
  int majorVersion = 2;  // 2 or 3; written as the fourth character of version.rel
  // Version 3 installations name their owner in install.log ("USERNAME=<owner>") and/or in
  // config.dat privilege lines. Empty / none: no such line is written.
  std::string installLogOwner;
  std::vector<std::string> configDatUsers;  // each gets the four privileges
  std::string hostName;                     // for the config.dat keys; empty: this computer's name
  bool overwrite = false;  // replace an existing installation of the same code or root
  bool addToMachinePath = true;
};

struct SampleFile {
  std::string name;   // file name inside the location's database folder
  uint64_t size = 0;  // bytes; the content is a reproducible pattern
};

struct DataLocation {
  // Absolute folder path, or the name of an installation variable (set with setVariable) whose
  // value is the folder. Empty: the default data location ii_database (area = root).
  std::string area;
  std::vector<SampleFile> files;
};

struct DatabaseOptions {
  std::string name;  // database name, 1 to 32 characters
  std::string owner = "ingres";
  std::vector<DataLocation> locations;  // first entry is the database's root location; empty
                                        // means one default location with no sample files
  bool journaled = false;               // infodb reports it journaled; tables marked 'Y'
  // Journal files j0000001.jnl .. j<N>.jnl of journalFileSize bytes in the journal destination,
  // with the current journal sequence N (0: no journal files).
  int journalFiles = 0;
  uint64_t journalFileSize = 4096;
  int checkpointSequence = 0;  // reported by infodb
  // Dump destination: the configuration copy aaaaaaaa.cnf plus these dump files.
  std::vector<SampleFile> dumpFiles;
  uint64_t configFileSize = 8192;       // size of the configuration copy aaaaaaaa.cnf
  std::string journalArea;              // empty: ii_journal (area = root)
  std::string dumpArea;                 // empty: ii_dump (area = root)
  std::vector<std::string> userTables;  // rows of iitables (system_use 'U')
};

struct Account {
  std::string name;
  std::string password;
  std::string domain;  // empty: local account
};

std::string createInstallation(const InstallationOptions& options);
std::string addDatabase(const std::string& code, const DatabaseOptions& options);
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

// The reproducible content of sample file `name` at byte `offset` (tests compare with it).
unsigned char sampleByte(const std::string& name, uint64_t offset);

}  // namespace ingsim
