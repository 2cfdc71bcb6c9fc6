// describeInstallation: what a registered installation holds, as a person reads it. Everything
// is read back from where the installation keeps it (registry, files, catalog, folders), not
// from what ingsim was asked to make, so the report also shows what a test or a user changed.
#include <cstdio>
#include <string>
#include <vector>

#include "ingsim/catalog_store.h"
#include "ingsim/installation.h"
#include "ingsim/installation_internal.h"
#include "ingsim/symbol_file.h"
#include "ingsim/win_util.h"
#include "registry_view.h"

namespace ingsim {
namespace {

struct FolderContents {
  bool exists = false;
  int files = 0;
  uint64_t bytes = 0;
};

// The files directly in a folder; sub-folders are not entered (no location keeps any).
FolderContents folderContents(const std::string& folder) {
  FolderContents contents;
  if (folder.empty() || !isDirectory(folder)) return contents;
  contents.exists = true;
  WIN32_FIND_DATAA entry;
  UniqueFind search(FindFirstFileA((folder + "\\*").c_str(), &entry));
  if (!search.valid()) return contents;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    ++contents.files;
    contents.bytes += (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
  } while (FindNextFileA(search.get(), &entry));
  return contents;
}

std::string describeFolder(const std::string& folder) {
  if (folder.empty()) return "folder unknown (its area names an unset variable)";
  FolderContents contents = folderContents(folder);
  if (!contents.exists) return "folder " + folder + " (missing)";
  return "folder " + folder + ": " + std::to_string(contents.files) +
         (contents.files == 1 ? " file, " : " files, ") + std::to_string(contents.bytes) + " bytes";
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
    start = end + 1;
  }
  return out;
}

// config.dat pads its values into one column; one blank reads better in a report.
std::string collapsedBlanks(const std::string& line) {
  std::string out;
  for (char c : line) {
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out.push_back(c);
  }
  return out;
}

void appendVersion(const std::string& root, std::string* out) {
  std::string text;
  if (!readWholeFile(root + "\\ingres\\version.rel", &text).empty() || text.size() < 4) {
    *out += "  major version: unknown (version.rel is missing or short)\n";
    return;
  }
  // The agent reads the major version as the fourth character of the release line.
  *out += "  major version: " + std::string(1, text[3]) + " (" + lines(text).front() + ")\n";
}

void appendOwners(const std::string& root, std::string* out) {
  std::vector<std::string> owners;
  std::string text;
  if (readWholeFile(root + "\\ingres\\files\\install.log", &text).empty()) {
    for (const std::string& line : lines(text)) {
      if (line.rfind("USERNAME=", 0) == 0) owners.push_back("install.log " + line);
    }
  }
  if (readWholeFile(root + "\\ingres\\files\\config.dat", &text).empty()) {
    for (const std::string& line : lines(text)) {
      if (line.find(".privileges.user.") != std::string::npos) {
        owners.push_back("config.dat " + collapsedBlanks(line));
      }
    }
  }
  if (owners.empty()) {
    *out += "  owner: none recorded in install.log or config.dat\n";
    return;
  }
  for (size_t i = 0; i < owners.size(); ++i) {
    *out += (i == 0 ? "  owner: " : "         ") + owners[i] + "\n";
  }
}

std::string locationArea(CatalogFile& catalog, const std::string& location) {
  Statement find(catalog, "SELECT location_area FROM iilocation_info WHERE location_name=?");
  find.bind(1, location);
  return find.step() == SQLITE_ROW ? find.text(0) : "";
}

std::string appendDatabases(const std::string& root, const core::SymbolTable& symbols,
                            std::string* out) {
  CatalogFile catalog;
  std::string error = catalog.open(catalogPath(root, "iidbdb"), /*create=*/false);
  if (!error.empty()) return error;
  Statement databases(catalog,
                      "SELECT d.name, d.own, d.jnldev, d.dmpdev, s.journaled, "
                      "s.checkpoint_sequence, s.journal_sequence FROM iidatabase d "
                      "LEFT JOIN sim_database_state s ON s.name = d.name ORDER BY d.db_id");
  Statement extents(catalog,
                    "SELECT e.location_name, l.location_area FROM iiextend_info e "
                    "JOIN iilocation_info l ON l.location_name = e.location_name "
                    "WHERE e.database_name = ? ORDER BY e.rowid");
  if (!databases.ok() || !extents.ok()) return catalog.lastError("reading the catalog");
  std::string body;
  int count = 0;
  int rc;
  while ((rc = databases.step()) == SQLITE_ROW) {
    ++count;
    const std::string name = trimmedRight(databases.text(0));
    body += "  " + name + ": owner " + trimmedRight(databases.text(1)) + ", " +
            (databases.integer(4) != 0 ? "journaled" : "not journaled") + ", checkpoint sequence " +
            std::to_string(databases.integer(5)) + ", journal sequence " +
            std::to_string(databases.integer(6)) + "\n";
    extents.reset();
    extents.bind(1, name);
    int number = 0;
    while (extents.step() == SQLITE_ROW) {
      const std::string area = extents.text(1);
      body += "    data location " + std::to_string(++number) + ": " +
              trimmedRight(extents.text(0)) + ", area " + area + ", " +
              describeFolder(dataLocationFolder(symbols, area, name)) + "\n";
    }
    const std::string journal = trimmedRight(databases.text(2));
    const std::string journalArea = areaFolder(symbols, locationArea(catalog, journal));
    body += "    journal: " + journal + ", " +
            describeFolder(journalArea.empty() ? "" : journalFolder(journalArea, name)) + "\n";
    const std::string dump = trimmedRight(databases.text(3));
    const std::string dumpArea = areaFolder(symbols, locationArea(catalog, dump));
    body += "    dump: " + dump + ", " +
            describeFolder(dumpArea.empty() ? "" : dumpFolder(dumpArea, name)) + "\n";
  }
  if (rc != SQLITE_DONE) return catalog.lastError("reading iidatabase");
  *out += "databases: " + std::to_string(count) + "\n" + body;
  return "";
}

void appendVariables(const core::SymbolTable& symbols, std::string* out) {
  *out += "installation variables: " + std::to_string(symbols.symbols.size()) + "\n";
  for (const core::Symbol& symbol : symbols.symbols) {
    *out += "  " + symbol.name + "=" + symbol.value + "\n";
  }
}

// The accounts are machine-wide, not the installation's: every installation shows them all.
std::string appendAccounts(std::string* out) {
  UniqueKey accounts;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAccountsKey, 0, KEY_READ, accounts.put());
  if (rc == ERROR_FILE_NOT_FOUND) {
    *out += "simulated accounts (machine-wide): 0\n";
    return "";
  }
  if (rc != ERROR_SUCCESS) return win32Error(std::string("opening HKLM\\") + kAccountsKey, rc);
  std::string body;
  DWORD count = 0;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD nameSize = sizeof name;
    rc = RegEnumKeyExA(accounts.get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return win32Error("listing the simulated accounts", rc);
    ++count;
    // Only the domain is read: the password stays in the registry.
    char domain[256] = "";
    DWORD domainSize = sizeof domain;
    if (RegGetValueA(accounts.get(), name, "Domain", RRF_RT_REG_SZ, nullptr, domain, &domainSize) !=
        ERROR_SUCCESS) {
      domain[0] = '\0';  // an account written without a domain is a local one
    }
    body += std::string("  ") + name +
            (domain[0] == '\0' ? " (local)" : std::string(" (domain ") + domain + ")") + "\n";
  }
  *out += "simulated accounts (machine-wide): " + std::to_string(count) + "\n" + body;
  return "";
}

}  // namespace

std::string describeInstallation(const std::string& code, std::string* report) {
  report->clear();
  const std::string root = installationRoot(code);
  if (root.empty()) return "installation " + code + " is not registered";
  core::SymbolTable symbols;
  std::string error = readSymbolTable(root, &symbols);
  if (!error.empty()) return error;

  std::string out = "installation " + code + "\n";
  out += "  root: " + root + "\n";
  // Where the installation's key is registered: an x86 ingsim makes a 32-bit installation, with
  // its key in the 32-bit view of the registry and 32-bit programs, as a 32-bit Ingres is.
  out += std::string("  registered in the ") + ferry::registryViewName() + " registry view\n";
  appendVersion(root, &out);
  appendOwners(root, &out);
  error = appendDatabases(root, symbols, &out);
  if (!error.empty()) return error;
  appendVariables(symbols, &out);
  error = appendAccounts(&out);
  if (!error.empty()) return error;
  *report = out;
  return "";
}

}  // namespace ingsim
