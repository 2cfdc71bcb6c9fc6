// Creating, finding and removing whole installations.
#include "ingsim/installation.h"

#include <cstdio>
#include <ctime>

#include "catalog/catalog_schema.h"
#include "core/install_text.h"
#include "core/names.h"
#include "ingsim/catalog_store.h"
#include "ingsim/installation_internal.h"
#include "ingsim/machine_path.h"
#include "ingsim/symbol_file.h"
#include "ingsim/win_util.h"

namespace ingsim {

const char* const kInstalledPrograms[] = {"infodb.exe",   "ingprenv.exe", "ingsetenv.exe",
                                          "ingunset.exe", "ckpdb.exe",    "rollforwarddb.exe",
                                          "oiembdnt.dll", nullptr};

namespace {

std::string formatted(const char* format, const std::string& value) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, value.c_str());
  return buffer;
}

std::string setString(HKEY key, const char* name, const std::string& value, DWORD type = REG_SZ) {
  LONG rc = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1));
  if (rc != ERROR_SUCCESS) return win32Error(std::string("writing value ") + name, rc);
  return "";
}

std::string setDword(HKEY key, const char* name, DWORD value) {
  LONG rc =
      RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  if (rc != ERROR_SUCCESS) return win32Error(std::string("writing value ") + name, rc);
  return "";
}

std::string createKey(const std::string& name, UniqueKey* key) {
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, name.c_str(), 0, /*class=*/nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, /*security=*/nullptr,
                            key->put(), /*disposition=*/nullptr);
  if (rc != ERROR_SUCCESS) return win32Error("creating HKLM\\" + name, rc);
  return "";
}

std::string deleteKeyTree(const std::string& name) {
  LONG rc = RegDeleteTreeA(HKEY_LOCAL_MACHINE, name.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
    return win32Error("deleting HKLM\\" + name, rc);
  }
  // RegDeleteTree empties the key; on some systems the key itself stays behind.
  rc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, name.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
    return win32Error("deleting HKLM\\" + name, rc);
  }
  return "";
}

std::string computerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size)) return "localhost";
  return std::string(name, size);
}

std::string nowText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &now);
  char buffer[64];
  size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(buffer, n);
}

std::string validateInstallation(const InstallationOptions& options) {
  std::string error = core::validateInstallationCode(options.code);
  if (!error.empty()) return error;
  if (!core::isFullPath(options.root)) {
    return "the root '" + options.root + "' must be a full path (X:\\... or \\\\server\\...)";
  }
  if (options.majorVersion != 2 && options.majorVersion != 3) {
    return "the major version must be 2 or 3, not " + std::to_string(options.majorVersion);
  }
  if (!options.installLogOwner.empty()) {
    error = core::validateUserName(options.installLogOwner, "the install.log owner");
    if (!error.empty()) return error;
  }
  for (const std::string& user : options.configDatUsers) {
    error = core::validateUserName(user, "a config.dat user");
    if (!error.empty()) return error;
  }
  if (!options.hostName.empty()) {
    error = core::validateUserName(options.hostName, "the host name");
    if (!error.empty()) return error;
  }
  return "";
}

std::string writeDefaultSymbols(const std::string& root, const std::string& code,
                                const std::string& host) {
  return updateSymbolTable(root, [&](core::SymbolTable* table) -> std::string {
    const std::pair<std::string, std::string> defaults[] = {
        {"II_INSTALLATION", code},
        {"II_HOSTNAME", host},
        {"II_DATABASE", root},
        {"II_CHECKPOINT", root},
        {"II_JOURNAL", root},
        {"II_DUMP", root},
        {"II_WORK", root},
        {"II_TEMPORARY", root + "\\ingres\\temp"},
        {"II_CHARSET" + code, "WIN1252"},
        {"II_TIMEZONE_NAME", "GMT"},
        {"II_GCN" + code + "_LCL_VNODE", host},
    };
    for (const auto& [name, value] : defaults) {
      std::string error = core::setSymbol(table, name, value);
      if (!error.empty()) return error;
    }
    return "";
  });
}

