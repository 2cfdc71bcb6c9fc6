// infodb: reports databases from the simulated catalog.
//
//   infodb <db>...          the report of each named database
//   infodb -u<user> [<db>]  the same, as <user>; without a name, every database of the
//                           installation in catalog order
//
// The report goes to standard output, failures too, as Ingres prints them: an Ingres message
// with its id in column 26, or a line beginning "ERROR". Setting the installation variable
// II_SIM_INFODB_FAILURE to "ERROR" or "E_" makes every run fail that way, so that callers' error
// paths can be exercised.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "catalog/catalog_schema.h"
#include "core/infodb_report.h"
#include "core/symbol_table.h"
#include "ingsim/catalog_store.h"
#include "ingsim/installation.h"
#include "ingsim/installation_internal.h"
#include "ingsim/symbol_file.h"
#include "locate.h"

namespace {

std::tm localNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &now);
  return local;
}

int ingresFailure(const char* messageId, const std::string& text) {
  std::printf("%s\n", ingsim::core::ingresMessageLine(localNow(), messageId, text).c_str());
  return 1;
}

struct Options {
  std::string user;
  bool allDatabases = false;
  std::vector<std::string> databases;
};

// "" or the problem with the command line.
std::string parseArguments(int argc, char** argv, Options* options) {
  bool userGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument.rfind("-u", 0) == 0) {
      options->user = argument.substr(2);
      if (options->user.empty()) return "-u needs a user name directly after it";
      userGiven = true;
    } else if (!argument.empty() && argument[0] == '-') {
      return "unknown flag " + argument;
    } else {
      options->databases.push_back(argument);
    }
  }
  if (options->databases.empty()) {
    if (!userGiven) return "no database named";
    options->allDatabases = true;
  }
  return "";
}

class Reporter {
 public:
  Reporter(const std::string& root, const ingsim::core::SymbolTable& symbols)
      : root_(root), symbols_(symbols) {}

  std::string open() { return catalog_.open(ingsim::catalogPath(root_, "iidbdb"), false); }

  std::vector<std::string> allDatabases() {
    std::vector<std::string> names;
    ingsim::Statement list(catalog_, "SELECT name FROM iidatabase ORDER BY rowid");
    while (list.step() == SQLITE_ROW) names.push_back(ingsim::trimmedRight(list.text(0)));
    return names;
  }

  // False when the database is not in the catalog.
  bool facts(const std::string& name, ingsim::core::DatabaseFacts* facts) {
    ingsim::Statement database(catalog_,
                               "SELECT name, own, db_id, dbdev, jnldev, dmpdev, ckpdev, sortdev "
                               "FROM iidatabase WHERE name=?");
    database.bind(1, name);
    if (database.step() != SQLITE_ROW) return false;
    facts->name = ingsim::trimmedRight(database.text(0));
    facts->owner = ingsim::trimmedRight(database.text(1));
    facts->id = static_cast<int>(database.integer(2));
    const std::string rootLocation = ingsim::trimmedRight(database.text(3));

    ingsim::Statement state(catalog_,
                            "SELECT journaled, checkpoint_sequence, journal_sequence "
                            "FROM sim_database_state WHERE name=?");
    state.bind(1, name);
    if (state.step() == SQLITE_ROW) {
      facts->journaled = state.integer(0) != 0;
      facts->checkpointSequence = static_cast<int>(state.integer(1));
      facts->journalSequence = static_cast<int>(state.integer(2));
    }

    ingsim::Statement data(catalog_,
                           "SELECT l.location_name, l.location_area FROM iiextend_info e "
                           "JOIN iilocation_info l ON l.location_name = e.location_name "
                           "WHERE e.database_name=? AND l.data_usage='Y' ORDER BY e.rowid");
    data.bind(1, name);
    while (data.step() == SQLITE_ROW) {
      std::string location = ingsim::trimmedRight(data.text(0));
      facts->extents.push_back({location, location == rootLocation ? "ROOT,DATA" : "DATA",
                                ingsim::dataLocationFolder(symbols_, data.text(1), facts->name)});
    }
    struct Other {
      int column;
      const char* usage;
      std::string (*folder)(const std::string&, const std::string&);
    };
    const Other others[] = {{4, "JOURNAL", ingsim::journalFolder},
                            {6, "CHECKPOINT", ingsim::checkpointFolder},
                            {5, "DUMP", ingsim::dumpFolder},
                            {7, "WORK", workFolder}};
    for (const Other& other : others) {
      std::string location = ingsim::trimmedRight(database.text(other.column));
      std::string area = locationArea(location);
      std::string folder = ingsim::areaFolder(symbols_, area);
      facts->extents.push_back(
          {location, other.usage, folder.empty() ? area : other.folder(folder, facts->name)});
    }
    return true;
  }

 private:
  static std::string workFolder(const std::string& area, const std::string& database) {
    return area + "\\ingres\\work\\default\\" + database;
  }

  std::string locationArea(const std::string& location) {
    ingsim::Statement area(catalog_,
                           "SELECT location_area FROM iilocation_info WHERE location_name=?");
    area.bind(1, location);
    return area.step() == SQLITE_ROW ? area.text(0) : "";
  }

  std::string root_;
  const ingsim::core::SymbolTable& symbols_;
  ingsim::CatalogFile catalog_;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error = parseArguments(argc, argv, &options);
  if (!error.empty()) {
    std::printf("ERROR: infodb: %s\nusage: infodb [-u<user>] [dbname ...]\n", error.c_str());
    return 1;
  }
  const std::string root = ingsim::utilities::findInstallationRoot(&error);
  if (root.empty()) return ingresFailure("E_US0010_NO_INSTALLATION", error);
  ingsim::core::SymbolTable symbols;
  error = ingsim::readSymbolTable(root, &symbols);
  if (!error.empty()) return ingresFailure("E_CL2530_CANNOT_READ_SYMBOLS", error);

  if (const ingsim::core::Symbol* failure =
          ingsim::core::findSymbol(symbols, "II_SIM_INFODB_FAILURE")) {
    if (failure->value == "ERROR") {
      std::printf("ERROR: infodb: %s does not have the privilege to run infodb.\n",
                  options.user.empty() ? "this user" : options.user.c_str());
      return 1;
    }
    if (failure->value == "E_") {
      return ingresFailure("E_DM0133_ERROR_ACCESSING_DB",
                           "Error accessing the database configuration file.");
    }
  }

  Reporter reporter(root, symbols);
  error = reporter.open();
  if (!error.empty()) return ingresFailure("E_DM0133_ERROR_ACCESSING_DB", error);
  if (options.allDatabases) options.databases = reporter.allDatabases();
  for (const std::string& name : options.databases) {
    ingsim::core::DatabaseFacts facts;
    if (!reporter.facts(name, &facts)) {
      return ingresFailure("E_DM0053_NONEXISTENT_DB", "Database " + name + " does not exist.");
    }
    std::fputs(ingsim::core::databaseReport(facts).c_str(), stdout);
  }
  return 0;
}
