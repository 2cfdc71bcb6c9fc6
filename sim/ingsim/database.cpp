// Adding a database: its catalog rows, its locations and the sample files in its data, journal
// and dump destinations.
#include <cstdio>
#include <set>

#include "catalog/catalog_schema.h"
#include "core/names.h"
#include "ingsim/catalog_store.h"
#include "ingsim/installation.h"
#include "ingsim/installation_internal.h"
#include "ingsim/symbol_file.h"
#include "ingsim/win_util.h"

namespace ingsim {
namespace {

enum class Usage { kData, kJournal, kDump };

const char* usageColumn(Usage usage) {
  switch (usage) {
    case Usage::kData:
      return "data_usage";
    case Usage::kJournal:
      return "jrnl_usage";
    case Usage::kDump:
      return "dump_usage";
  }
  return "data_usage";
}

const char* usagePrefix(Usage usage) {
  switch (usage) {
    case Usage::kData:
      return "loc_data";
    case Usage::kJournal:
      return "loc_jnl";
    case Usage::kDump:
      return "loc_dmp";
  }
  return "loc";
}

struct PlannedLocation {
  std::string name;    // location name in iilocation_info
  std::string area;    // location_area as stored
  bool isNew = false;  // needs a row in iilocation_info
  Usage usage = Usage::kData;
  std::string folder;  // the database's folder in it
  std::vector<SampleFile> files;
};

bool sameArea(const std::string& a, const std::string& b) {
  if (core::isFolderArea(a) && core::isFolderArea(b)) return samePath(a, b);
  return a == b;
}

// Finds a location with `area` and this usage, or names a new one.
std::string planLocation(CatalogFile& catalog, Usage usage, const std::string& area,
                         std::set<std::string>* takenNames, PlannedLocation* plan) {
  std::string sql = std::string("SELECT location_name, location_area FROM iilocation_info WHERE ") +
                    usageColumn(usage) + "='Y' ORDER BY rowid";
  Statement find(catalog, sql.c_str());
  int rc;
  while ((rc = find.step()) == SQLITE_ROW) {
    if (sameArea(find.text(1), area)) {
      plan->name = trimmedRight(find.text(0));
      plan->area = find.text(1);
      plan->isNew = false;
      plan->usage = usage;
      return "";
    }
  }
  if (rc != SQLITE_DONE) return catalog.lastError("reading iilocation_info");
  Statement names(catalog, "SELECT location_name FROM iilocation_info");
  while (names.step() == SQLITE_ROW) takenNames->insert(trimmedRight(names.text(0)));
  // Zero-padded numbers after the "ii_" defaults: catalog queries without ORDER BY that walk
  // the location names in key order then meet a database's locations in the order they were
  // added, its root location first.
  for (int n = 1;; ++n) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d", n);
    std::string name = usagePrefix(usage) + std::string(number);
    if (takenNames->insert(name).second) {
      plan->name = name;
      break;
    }
  }
  plan->area = area;
  plan->isNew = true;
  plan->usage = usage;
  return "";
}

std::string validateArea(const std::string& area, const char* what) {
  if (area.empty() || core::isFolderArea(area)) return "";
  if (!core::validateSymbolName(area).empty()) {
    return std::string(what) + " '" + area +
           "' is neither a full folder path nor an installation variable name";
  }
  return "";
}

std::string validateDatabase(const DatabaseOptions& options) {
  std::string error = core::validateDatabaseName(options.name);
  if (!error.empty()) return error;
  error = core::validateUserName(options.owner, "the database owner");
  if (!error.empty()) return error;
  for (const DataLocation& location : options.locations) {
    error = validateArea(location.area, "the data area");
    if (!error.empty()) return error;
    for (const SampleFile& file : location.files) {
      if (file.name.empty() || file.name.find_first_of("\\/:*?\"<>|") != std::string::npos) {
        return "the sample file name '" + file.name + "' is not a plain file name";
      }
    }
  }
  for (const SampleFile& file : options.dumpFiles) {
    if (file.name.empty() || file.name.find_first_of("\\/:*?\"<>|") != std::string::npos ||
        file.name == "aaaaaaaa.cnf") {
      return "the dump file name '" + file.name + "' is not a plain file name of its own";
    }
  }
  error = validateArea(options.journalArea, "the journal area");
  if (error.empty()) error = validateArea(options.dumpArea, "the dump area");
  if (!error.empty()) return error;
  if (options.journalFiles < 0 || options.journalFiles > 9999999) {
    return "the number of journal files must be 0 to 9999999";
  }
  if (options.checkpointSequence < 0) return "the checkpoint sequence may not be negative";
  for (const std::string& table : options.userTables) {
    error = core::validateTableName(table);
    if (!error.empty()) return error;
  }
  return "";
}

std::string journalFileName(int sequence) {
  char name[32];
  std::snprintf(name, sizeof name, "j%07d.jnl", sequence);
  return name;
}

std::string writeFiles(const std::string& folder, const std::vector<SampleFile>& files) {
  std::string error = makeDirectories(folder);
  for (size_t i = 0; error.empty() && i < files.size(); ++i) {
    error = writeSampleFile(folder + "\\" + files[i].name, files[i].name, files[i].size);
  }
  return error;
}

std::string writeDatabaseCatalog(const std::string& root, const DatabaseOptions& options) {
  const std::string path = catalogPath(root, options.name);
  DeleteFileA(path.c_str());  // a leftover of a failed earlier attempt; absent is the usual case
  CatalogFile catalog;
  std::string error = catalog.open(path, /*create=*/true);
  if (error.empty()) error = catalog.exec(kDatabaseCatalogSchema);
  if (!error.empty()) return error;
  Transaction transaction(catalog);
  if (!transaction.error().empty()) return transaction.error();
  Statement table(catalog,
                  "INSERT INTO iitables (table_name, table_owner, system_use, is_journalled) "
                  "VALUES (?,?,?,?)");
  for (const char* name : {"iirelation", "iiattribute", "iiindex", "iidevices", "iiprotect"}) {
    table.reset();
    table.bind(1, padded(name, 32)).bind(2, padded("$ingres", 32)).bind(3, "S").bind(4, "N");
    if (table.step() != SQLITE_DONE) return catalog.lastError("adding system tables");
  }
  for (const std::string& name : options.userTables) {
    table.reset();
    table.bind(1, padded(name, 32))
        .bind(2, padded(options.owner, 32))
        .bind(3, "U")
        .bind(4, options.journaled ? "Y" : "N");
    if (table.step() != SQLITE_DONE) return catalog.lastError("adding table " + name);
  }
  return transaction.commit();
}

}  // namespace