std::string createMasterCatalog(const std::string& root) {
  CatalogFile catalog;
  std::string error = catalog.open(catalogPath(root, "iidbdb"), /*create=*/true);
  if (!error.empty()) return error;
  error = catalog.exec(kMasterCatalogSchema);
  if (error.empty()) error = catalog.exec(kDatabaseCatalogSchema);
  if (!error.empty()) return error;
  Transaction transaction(catalog);
  if (!transaction.error().empty()) return transaction.error();
  Statement location(catalog,
                     "INSERT INTO iilocation_info (location_name, data_usage, jrnl_usage, "
                     "ckpt_usage, work_usage, dump_usage, location_area) VALUES (?,?,?,?,?,?,?)");
  struct Default {
    const char* name;
    const char* usage;  // data, journal, checkpoint, work, dump
  };
  const Default defaults[] = {{kDatabaseLocation, "YNNNN"},
                              {kJournalLocation, "NYNNN"},
                              {kCheckpointLocation, "NNYNN"},
                              {kWorkLocation, "NNNYN"},
                              {kDumpLocation, "NNNNY"}};
  for (const Default& d : defaults) {
    location.reset();
    location.bind(1, padded(d.name, 32));
    for (int i = 0; i < 5; ++i) location.bind(2 + i, std::string(1, d.usage[i]));
    location.bind(7, root);
    if (location.step() != SQLITE_DONE) return catalog.lastError("adding location");
  }
  Statement database(catalog,
                     "INSERT INTO iidatabase (name, own, dbdev, ckpdev, jnldev, dmpdev, sortdev, "
                     "db_id) VALUES (?,?,?,?,?,?,?,1)");
  database.bind(1, padded("iidbdb", 32))
      .bind(2, padded("$ingres", 32))
      .bind(3, padded(kDatabaseLocation, 32))
      .bind(4, padded(kCheckpointLocation, 32))
      .bind(5, padded(kJournalLocation, 32))
      .bind(6, padded(kDumpLocation, 32))
      .bind(7, padded(kWorkLocation, 32));
  if (database.step() != SQLITE_DONE) return catalog.lastError("adding iidbdb");
  Statement extend(catalog,
                   "INSERT INTO iiextend_info (location_name, database_name) VALUES (?,?)");
  extend.bind(1, padded(kDatabaseLocation, 32)).bind(2, padded("iidbdb", 32));
  if (extend.step() != SQLITE_DONE) return catalog.lastError("adding iidbdb's extent");
  Statement state(catalog, "INSERT INTO sim_database_state (name) VALUES (?)");
  state.bind(1, padded("iidbdb", 32));
  if (state.step() != SQLITE_DONE) return catalog.lastError("adding iidbdb's state");
  Statement table(catalog,
                  "INSERT INTO iitables (table_name, table_owner, system_use) VALUES (?,?,'S')");
  for (const char* name : {"iirelation", "iiattribute", "iiindex", "iidatabase", "iilocation_info",
                           "iiextend_info", "iiuser", "iidbaccess"}) {
    table.reset();
    table.bind(1, padded(name, 32)).bind(2, padded("$ingres", 32));
    if (table.step() != SQLITE_DONE) return catalog.lastError("adding iidbdb's tables");
  }
  return transaction.commit();
}

std::string createIidbdbFiles(const std::string& root) {
  const char* const folders[] = {"data", "jnl", "dmp", "ckp"};
  for (const char* kind : folders) {
    std::string error = makeDirectories(root + "\\ingres\\" + kind + "\\default\\iidbdb");
    if (!error.empty()) return error;
  }
  std::string data = dataFolder(root, "iidbdb");
  for (const char* name : {"aaaaaaaa.cnf", "aaaaaaab.t00", "aaaaaaac.t00"}) {
    std::string error = writeSampleFile(data + "\\" + name, name, 16384);
    if (!error.empty()) return error;
  }
  return writeSampleFile(dumpFolder(root, "iidbdb") + "\\aaaaaaaa.cnf", "aaaaaaaa.cnf", 16384);
}

