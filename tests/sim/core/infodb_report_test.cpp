#include "core/infodb_report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace ingsim::core {
namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The agent's reading of a single-database report: after the first line beginning
// "----Journal information", the first line containing "Journal sequence :"; its third
// ':'-separated field past 2 characters and any blanks, read with atoi. -1 when not found.
int agentJournalSequence(const std::string& report) {
  bool inSection = false;
  for (const std::string& line : lines(report)) {
    if (!inSection) {
      inSection = line.compare(0, 23, "----Journal information") == 0;
      continue;
    }
    if (line.find("Journal sequence :") == std::string::npos) continue;
    size_t first = line.find(':');
    size_t second = line.find(':', first + 1);
    std::string third = line.substr(second + 1);
    third = third.substr(2);
    size_t digits = third.find_first_not_of(' ');
    return std::atoi(third.c_str() + (digits == std::string::npos ? third.size() : digits));
  }
  return -1;
}

// The agent's reading of the report for -u: database names and the journaled ones, or "error".
std::string agentDatabaseList(const std::string& report) {
  std::string current, out;
  for (const std::string& line : lines(report)) {
    if (line.size() > 26 && line[25] == 'E' && line[26] == '_') return "error";
    if (line.compare(0, 5, "ERROR") == 0) return "error";
    if (line.compare(0, 16, "    Database : (") == 0) {
      current = line.substr(16, line.find(',', 16) - 16);
      out += current + ";";
    }
    if (line.compare(0, 41, "               The Database is Journaled.") == 0 && !current.empty()) {
      out += "~JOURNAL OF DATABASE " + current + ";";
    }
  }
  return out;
}

DatabaseFacts sampleFacts(const std::string& name, bool journaled, int ckp, int jnl) {
  DatabaseFacts facts;
  facts.name = name;
  facts.owner = "ingres";
  facts.id = 7;
  facts.journaled = journaled;
  facts.checkpointSequence = ckp;
  facts.journalSequence = jnl;
  facts.extents = {{"ii_database", "ROOT,DATA", "C:\\I\\ingres\\data\\default\\" + name},
                   {"data_loc1", "DATA", "E_:\\odd\\ingres\\data\\default\\" + name},
                   {"ii_journal", "JOURNAL", "C:\\I\\ingres\\jnl\\default\\" + name}};
  return facts;
}

TEST(InfodbReport, QuotedLinesAreExact) {
  EXPECT_EQ(journalSequenceLine(3, 17),
            "    Checkpoint sequence :          3    Journal sequence :                17");
  EXPECT_EQ(journalSequenceLine(0, 2147483647),
            "    Checkpoint sequence :          0    Journal sequence :        2147483647");
  EXPECT_EQ(databaseLine("payroll", "bob", 0x1f),
            "    Database : (payroll,bob)  ID : 0x0000001F  Default collation : udefault");
  EXPECT_EQ(std::string(kJournaledLine), "               The Database is Journaled.");
  EXPECT_EQ(std::string(kJournaledLine).size(), 41u);
}

TEST(InfodbReport, ReadersFindTheJournalSequence) {
  for (int sequence : {0, 1, 9, 12345, 2147483647}) {
    std::string report = databaseReport(sampleFacts("db", true, 4, sequence));
    EXPECT_EQ(agentJournalSequence(report), sequence) << report;
  }
  {
    SCOPED_TRACE("the section title is a line of its own, before the sequence line");
    std::string report = databaseReport(sampleFacts("db", false, 2, 5));
    size_t title = report.find("\n----Journal information");
    size_t sequence = report.find("Journal sequence :");
    ASSERT_NE(title, std::string::npos) << report;
    EXPECT_LT(title, sequence) << report;
  }
}

TEST(InfodbReport, DatabaseListForUserRun) {
  // A name of 32 characters puts its characters in the error columns; lower-case names keep
  // "E_" out of them, and the extent path "E_:..." sits far to the right.
  const std::string longName = "abcdefghij_e_klmnopqrstuvwxyz012";
  std::string report = databaseReport(sampleFacts("iidbdb", false, 0, 0)) +
                       databaseReport(sampleFacts("plain", false, 1, 0)) +
                       databaseReport(sampleFacts("jour", true, 1, 3)) +
                       databaseReport(sampleFacts(longName, true, 0, 0));
  EXPECT_EQ(agentDatabaseList(report), "iidbdb;plain;jour;~JOURNAL OF DATABASE jour;" + longName +
                                           ";~JOURNAL OF DATABASE " + longName + ";")
      << report;
  for (const std::string& line : lines(report)) {
    EXPECT_FALSE(isFailureLine(line)) << "report line read as a failure: [" << line << "]";
    EXPECT_LT(line.size(), 256u) << "longer than the reader's line buffer: " << line;
  }
}

TEST(InfodbReport, FailureLinesCarryTheIdInColumn26) {
  std::tm when{};
  when.tm_year = 2025 - 1900;
  when.tm_mon = 0;
  when.tm_mday = 3;
  when.tm_wday = 5;
  when.tm_hour = 9;
  when.tm_min = 4;
  when.tm_sec = 5;
  std::string line =
      ingresMessageLine(when, "E_DM0053_NONEXISTENT_DB", "Database x does not exist.");
  EXPECT_EQ(line, "Fri Jan 03 09:04:05 2025 E_DM0053_NONEXISTENT_DB Database x does not exist.");
  EXPECT_EQ(line.substr(25, 2), "E_") << line;
  EXPECT_TRUE(isFailureLine(line));
  EXPECT_EQ(agentDatabaseList(line + "\n"), "error");
  EXPECT_TRUE(isFailureLine("ERROR: anything"));
  EXPECT_FALSE(isFailureLine(std::string(25, ' ') + "E"));  // too short to hold the id
}

}  // namespace
}  // namespace ingsim::core
