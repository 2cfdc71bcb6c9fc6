// The report of the simulated infodb: per database a header block, the journal, dump and
// checkpoint sections and the extent directory, laid out as Ingres lays out its infodb report.
//
// Readers depend on these lines character for character:
//   "    Database : (<name>,<owner>)..."            the name runs up to the ','
//   "               The Database is Journaled."    only for journaled databases
//   "----Journal information..."                   followed by
//   "    Checkpoint sequence : %10d    Journal sequence : %17d"
// and on failures being either a line that begins "ERROR" or an Ingres message whose message id
// ("E_...") starts in column 26 (counted from 1), after the 24-character timestamp and a blank.
// No other line of a report may begin with "ERROR" or carry "E_" in columns 26 and 27.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace ingsim::core {

inline constexpr const char* kJournalSectionTitle = "----Journal information";
inline constexpr const char* kJournaledLine = "               The Database is Journaled.";

struct ExtentFacts {
  std::string location;  // location name
  std::string usage;     // "ROOT,DATA", "DATA", "JOURNAL", "DUMP", "CHECKPOINT", "WORK"
  std::string path;      // physical folder of the database in that location
};

struct DatabaseFacts {
  std::string name;
  std::string owner;
  int id = 0;
  bool journaled = false;
  int checkpointSequence = 0;
  int journalSequence = 0;
  std::vector<ExtentFacts> extents;
};

// "    Checkpoint sequence : %10d    Journal sequence : %17d".
std::string journalSequenceLine(int checkpointSequence, int journalSequence);
// "    Database : (<name>,<owner>)  ID : 0x%08X  Default collation : udefault".
std::string databaseLine(const std::string& name, const std::string& owner, int id);

// The report block of one database, every line ending in '\n'.
std::string databaseReport(const DatabaseFacts& facts);

// An Ingres message line: the time as "%a %b %d %H:%M:%S %Y" (24 characters), a blank, the
// message id (which so starts in column 26), a blank and the text.
std::string ingresMessageLine(const std::tm& when, const std::string& messageId,
                              const std::string& text);

// True for a line that a reader of the report takes for a failure.
bool isFailureLine(const std::string& line);

}  // namespace ingsim::core
