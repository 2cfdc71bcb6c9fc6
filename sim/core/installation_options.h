// What a simulated installation, database and account are made of: the options that ingsim's
// command line fills (core/arguments.h) and that the installation library builds from
// (ingsim/installation.h). Platform-free.
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

// A journal record's time as `ingsim journal --at` takes it: seconds from now ("+90", "-30"),
// or a local time ("2026-01-05 10:00:00").
struct JournalTime {
  bool relative = true;
  int64_t secondsFromNow = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;  // month 1..12
};

// A journal file of timed records added to a journaled database (core/journal_records.h).
struct JournalOptions {
  std::string database;
  std::vector<JournalTime> times;  // one record each, in this order
  uint32_t recordSize = 512;       // bytes of each record's body
};

struct Account {
  std::string name;
  std::string password;
  std::string domain;  // empty: local account
};

}  // namespace ingsim
