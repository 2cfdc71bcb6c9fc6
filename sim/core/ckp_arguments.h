// The command lines of the simulated checkpoint and roll-forward utilities:
//
//   ckpdb <db> [-v] [-d]
//   rollforwarddb <db> [#c[<n>]] [-v] [-e<time>] [-j | +j]
//
// Flags may stand anywhere after the program name; anything else is refused, so that a caller
// that builds a wrong command line hears of it at once. The end time has the form the agent
// formats, "%d-%b-%Y:%H:%M:%S" (e.g. 08-Dec-2026:16:20:02; the day may have one digit, the month
// is an English abbreviation in any letter case).
#pragma once

#include <string>
#include <vector>

namespace ingsim::core {

enum class CkpProgram { kCheckpoint, kRollForward };

struct EndTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;  // month 1..12
};

struct CkpArguments {
  std::string database;
  bool verbose = false;          // -v
  bool purgeEarlier = false;     // -d (checkpoint)
  bool checkpointGiven = false;  // #c (roll-forward)
  int checkpoint = 0;            // the number after #c; 0: the database's latest checkpoint
  bool endTimeGiven = false;     // -e (roll-forward)
  EndTime endTime;
  std::string endTimeText;
  bool applyJournals = true;  // +j (default) or -j (roll-forward)
};

// "" or what is wrong; *badFlag gets the argument at fault ("" when none is, e.g. no database).
std::string parseCkpArguments(CkpProgram program, const std::vector<std::string>& arguments,
                              CkpArguments* out, std::string* badFlag);

// False when `text` is not a valid "%d-%b-%Y:%H:%M:%S" time.
bool parseEndTime(const std::string& text, EndTime* out);

// A date of the calendar from 1970 on and a time of day (month 1..12).
bool validCalendarTime(const EndTime& time);

}  // namespace ingsim::core