std::string copyUtilities(const std::string& root) {
  const std::string from = programFolder();
  const std::string to = root + "\\ingres\\bin";
  for (const char* const* name = kInstalledPrograms; *name != nullptr; ++name) {
    const std::string source = from + "\\" + *name;
    if (!pathExists(source)) continue;  // not built yet: the installation works without it
    if (!CopyFileA(source.c_str(), (to + "\\" + *name).c_str(), /*failIfExists=*/FALSE)) {
      return win32Error("copying " + source + " to " + to, GetLastError());
    }
  }
  return "";
}

std::string registerInstallation(const InstallationOptions& options) {
  UniqueKey installation;
  std::string error = createKey(installationKeyName(options.code), &installation);
  if (!error.empty()) return error;
  error = setString(installation.get(), "II_SYSTEM", options.root);
  if (error.empty()) error = setString(installation.get(), "II_INSTALLATION", options.code);
  if (error.empty()) {
    error = setString(installation.get(), "Release", core::releaseId(options.majorVersion));
  }
  if (!error.empty()) return error;

  UniqueKey service;
  error = createKey(serviceKeyName(options.code), &service);
  if (!error.empty()) return error;
  if (error.empty())
    error = setString(service.get(), "DisplayName", "Ingres Database [" + options.code + "]");
  if (error.empty()) {
    error = setString(service.get(), "ImagePath",
                      "\"" + options.root + "\\ingres\\bin\\servproc.exe\"", REG_EXPAND_SZ);
  }
  if (error.empty()) error = setString(service.get(), "ObjectName", "LocalSystem");
  if (error.empty()) error = setDword(service.get(), "Type", SERVICE_WIN32_OWN_PROCESS);
  // Demand start: Wine's service manager must never try to run the missing image.
  if (error.empty()) error = setDword(service.get(), "Start", SERVICE_DEMAND_START);
  if (error.empty()) error = setDword(service.get(), "ErrorControl", SERVICE_ERROR_NORMAL);
  return error;
}

std::string buildInstallation(const InstallationOptions& options) {
  const std::string& root = options.root;
  const std::string ingres = root + "\\ingres";
  for (const char* sub : {"bin", "files", "files\\catalog", "data\\default", "jnl\\default",
                          "dmp\\default", "ckp\\default", "work\\default", "temp", "utility"}) {
    std::string error = makeDirectories(ingres + "\\" + sub);
    if (!error.empty()) return error;
  }
  const std::string host = options.hostName.empty() ? computerName() : options.hostName;
  std::string error =
      writeTextFile(ingres + "\\version.rel", core::versionRelText(options.majorVersion));
  if (!error.empty()) return error;
  core::InstallLogFacts log{root, options.code, options.majorVersion, options.installLogOwner,
                            nowText()};
  error = writeTextFile(ingres + "\\files\\install.log", core::installLogText(log));
  if (!error.empty()) return error;
  core::ConfigDatFacts config{core::toLower(host), options.code, options.majorVersion,
                              options.configDatUsers};
  error = writeTextFile(ingres + "\\files\\config.dat", core::configDatText(config));
  if (!error.empty()) return error;
  error = writeDefaultSymbols(root, options.code, core::toLower(host));
  if (!error.empty()) return error;
  error = createMasterCatalog(root);
  if (!error.empty()) return error;
  error = createIidbdbFiles(root);
  if (!error.empty()) return error;
  error = copyUtilities(root);
  if (!error.empty()) return error;
  error = registerInstallation(options);
  if (!error.empty()) return error;
  if (options.addToMachinePath) error = addMachinePathEntry(ingres + "\\bin");
  return error;
}

// Undoes a failed creation: everything that carries the code or lies below <root>\ingres.
void discardInstallation(const InstallationOptions& options, bool rootWasNew) {
  // Best effort: the creation's own error is what the caller needs to see.
  removeMachinePathEntry(options.root + "\\ingres\\bin");
  deleteKeyTree(installationKeyName(options.code));
  deleteKeyTree(serviceKeyName(options.code));
  removeTree(options.root + "\\ingres");
  if (rootWasNew) RemoveDirectoryA(options.root.c_str());
}

}  // namespace

std::string installationKeyName(const std::string& code) {
  return formatted(kInstallationKeyFormat, code);
}

std::string serviceKeyName(const std::string& code) { return formatted(kServiceKeyFormat, code); }

