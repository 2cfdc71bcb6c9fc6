// rollforwarddb: the simulated roll-forward utility.
//
//   rollforwarddb <db> [#c[<n>]] [-v] [-e<time>] [-j | +j]
//
// Runs the checkpoint template's whole-database disk restore lines: BRDD, then WDDD, PRDD and
// WRDD for each data location, then ERDD, with %F naming the files of checkpoint <n> (without a
// number, the database's latest checkpoint). With +j (the default) the journal files up to the
// database's journal sequence must all be present; that is checked before the template runs, so
// a roll-forward that could not be completed leaves the locations untouched.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ckp_run.h"
#include "core/ckp_arguments.h"
#include "core/ckp_template.h"
#include "ingsim/win_util.h"

namespace {

using ingsim::ckp::Failure;
using ingsim::ckp::progress;

std::string journalFileName(int sequence) {
  char name[16];
  std::snprintf(name, sizeof name, "j%07d.jnl", sequence);
  return name;
}

Failure checkJournals(const ingsim::ckp::DatabaseFacts& database) {
  for (int sequence = 1; sequence <= database.journalSequence; ++sequence) {
    const std::string path = database.journalFolder + "\\" + journalFileName(sequence);
    if (!ingsim::pathExists(path)) {
      return {"E_DM1311_RFP_MISSING_JOURNAL",
              "journal file " + path + " of database " + database.name + " (sequence " +
                  std::to_string(sequence) + " of " + std::to_string(database.journalSequence) +
                  ") is missing"};
    }
  }
  return {};
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
  if (arguments.applyJournals) {
    if (Failure failure = checkJournals(database)) return ingsim::ckp::reportFailure(failure);
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
  if (arguments.applyJournals && database.journalSequence > 0) {
    progress("RFP: Applied journal files " + journalFileName(1) + " to " +
             journalFileName(database.journalSequence) +
             (arguments.endTimeGiven ? " up to " + arguments.endTimeText : std::string()));
  }
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