std::string areaFolder(const core::SymbolTable& symbols, const std::string& area) {
  if (core::isFolderArea(area)) return core::withoutTrailingSeparator(area);
  const core::Symbol* symbol = core::findSymbol(symbols, area);
  return symbol != nullptr ? core::withoutTrailingSeparator(symbol->value) : "";
}

std::string dataLocationFolder(const core::SymbolTable& symbols, const std::string& area,
                               const std::string& database) {
  std::string folder = areaFolder(symbols, area);
  if (!folder.empty()) return dataFolder(folder, database);
  const core::Symbol* databaseRoot = core::findSymbol(symbols, "II_DATABASE");
  if (databaseRoot == nullptr || databaseRoot->value.empty()) return "";
  return core::withoutTrailingSeparator(databaseRoot->value) + "\\ingres\\data\\" + area + "\\" +
         database;
}

std::string addDatabase(const std::string& code, const DatabaseOptions& given) {
  DatabaseOptions options = given;
  if (options.locations.empty()) options.locations.push_back(DataLocation{});
  std::string error = validateDatabase(options);
  if (!error.empty()) return error;
  const std::string root = installationRoot(code);
  if (root.empty()) return "installation " + code + " is not registered";
  core::SymbolTable symbols;
  error = readSymbolTable(root, &symbols);
  if (!error.empty()) return error;

  CatalogFile catalog;
  error = catalog.open(catalogPath(root, "iidbdb"), /*create=*/false);
  if (!error.empty()) return error;
  // Taken before planning so that two processes adding databases at once cannot both pick the
  // same new location name.
  Transaction transaction(catalog);
  if (!transaction.error().empty()) return transaction.error();
  {
    Statement exists(catalog, "SELECT 1 FROM iidatabase WHERE name=?");
    exists.bind(1, options.name);
    if (exists.step() == SQLITE_ROW) {
      return "database " + options.name + " already exists in installation " + code;
    }
  }

  // Plan every location and its folder.
  std::set<std::string> takenNames;
  std::vector<PlannedLocation> plans;
  for (size_t i = 0; i < options.locations.size(); ++i) {
    const DataLocation& location = options.locations[i];
    const std::string area =
        location.area.empty() ? root : core::withoutTrailingSeparator(location.area);
    PlannedLocation plan;
    for (size_t j = 0; j < plans.size(); ++j) {
      if (plans[j].usage == Usage::kData && sameArea(plans[j].area, area)) {
        return "data locations " + std::to_string(j + 1) + " and " + std::to_string(i + 1) +
               " of database " + options.name + " share the area " + area;
      }
    }
    error = planLocation(catalog, Usage::kData, area, &takenNames, &plan);
    if (!error.empty()) return error;
    plan.folder = dataLocationFolder(symbols, area, options.name);
    if (plan.folder.empty()) {
      return "neither the installation variable " + area + " nor II_DATABASE is set";
    }
    plan.files = location.files;
    plans.push_back(plan);
  }
  for (Usage usage : {Usage::kJournal, Usage::kDump}) {
    const std::string& given_area =
        usage == Usage::kJournal ? options.journalArea : options.dumpArea;
    const std::string area = given_area.empty() ? root : core::withoutTrailingSeparator(given_area);
    PlannedLocation plan;
    error = planLocation(catalog, usage, area, &takenNames, &plan);
    if (!error.empty()) return error;
    std::string folder = areaFolder(symbols, area);
    if (folder.empty()) {
      return "the installation variable " + area + " (" +
             (usage == Usage::kJournal ? "journal" : "dump") + " area) is not set";
    }
    if (usage == Usage::kJournal) {
      plan.folder = journalFolder(folder, options.name);
      for (int n = 1; n <= options.journalFiles; ++n) {
        plan.files.push_back(SampleFile{journalFileName(n), options.journalFileSize});
      }
    } else {
      plan.folder = dumpFolder(folder, options.name);
      plan.files.push_back(SampleFile{"aaaaaaaa.cnf", options.configFileSize});
      for (const SampleFile& file : options.dumpFiles) plan.files.push_back(file);
    }
    plans.push_back(plan);
  }

  // Files first: a catalog that names a database always has its folders.
  std::vector<std::string> created;
  auto discard = [&created]() {
    for (const std::string& folder : created) removeTree(folder);  // best effort on failure
  };
  for (const PlannedLocation& plan : plans) {
    if (pathExists(plan.folder)) {
      discard();
      return "the folder " + plan.folder + " already exists";
    }
    created.push_back(plan.folder);
    error = writeFiles(plan.folder, plan.files);
    if (!error.empty()) {
      discard();
      return error;
    }
  }
  const std::string checkpoints = checkpointFolder(root, options.name);
  created.push_back(checkpoints);
  error = makeDirectories(checkpoints);

  // Catalog rows.
  auto failed = [&](const std::string& what) {
    discard();
    return catalog.lastError(what);
  };
  if (!error.empty()) {
    discard();
    return error;
  }
  Statement location(catalog,
                     "INSERT INTO iilocation_info (location_name, data_usage, "
                     "jrnl_usage, dump_usage, location_area) VALUES (?,?,?,?,?)");
  Statement extend(catalog,
                   "INSERT INTO iiextend_info (location_name, database_name) VALUES (?,?)");
  for (const PlannedLocation& plan : plans) {
    if (plan.isNew) {
      location.reset();
      location.bind(1, padded(plan.name, 32))
          .bind(2, plan.usage == Usage::kData ? "Y" : "N")
          .bind(3, plan.usage == Usage::kJournal ? "Y" : "N")
          .bind(4, plan.usage == Usage::kDump ? "Y" : "N")
          .bind(5, plan.area);
      if (location.step() != SQLITE_DONE) return failed("adding location " + plan.name);
    }
    if (plan.usage == Usage::kData) {
      extend.reset();
      extend.bind(1, padded(plan.name, 32)).bind(2, padded(options.name, 32));
      if (extend.step() != SQLITE_DONE) return failed("adding the extent " + plan.name);
    }
  }
  Statement database(catalog,
                     "INSERT INTO iidatabase (name, own, dbdev, ckpdev, jnldev, dmpdev, sortdev, "
                     "db_id) VALUES (?,?,?,?,?,?,?,(SELECT COALESCE(MAX(db_id),0)+1 FROM "
                     "iidatabase))");
  database.bind(1, padded(options.name, 32))
      .bind(2, padded(options.owner, 32))
      .bind(3, padded(plans.front().name, 32))
      .bind(4, padded(kCheckpointLocation, 32))
      .bind(5, padded(plans[plans.size() - 2].name, 32))
      .bind(6, padded(plans.back().name, 32))
      .bind(7, padded(kWorkLocation, 32));
  if (database.step() != SQLITE_DONE) return failed("adding database " + options.name);
  Statement state(catalog,
                  "INSERT INTO sim_database_state (name, journaled, checkpoint_sequence, "
                  "journal_sequence) VALUES (?,?,?,?)");
  state.bind(1, padded(options.name, 32))
      .bind(2, int64_t{options.journaled ? 1 : 0})
      .bind(3, int64_t{options.checkpointSequence})
      .bind(4, int64_t{options.journalFiles});
  if (state.step() != SQLITE_DONE) return failed("adding the state of " + options.name);

  error = writeDatabaseCatalog(root, options);
  if (error.empty()) error = transaction.commit();
  if (!error.empty()) {
    DeleteFileA(catalogPath(root, options.name).c_str());
    discard();
  }
  return error;
}

