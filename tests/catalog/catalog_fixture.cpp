#include "catalog_fixture.h"

#include <sqlite3.h>

#include "support/win_process.h"

namespace ferry::test {

namespace {

template <typename Fn>
bool bind(HMODULE module, const char* name, Fn& target) {
  target = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return target != nullptr;
}

}  // namespace

std::string SounderLibrary::load(const std::string& fileName) {
  std::string path = binDir() + "\\" + fileName;
  module = LoadLibraryA(path.c_str());
  if (module == nullptr)
    return "LoadLibrary " + path + " failed: " + std::to_string(GetLastError());
  std::string missing;
  auto need = [&](const char* name, auto& target) {
    if (!bind(module, name, target)) missing += std::string(" ") + name;
  };
  need("IngConnect", IngConnect);
  need("IngDisconnect", IngDisconnect);
  need("IngSetSessionId", IngSetSessionId);
  need("IngGetDbCount", IngGetDbCount);
  need("IngGetDbList", IngGetDbList);
  need("IngGetTableCnt", IngGetTableCnt);
  need("IngGetTableList", IngGetTableList);
  need("IngGetJournalDest", IngGetJournalDest);
  need("IngGetDumpDest", IngGetDumpDest);
  need("IngGetDataLocNum", IngGetDataLocNum);
  need("IngGetDataDest", IngGetDataDest);
  need("IngGetTableInfo", IngGetTableInfo);
  need("IngGetTableLocNum", IngGetTableLocNum);
  return missing.empty() ? "" : fileName + " lacks" + missing;
}

SounderLibrary::~SounderLibrary() {
  if (module != nullptr) FreeLibrary(module);
}

ScopedInstallation::ScopedInstallation(const std::string& code, int majorVersion)
    : code_(code), root_("C:\\ferrytest\\" + code) {
  ingsim::removeInstallation(code_);  // leftovers of an interrupted run; none is fine
  removeTree(root_);
  ingsim::InstallationOptions options;
  options.root = root_;
  options.code = code_;
  options.majorVersion = majorVersion;
  options.addToMachinePath = false;
  error_ = ingsim::createInstallation(options);
  SetEnvironmentVariableA("II_SYSTEM", root_.c_str());
}

ScopedInstallation::~ScopedInstallation() {
  ingsim::removeInstallation(code_);
  removeTree(root_);
}

std::string ScopedInstallation::addDatabase(const ingsim::DatabaseOptions& options) {
  return ingsim::addDatabase(code_, options);
}

std::string ScopedInstallation::execCatalogSql(const std::string& database,
                                               const std::string& sql) {
  sqlite3* db = nullptr;
  std::string path = ingsim::catalogPath(root_, database);
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    std::string message = "cannot open " + path + ": " + sqlite3_errmsg(db);
    sqlite3_close(db);
    return message;
  }
  char* error = nullptr;
  std::string message;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    message = std::string(error ? error : "sqlite3_exec failed") + " in: " + sql;
    sqlite3_free(error);
  } else if (sqlite3_changes(db) == 0 && sql.rfind("SELECT", 0) != 0) {
    message = "no row changed by: " + sql;
  }
  sqlite3_close(db);
  return message;
}

}  // namespace ferry::test
