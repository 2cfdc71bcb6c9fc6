// rollforwarddb: the simulated roll-forward utility.
//
//   rollforwarddb <db> [#c[<n>]] [-v] [-e<time>] [-j | +j]
//
// Runs the checkpoint template's whole-database disk restore lines: BRDD, then WDDD, PRDD and
// WRDD for each data location, then ERDD, with %F naming the files of checkpoint <n> (without a
// number, the database's latest checkpoint). With +j (the default) the journal files up to the
// database's journal sequence must all be present and readable; that is checked before the
// template runs, so a roll-forward that could not be completed leaves the locations untouched.
// With -e the journal records written after the end time are not applied
// (core/journal_records.h), and the report says how many and from where.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "ckp_run.h"
#include "core/ckp_arguments.h"
#include "core/ckp_template.h"
#include "core/journal_records.h"
#include "ingsim/win_util.h"

namespace {

using ingsim::ckp::Failure;
using ingsim::ckp::progress;

std::string journalFileName(int sequence) {
  char name[16];
  std::snprintf(name, sizeof name, "j%07d.jnl", sequence);
  return name;
}

// Journal files begin with the timed records' mark or are sample bytes: only those with the mark
// need to be read whole.
bool hasJournalMark(const std::string& path) {
  ingsim::UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  unsigned char mark[ingsim::core::kJournalMagic.size()] = {};
  DWORD got = 0;
  if (!ReadFile(file.get(), mark, sizeof mark, &got, nullptr) || got != sizeof mark) return false;
  return std::equal(std::begin(mark), std::end(mark), ingsim::core::kJournalMagic.begin());
}

// Every journal file up to the database's journal sequence, present and read.
Failure readJournals(const ingsim::ckp::DatabaseFacts& database,
                     std::vector<ingsim::core::JournalFile>* files) {
  for (int sequence = 1; sequence <= database.journalSequence; ++sequence) {
    const std::string path = database.journalFolder + "\\" + journalFileName(sequence);
    if (!ingsim::pathExists(path)) {
      return {"E_DM1311_RFP_MISSING_JOURNAL",
              "journal file " + path + " of database " + database.name + " (sequence " +
                  std::to_string(sequence) + " of " + std::to_string(database.journalSequence) +
                  ") is missing"};
    }
    ingsim::core::JournalFile file{journalFileName(sequence), {}};
    if (hasJournalMark(path)) {
      std::string bytes;
      if (std::string error = ingsim::readWholeFile(path, &bytes); !error.empty()) {
        return {"E_DM1314_RFP_BAD_JOURNAL", error};
      }
      file.contents =
          ingsim::core::readJournal({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
      if (file.contents.kind == ingsim::core::JournalKind::kDamaged) {
        return {"E_DM1314_RFP_BAD_JOURNAL",
                "journal file " + path + " is damaged: " + file.contents.fault};
      }
    }
    files->push_back(std::move(file));
  }
  return {};
}

// The end time as seconds since 1970 (UTC): the roll forward's -e is local time.
std::optional<int64_t> endTimeSeconds(const ingsim::core::CkpArguments& arguments) {
  if (!arguments.endTimeGiven) return std::nullopt;
  std::tm local{};
  local.tm_year = arguments.endTime.year - 1900;
  local.tm_mon = arguments.endTime.month - 1;
  local.tm_mday = arguments.endTime.day;
  local.tm_hour = arguments.endTime.hour;
  local.tm_min = arguments.endTime.minute;
  local.tm_sec = arguments.endTime.second;
  local.tm_isdst = -1;
  return static_cast<int64_t>(_mktime64(&local));
}

// A record's time as the roll forward's -e writes it.
std::string rollTimeText(int64_t seconds) {
  const __time64_t value = seconds;
  std::tm local{};
  if (_localtime64_s(&local, &value) != 0) return std::to_string(seconds);
  char text[32];
  std::strftime(text, sizeof text, "%d-%b-%Y:%H:%M:%S", &local);
  return text;
}

void reportJournals(const ingsim::core::CkpArguments& arguments,
                    const std::vector<ingsim::core::JournalFile>& files) {
  const ingsim::core::JournalApplication applied =
      ingsim::core::applyJournals(files, endTimeSeconds(arguments));
  const std::string upTo = arguments.endTimeGiven ? " up to " + arguments.endTimeText : "";
  if (applied.filesApplied > 0) {
    progress("RFP: Applied journal files " + files.front().name + " to " + applied.lastFileApplied +
             upTo);
  } else {
    progress("RFP: No journal file applied: its first record is after the end time " +
             arguments.endTimeText);
  }
  if (applied.recordsApplied > 0) {
    progress("RFP: " + std::to_string(applied.recordsApplied) + " timed journal record" +
             (applied.recordsApplied == 1 ? "" : "s") + " applied");
  }
  if (applied.recordsNotApplied > 0) {
    progress("RFP: " + std::to_string(applied.recordsNotApplied) + " journal record" +
             (applied.recordsNotApplied == 1 ? "" : "s") + " after the end time " +
             arguments.endTimeText + " not applied, from record " +
             std::to_string(applied.stoppedAtRecord) + " of " + applied.stoppedInFile +
             " (written " + rollTimeText(applied.stoppedAtTime) + ")");
  }
}

int rollForward(const ingsim::core::CkpArguments& arguments) {
  ingsim::ckp::Installation installation;
  if (Failure failure = ingsim::ckp::openInstallation(&installation)) {
    return ingsim::ckp::reportFailure(failure);
  }
  ingsim::ckp::DatabaseFacts database;
  if (Failure failure = ingsim::ckp::loadDatabase(installation, arguments.database, &database)) {
    return ingsim::ckp::reportFailure(failure);
  }
  const int number = arguments.checkpoint > 0 ? arguments.checkpoint : database.checkpointSequence;
  if (number < 1) {
    return ingsim::ckp::reportFailure(
        {"E_DM1312_RFP_NO_CHECKPOINT", "database " + database.name + " has no checkpoint"});
  }
  if (ingsim::core::checkpointFileName(number, static_cast<int>(database.locations.size()))
          .empty()) {
    return ingsim::ckp::reportFailure({"E_DM1313_RFP_TOO_MANY_LOCATIONS",
                                       "database " + database.name + " has too many locations"});
  }
  std::vector<ingsim::core::JournalFile> journals;
  if (arguments.applyJournals) {
    if (Failure failure = readJournals(database, &journals)) {
      return ingsim::ckp::reportFailure(failure);
    }
  }
  std::vector<ingsim::core::TemplateLine> lines;
  std::string templatePath;
  if (Failure failure = ingsim::ckp::loadTemplate(installation, &lines, &templatePath)) {
    return ingsim::ckp::reportFailure(failure);
  }
  if (Failure failure = ingsim::ckp::checkSteps(lines, {"BRDD", "WDDD", "PRDD", "WRDD", "ERDD"})) {
    return ingsim::ckp::reportFailure(failure);
  }
  progress("RFP: Preparing to roll forward database: " + database.name + " from checkpoint " +
           std::to_string(number));
  if (arguments.verbose) progress("RFP: template " + templatePath);

  ingsim::core::CodeValues values;
  values.locationCount = static_cast<int>(database.locations.size());
  if (Failure failure =
          ingsim::ckp::runStep(installation, lines, "BRDD", values, arguments.verbose)) {
    return ingsim::ckp::reportFailure(failure);
  }
  for (size_t i = 0; i < database.locations.size(); ++i) {
    values.locationNumber = static_cast<int>(i) + 1;
    values.directory = database.locations[i].folder;
    values.checkpointFile = ingsim::core::checkpointFileName(number, values.locationNumber);
    progress("RFP: Restoring location " + std::to_string(values.locationNumber) + " (" +
             values.directory + ") from " + values.checkpointFile);
    for (const char* code : {"WDDD", "PRDD", "WRDD"}) {
      if (Failure failure =
              ingsim::ckp::runStep(installation, lines, code, values, arguments.verbose)) {
        return ingsim::ckp::reportFailure(failure);
      }
    }
  }
  values.locationNumber = 0;
  values.directory.clear();
  values.checkpointFile.clear();
  if (Failure failure =
          ingsim::ckp::runStep(installation, lines, "ERDD", values, arguments.verbose)) {
    return ingsim::ckp::reportFailure(failure);
  }
  if (!journals.empty()) reportJournals(arguments, journals);
  progress("RFP: Roll forward of database " + database.name + " from checkpoint " +
           std::to_string(number) + " completed.");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ingsim::core::CkpArguments arguments;
  std::string badFlag;
  std::string error =
      ingsim::core::parseCkpArguments(ingsim::core::CkpProgram::kRollForward,
                                      ingsim::ckp::argumentList(argc, argv), &arguments, &badFlag);
  if (!error.empty()) {
    return ingsim::ckp::reportFailure(
        {badFlag.empty() ? "E_DM1009_RFP_NO_DATABASE" : "E_DM1004_RFP_BAD_FLAG",
         "rollforwarddb: " + error +
             ". Usage: rollforwarddb dbname [#c[n]] [-v] [-e<dd-mmm-yyyy:hh:mm:ss>] [-j|+j]"});
  }
  return rollForward(arguments);
}
