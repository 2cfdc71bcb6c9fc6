// A simulated installation of the test's own, with the catalog library loaded the way the agent
// binds it: by file name, every export looked up by name.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "ingsim/installation.h"
#include "sounder.h"

namespace ferry::test {

struct SounderLibrary {
  HMODULE module = nullptr;
  PFN_IngConnect IngConnect = nullptr;
  PFN_IngDisconnect IngDisconnect = nullptr;
  PFN_IngSetSessionId IngSetSessionId = nullptr;
  PFN_IngGetDbCount IngGetDbCount = nullptr;
  PFN_IngGetDbList IngGetDbList = nullptr;
  PFN_IngGetTableCnt IngGetTableCnt = nullptr;
  PFN_IngGetTableList IngGetTableList = nullptr;
  PFN_IngGetDest IngGetJournalDest = nullptr;
  PFN_IngGetDest IngGetDumpDest = nullptr;
  PFN_IngGetDataLocNum IngGetDataLocNum = nullptr;
  PFN_IngGetDataDest IngGetDataDest = nullptr;
  PFN_IngGetTableInfo IngGetTableInfo = nullptr;
  PFN_IngGetTableInfo IngGetTableLocNum = nullptr;

  // Loads <bin>\<fileName> and binds all thirteen names; returns "" or what failed.
  std::string load(const std::string& fileName);
  ~SounderLibrary();
};

// Creates installation `code` under C:\ferrytest\<code> and points II_SYSTEM (the runtime's way
// of finding it) at it; removes everything again on destruction.
class ScopedInstallation {
 public:
  explicit ScopedInstallation(const std::string& code, int majorVersion = 2);
  ~ScopedInstallation();
  const std::string& root() const { return root_; }
  const std::string& code() const { return code_; }
  const std::string& error() const { return error_; }
  std::string addDatabase(const ingsim::DatabaseOptions& options);
  // Runs SQL on a database's catalog file (to break or reshape the catalog for a test).
  std::string execCatalogSql(const std::string& database, const std::string& sql);

 private:
  std::string code_;
  std::string root_;
  std::string error_;
};

}  // namespace ferry::test
