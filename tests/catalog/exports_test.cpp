// Both builds of the catalog library export exactly the thirteen names the agent binds, and take
// the embedded-SQL runtime from oiembdnt.dll rather than carrying one of their own.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/win_process.h"

namespace ferry::test {
namespace {

struct ModuleTables {
  std::vector<std::string> exports;
  std::vector<std::string> imports;
};

ModuleTables readTables(HMODULE module) {
  ModuleTables tables;
  auto base = reinterpret_cast<const unsigned char*>(module);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  const auto& exportDir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (exportDir.VirtualAddress != 0) {
    auto dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + exportDir.VirtualAddress);
    auto names = reinterpret_cast<const DWORD*>(base + dir->AddressOfNames);
    for (DWORD i = 0; i < dir->NumberOfNames; ++i) {
      tables.exports.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    }
  }
  const auto& importDir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (importDir.VirtualAddress != 0) {
    auto desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + importDir.VirtualAddress);
    for (; desc->Name != 0; ++desc) {
      std::string name = reinterpret_cast<const char*>(base + desc->Name);
      std::transform(name.begin(), name.end(), name.begin(), ::tolower);
      tables.imports.push_back(name);
    }
  }
  return tables;
}

std::string listed(const std::vector<std::string>& names) {
  std::string text;
  for (const auto& n : names) text += n + " ";
  return text;
}

TEST(CatalogExports, ExactlyTheThirteenNames) {
  std::vector<std::string> expected = {"IngConnect",       "IngDisconnect",     "IngGetDataDest",
                                       "IngGetDataLocNum", "IngGetDbCount",     "IngGetDbList",
                                       "IngGetDumpDest",   "IngGetJournalDest", "IngGetTableCnt",
                                       "IngGetTableInfo",  "IngGetTableList",   "IngGetTableLocNum",
                                       "IngSetSessionId"};
  for (const char* file : {"sounder26.dll", "sounder30.dll"}) {
    SCOPED_TRACE(file);
    HMODULE module = LoadLibraryA((binDir() + "\\" + file).c_str());
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    ModuleTables tables = readTables(module);
    std::vector<std::string> exports = tables.exports;
    std::sort(exports.begin(), exports.end());
    EXPECT_EQ(exports, expected) << listed(exports);
    EXPECT_EQ(GetProcAddress(module, "IngGetTableInfo"),
              GetProcAddress(module, "IngGetTableLocNum"))
        << "one body serves both names";
    EXPECT_NE(std::find(tables.imports.begin(), tables.imports.end(), "oiembdnt.dll"),
              tables.imports.end())
        << listed(tables.imports);
    FreeLibrary(module);
  }
}

}  // namespace
}  // namespace ferry::test