std::vector<std::string> databaseFoldersOutsideRoot(const std::string& root) {
  std::vector<std::string> folders;
  core::SymbolTable symbols;
  readSymbolTable(root, &symbols);  // unreadable: variable areas are simply not found
  CatalogFile catalog;
  if (!catalog.open(catalogPath(root, "iidbdb"), /*create=*/false).empty()) return folders;
  std::vector<std::string> databases;
  Statement names(catalog, "SELECT name FROM iidatabase");
  while (names.step() == SQLITE_ROW) databases.push_back(trimmedRight(names.text(0)));
  const std::string rootIngres = root + "\\ingres\\";
  Statement areas(catalog, "SELECT DISTINCT location_area FROM iilocation_info");
  while (areas.step() == SQLITE_ROW) {
    std::string folder = areaFolder(symbols, areas.text(0));
    if (folder.empty() || samePath(folder, root)) continue;
    for (const std::string& database : databases) {
      for (const std::string& candidate :
           {dataFolder(folder, database), journalFolder(folder, database),
            dumpFolder(folder, database), checkpointFolder(folder, database)}) {
        // Folders below the root go with the root's tree.
        if (candidate.size() > rootIngres.size() &&
            samePath(candidate.substr(0, rootIngres.size() - 1), root + "\\ingres")) {
          continue;
        }
        if (pathExists(candidate)) folders.push_back(candidate);
      }
    }
  }
  return folders;
}

}  // namespace ingsim
