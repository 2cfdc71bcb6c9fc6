// Adding a journal file of timed records to a journaled database: the work done on it after
// its checkpoint, as a roll forward with an end time sees it (core/journal_records.h).
#include <cstdio>
#include <ctime>

#include "core/journal_records.h"
#include "ingsim/catalog_store.h"
#include "ingsim/installation.h"
#include "ingsim/installation_internal.h"
#include "ingsim/symbol_file.h"
#include "ingsim/win_util.h"

namespace ingsim {
namespace {

// Seconds since 1970 (UTC) of a record time; false when a local time does not exist here.
bool recordSeconds(const JournalTime& time, int64_t now, int64_t* seconds) {
  if (time.relative) {
    *seconds = now + time.secondsFromNow;
    return *seconds >= 0;
  }
  std::tm local{};
  local.tm_year = time.year - 1900;
  local.tm_mon = time.month - 1;
  local.tm_mday = time.day;
  local.tm_hour = time.hour;
  local.tm_min = time.minute;
  local.tm_sec = time.second;
  local.tm_isdst = -1;  // whatever the time zone's rule says for that day
  const __time64_t converted = _mktime64(&local);
  if (converted < 0) return false;
  *seconds = converted;
  return true;
}

std::string localText(int64_t seconds) {
  const __time64_t value = seconds;
  std::tm local{};
  if (_localtime64_s(&local, &value) != 0) return "(time " + std::to_string(seconds) + ")";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace

std::string addJournal(const std::string& code, const JournalOptions& options,
                       std::string* report) {
  report->clear();
  if (options.times.empty()) return "a journal file needs at least one record";
  if (options.recordSize > core::kMaxJournalRecordLength ||
      options.times.size() > core::kMaxJournalRecords) {
    return "a journal file holds at most " + std::to_string(core::kMaxJournalRecords) +
           " records of at most " + std::to_string(core::kMaxJournalRecordLength) + " bytes";
  }
  const int64_t now = _time64(nullptr);
  std::vector<int64_t> times;
  for (const JournalTime& time : options.times) {
    int64_t seconds = 0;
    if (!recordSeconds(time, now, &seconds)) return "a record time before 1970";
    if (!times.empty() && seconds < times.back()) {
      return "record " + std::to_string(times.size() + 1) + " (" + localText(seconds) +
             ") is older than the record before it (" + localText(times.back()) + ")";
    }
    times.push_back(seconds);
  }

  const std::string root = installationRoot(code);
  if (root.empty()) return "installation " + code + " is not registered";
  core::SymbolTable symbols;
  if (std::string error = readSymbolTable(root, &symbols); !error.empty()) return error;
  CatalogFile catalog;
  if (std::string error = catalog.open(catalogPath(root, "iidbdb"), /*create=*/false);
      !error.empty()) {
    return error;
  }
  // Held to the commit, so that two additions at once cannot take the same sequence.
  Transaction transaction(catalog);
  if (!transaction.error().empty()) return transaction.error();
  Statement database(catalog,
                     "SELECT s.journaled, s.journal_sequence, "
                     "(SELECT location_area FROM iilocation_info WHERE location_name=d.jnldev) "
                     "FROM iidatabase d JOIN sim_database_state s ON s.name=d.name "
                     "WHERE d.name=?");
  if (!database.ok()) return catalog.lastError("reading iidatabase");
  database.bind(1, options.database);
  if (database.step() != SQLITE_ROW) {
    return "database " + options.database + " does not exist in installation " + code;
  }
  if (database.integer(0) == 0) return "database " + options.database + " is not journaled";
  const int64_t sequence = database.integer(1) + 1;
  if (sequence > 9999999) return "the journal sequence of " + options.database + " is full";
  const std::string area = areaFolder(symbols, database.text(2));
  if (area.empty()) return "the journal location of " + options.database + " is not set";

  char name[16];
  std::snprintf(name, sizeof name, "j%07d.jnl", static_cast<int>(sequence));
  const std::string folder = journalFolder(area, options.database);
  const std::string path = folder + "\\" + name;
  if (pathExists(path)) return "the journal file " + path + " already exists";
  if (std::string error = makeDirectories(folder); !error.empty()) return error;
  const std::vector<uint8_t> bytes = core::encodeTimedJournal(name, times, options.recordSize);
  if (std::string error = writeTextFile(path, std::string(bytes.begin(), bytes.end()));
      !error.empty()) {
    return error;
  }
  Statement update(catalog, "UPDATE sim_database_state SET journal_sequence=? WHERE name=?");
  update.bind(1, sequence).bind(2, options.database);
  std::string error =
      update.step() == SQLITE_DONE ? "" : catalog.lastError("recording the journal sequence");
  if (error.empty()) error = transaction.commit();
  if (!error.empty()) {
    DeleteFileA(path.c_str());  // the catalog does not count it: it must not stay
    return error;
  }
  *report = path + ": " + std::to_string(times.size()) + " journal record" +
            (times.size() == 1 ? "" : "s") + ", journal sequence " + std::to_string(sequence) +
            "\n";
  for (size_t i = 0; i < times.size(); ++i) {
    *report += "  record " + std::to_string(i + 1) + " at " + localText(times[i]) + "\n";
  }
  return "";
}

}  // namespace ingsim