std::string catalogPath(const std::string& root, const std::string& database) {
  return core::withoutTrailingSeparator(root) + kCatalogFolder + "\\" + database +
         kCatalogExtension;
}

std::string dataFolder(const std::string& area, const std::string& database) {
  return core::withoutTrailingSeparator(area) + "\\ingres\\data\\default\\" + database;
}

std::string journalFolder(const std::string& area, const std::string& database) {
  return core::withoutTrailingSeparator(area) + "\\ingres\\jnl\\default\\" + database;
}

std::string dumpFolder(const std::string& area, const std::string& database) {
  return core::withoutTrailingSeparator(area) + "\\ingres\\dmp\\default\\" + database;
}

std::string checkpointFolder(const std::string& area, const std::string& database) {
  return core::withoutTrailingSeparator(area) + "\\ingres\\ckp\\default\\" + database;
}

std::string installationRoot(const std::string& code) {
  if (!core::validateInstallationCode(code).empty()) return "";
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, installationKeyName(code).c_str(), 0, KEY_READ,
                    key.put()) != ERROR_SUCCESS) {
    return "";
  }
  char value[1024];
  DWORD size = sizeof value - 1, type = 0;
  if (RegQueryValueExA(key.get(), "II_SYSTEM", nullptr, &type, reinterpret_cast<BYTE*>(value),
                       &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return "";
  }
  value[size] = '\0';
  return value;
}

std::string createInstallation(const InstallationOptions& given) {
  InstallationOptions options = given;
  options.root = core::withoutTrailingSeparator(given.root);
  std::string error = validateInstallation(options);
  if (!error.empty()) return error;

  const std::string registeredRoot = installationRoot(options.code);
  const bool rootInUse = pathExists(options.root + "\\ingres");
  if (!registeredRoot.empty() || rootInUse) {
    if (!options.overwrite) {
      if (!registeredRoot.empty()) {
        return "installation " + options.code + " already exists at " + registeredRoot +
               "; ask for it to be overwritten to replace it";
      }
      return options.root +
             " already holds an installation; ask for it to be overwritten to "
             "replace it";
    }
    if (!registeredRoot.empty()) {
      error = removeInstallation(options.code);
      if (!error.empty()) return "replacing installation " + options.code + ": " + error;
    }
    error = removeTree(options.root + "\\ingres");
    if (!error.empty()) return "replacing " + options.root + ": " + error;
  }

  const bool rootWasNew = !pathExists(options.root);
  error = makeDirectories(options.root);
  if (!error.empty()) return error;
  error = buildInstallation(options);
  if (!error.empty()) discardInstallation(options, rootWasNew);
  return error;
}

std::string setVariable(const std::string& code, const std::string& name,
                        const std::string& value) {
  const std::string root = installationRoot(code);
  if (root.empty()) return "installation " + code + " is not registered";
  return updateSymbolTable(
      root, [&](core::SymbolTable* table) { return core::setSymbol(table, name, value); });
}

std::string removeInstallation(const std::string& code) {
  const std::string root = installationRoot(code);
  if (root.empty()) return "installation " + code + " is not registered";
  // Keep going after a failure: a half-removed installation is worse than a reported one.
  std::string firstError;
  auto note = [&firstError](const std::string& error) {
    if (firstError.empty()) firstError = error;
  };
  for (const std::string& folder : databaseFoldersOutsideRoot(root)) {
    note(removeTree(folder));
    // <area>\ingres\<kind>\default\<db>: prune the parents up to the area itself while they
    // are empty; an area folder that still holds anything else stays.
    const std::string area = parentFolder(parentFolder(parentFolder(parentFolder(folder))));
    removeEmptyFolders(parentFolder(folder), parentFolder(area));
  }
  note(removeTree(root + "\\ingres"));
  RemoveDirectoryA(root.c_str());  // only succeeds when nothing else lives there, as intended
  note(removeMachinePathEntry(root + "\\ingres\\bin"));
  note(deleteKeyTree(serviceKeyName(code)));
  note(deleteKeyTree(installationKeyName(code)));
  return firstError;
}

}  // namespace ingsim
