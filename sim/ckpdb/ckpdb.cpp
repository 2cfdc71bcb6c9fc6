// ckpdb: the simulated checkpoint utility.
//
//   ckpdb <db> [-v] [-d]
//
// Runs the checkpoint template's whole-database disk lines: BSDD, then PSDD and WSDD for each
// data location, then ESDD and EEDE, filling the %-codes and waiting for every command. The
// checkpoint gets the number after the database's checkpoint sequence; the sequence advances
// only when every step succeeded. With -d the files of earlier checkpoints are removed from the
// database's checkpoint folder once the new checkpoint is complete.
#include <windows.h>

#include <string>
#include <vector>

#include "ckp_run.h"
#include "core/ckp_arguments.h"
#include "core/ckp_template.h"
#include "ingsim/win_util.h"

namespace {

using ingsim::ckp::Failure;
using ingsim::ckp::progress;

// Removes the checkpoint files older than `current`; returns how many went.
int purgeEarlierCheckpoints(const std::string& folder, int current) {
  WIN32_FIND_DATAA found;
  ingsim::UniqueFind find(FindFirstFileA((folder + "\\c*.ckp").c_str(), &found));
  if (!find) return 0;
  int removed = 0;
  do {
    int number = ingsim::core::checkpointNumberOfFile(found.cFileName);
    if (number < 0 || number >= current) continue;
    if (DeleteFileA((folder + "\\" + found.cFileName).c_str())) ++removed;
  } while (FindNextFileA(find.get(), &found));
  return removed;
}

int checkpoint(const ingsim::core::CkpArguments& arguments) {
  ingsim::ckp::Installation installation;
  if (Failure failure = ingsim::ckp::openInstallation(&installation)) {
    return ingsim::ckp::reportFailure(failure);
  }
  ingsim::ckp::DatabaseFacts database;
  if (Failure failure = ingsim::ckp::loadDatabase(installation, arguments.database, &database)) {
    return ingsim::ckp::reportFailure(failure);
  }
  std::vector<ingsim::core::TemplateLine> lines;
  std::string templatePath;
  if (Failure failure = ingsim::ckp::loadTemplate(installation, &lines, &templatePath)) {
    return ingsim::ckp::reportFailure(failure);
  }
  if (Failure failure = ingsim::ckp::checkSteps(lines, {"BSDD", "PSDD", "WSDD", "ESDD", "EEDE"})) {
    return ingsim::ckp::reportFailure(failure);
  }
  const int number = database.checkpointSequence + 1;
  if (ingsim::core::checkpointFileName(number, static_cast<int>(database.locations.size()))
          .empty()) {
    return ingsim::ckp::reportFailure(
        {"E_DM1107_CKP_SEQUENCE_FULL",
         "database " + database.name + " has no checkpoint number left or too many locations"});
  }
  progress("CPP: Preparing to checkpoint database: " + database.name);
  if (arguments.verbose) progress("CPP: template " + templatePath);

  ingsim::core::CodeValues values;
  values.locationCount = static_cast<int>(database.locations.size());
  if (Failure failure =
          ingsim::ckp::runStep(installation, lines, "BSDD", values, arguments.verbose)) {
    return ingsim::ckp::reportFailure(failure);
  }
  for (size_t i = 0; i < database.locations.size(); ++i) {
    values.locationNumber = static_cast<int>(i) + 1;
    values.directory = database.locations[i].folder;
    values.checkpointFile = ingsim::core::checkpointFileName(number, values.locationNumber);
    progress("CPP: Beginning checkpoint of location " + std::to_string(values.locationNumber) +
             " (" + values.directory + ") to " + values.checkpointFile);
    for (const char* code : {"PSDD", "WSDD"}) {
      if (Failure failure =
              ingsim::ckp::runStep(installation, lines, code, values, arguments.verbose)) {
        return ingsim::ckp::reportFailure(failure);
      }
    }
  }
  values.locationNumber = 0;
  values.directory.clear();
  values.checkpointFile.clear();
  for (const char* code : {"ESDD", "EEDE"}) {
    if (Failure failure =
            ingsim::ckp::runStep(installation, lines, code, values, arguments.verbose)) {
      return ingsim::ckp::reportFailure(failure);
    }
  }
  if (Failure failure = ingsim::ckp::storeCheckpointSequence(installation, database.name, number)) {
    return ingsim::ckp::reportFailure(failure);
  }
  if (arguments.purgeEarlier) {
    int removed = purgeEarlierCheckpoints(database.checkpointFolder, number);
    progress("CPP: Purged " + std::to_string(removed) + " file(s) of earlier checkpoints from " +
             database.checkpointFolder);
  }
  progress("CPP: Checkpoint sequence number " + std::to_string(number) + " of database " +
           database.name + " completed.");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ingsim::core::CkpArguments arguments;
  std::string badFlag;
  std::string error =
      ingsim::core::parseCkpArguments(ingsim::core::CkpProgram::kCheckpoint,
                                      ingsim::ckp::argumentList(argc, argv), &arguments, &badFlag);
  if (!error.empty()) {
    return ingsim::ckp::reportFailure(
        {badFlag.empty() ? "E_DM1009_CKP_NO_DATABASE" : "E_DM1004_CKP_BAD_FLAG",
         "ckpdb: " + error + ". Usage: ckpdb dbname [-v] [-d]"});
  }
  return checkpoint(arguments);
}
