#include "core/infodb_report.h"

#include <cstdio>

namespace ingsim::core {
namespace {

const char* const kRule =
    "================================================================================";

std::string section(const char* title) {
  std::string line = title;
  if (line.size() < 80) line.append(80 - line.size(), '-');
  return line + "\n";
}

std::string printed(const char* format, auto... values) {
  char buffer[512];
  int n = std::snprintf(buffer, sizeof buffer, format, values...);
  if (n < 0) return "";
  return std::string(
      buffer, static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1);
}

std::string padRight(const std::string& text, size_t width) {
  std::string out = text;
  if (out.size() < width)
    out.append(width - out.size(), ' ');
  else
    out.push_back(' ');
  return out;
}

}  // namespace

std::string journalSequenceLine(int checkpointSequence, int journalSequence) {
  return printed("    Checkpoint sequence : %10d    Journal sequence : %17d", checkpointSequence,
                 journalSequence);
}

std::string databaseLine(const std::string& name, const std::string& owner, int id) {
  return "    Database : (" + name + "," + owner +
         ")  ID : " + printed("0x%08X", static_cast<unsigned>(id)) +
         "  Default collation : udefault";
}

std::string databaseReport(const DatabaseFacts& facts) {
  std::string out;
  out += kRule;
  out += "\n";
  out += databaseLine(facts.name, facts.owner, facts.id) + "\n";
  out += printed("    Extents : %d  Last Table Id : %d\n", static_cast<int>(facts.extents.size()),
                 255 + facts.id % 64);
  out += "    Config File Version Id : 0x00060001  Database Version Id : 9\n";
  out += "    Mode : DDL ALLOWED, ONLINE CHECKPOINT ENABLED\n";
  out += facts.journaled ? "    Status : VALID,CKP,JOURNAL\n" : "    Status : VALID,CKP\n";
  if (facts.journaled) out += std::string(kJournaledLine) + "\n";

  out += section(kJournalSectionTitle);
  out += journalSequenceLine(facts.checkpointSequence, facts.journalSequence) + "\n";
  out += printed("    Current journal block : %10d    Journal block size : %15d\n", 0, 16384);
  out += printed("    Initial journal size : %11d    Target journal size : %14d\n", 4, 512);
  out += printed("    Last Log Address Journaled : <%d:%d:%d>\n", facts.journalSequence, 0, 0);

  out += section("----Dump information");
  out += printed("    Dump sequence : %16d    Dump block size : %18d\n", facts.checkpointSequence,
                 16384);

  out += section("----Checkpoint History for Journal");
  out += "    Ckp_sequence   First_jnl    Last_jnl   valid   mode\n";
  out += "    ----------------------------------------------------\n";
  for (int ckp = 1; ckp <= facts.checkpointSequence; ++ckp) {
    bool last = ckp == facts.checkpointSequence;
    int first = last && facts.journalSequence > 0 ? 1 : 0;
    int lastJnl = last ? facts.journalSequence : 0;
    out += printed("    %12d %11d %11d %7d   %s\n", ckp, first, lastJnl, 1, "OFFLINE");
  }

  out += section("----Extent directory");
  out += "    Location                          Flags               Physical_path\n";
  out += "    ------------------------------------------------------------------------\n";
  for (const ExtentFacts& extent : facts.extents) {
    out += "    " + padRight(extent.location, 34) + padRight(extent.usage, 20) + extent.path + "\n";
  }
  out += "\n";
  return out;
}

std::string ingresMessageLine(const std::tm& when, const std::string& messageId,
                              const std::string& text) {
  char stamp[64];
  size_t n = std::strftime(stamp, sizeof stamp, "%a %b %d %H:%M:%S %Y", &when);
  std::string line(stamp, n);
  // The reader finds the id by column; a locale with longer names must not shift it.
  line.resize(24, ' ');
  return line + " " + messageId + " " + text;
}

bool isFailureLine(const std::string& line) {
  if (line.compare(0, 5, "ERROR") == 0) return true;
  return line.size() > 26 && line[25] == 'E' && line[26] == '_';
}

}  // namespace ingsim::core
