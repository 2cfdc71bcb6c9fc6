// A simulated installation of the test's own, with the catalog library loaded the way the agent
// binds it: by file name, every export looked up by name.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "ingsim/installation.h"

namespace ferry::test {

struct SounderLibrary {
  using Connect = int (*)(int, const char*, int*);
  using Disconnect = int (*)(int, int*);
  using SetSessionId = int (*)(int, int*);
  using GetDbCount = int (*)(int*, int*);
  using GetDbList = int (*)(char*, int*, int*, int*);
  using GetTableCnt = int (*)(int*, int*);
  using GetTableList = int (*)(void*, char*, int*, int*, int*);
  using GetDest = int (*)(const char*, char*, int*);
  using GetDataLocNum = int (*)(const char*, int*, int*);
  using GetDataDest = int (*)(const char*, char*, int*, int*);
  using TableInfo = int (*)(void*, void*, void*, void*);

  HMODULE module = nullptr;
  Connect IngConnect = nullptr;
  Disconnect IngDisconnect = nullptr;
  SetSessionId IngSetSessionId = nullptr;
  GetDbCount IngGetDbCount = nullptr;
  GetDbList IngGetDbList = nullptr;
  GetTableCnt IngGetTableCnt = nullptr;
  GetTableList IngGetTableList = nullptr;
  GetDest IngGetJournalDest = nullptr;
  GetDest IngGetDumpDest = nullptr;
  GetDataLocNum IngGetDataLocNum = nullptr;
  GetDataDest IngGetDataDest = nullptr;
  TableInfo IngGetTableInfo = nullptr;
  TableInfo IngGetTableLocNum = nullptr;

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
