// ingsim_lib: installations, databases, the machine Path and accounts, checked on the registry,
// the files and the catalog they leave behind.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "core/sample_pattern.h"
#include "ingsim/installation.h"
#include "ingsim/machine_path.h"
#include "scoped_installation.h"
#include "support/child_role.h"
#include "support/win_process.h"

namespace ingsim::test {
namespace {

const std::string kInstallKey = "SOFTWARE\\Norvane\\IngresII\\";
const std::string kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\Ingres_Database_";

int pathEntryCount(const std::string& folder) {
  std::string path = machinePath() + ";";
  std::string lowerPath = path, lowerFolder = folder;
  for (auto* s : {&lowerPath, &lowerFolder}) {
    std::transform(s->begin(), s->end(), s->begin(), [](char c) { return std::tolower(c); });
  }
  int count = 0;
  size_t start = 0;
  for (size_t end; (end = lowerPath.find(';', start)) != std::string::npos; start = end + 1) {
    count += lowerPath.substr(start, end - start) == lowerFolder;
  }
  return count;
}

std::string lowerComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof name;
  GetComputerNameA(name, &size);
  std::string out(name, size);
  for (char& c : out) c = static_cast<char>(std::tolower(c));
  return out;
}

// Rows of a query as "a|b|c" lines.
std::string query(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return "<cannot open " + file + ">";
  }
  std::string out;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    out = std::string("<") + sqlite3_errmsg(db) + ">";
  } else {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        const unsigned char* text = sqlite3_column_text(statement, i);
        out += (i > 0 ? "|" : "") + std::string(text ? reinterpret_cast<const char*>(text) : "");
      }
      out += "\n";
    }
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return out;
}

// First mismatching offset of a sample file, or -1 when it has the size and pattern expected.
long long firstBadByte(const std::string& path, const std::string& name, uint64_t size) {
  std::string contents = readFile(path);
  if (contents.size() != size) return -2;
  for (uint64_t i = 0; i < size; ++i) {
    if (static_cast<unsigned char>(contents[i]) != sampleByte(name, i))
      return static_cast<long long>(i);
  }
  return -1;
}

TEST(IngsimInstallation, CreateRegistersFilesAndPath) {
  ScopedInstallation install("TIA");
  InstallationOptions options = install.options(3);
  options.installLogOwner = "bob";
  options.configDatUsers = {"system", "bob"};
  ASSERT_EQ(createInstallation(options), "");
  const std::string bin = install.bin();
  {
    SCOPED_TRACE("registry");
    EXPECT_EQ(registryString(kInstallKey + "TIA_Installation", "II_SYSTEM"), install.root());
    EXPECT_EQ(installationRoot("TIA"), install.root());
    EXPECT_TRUE(registryKeyExists(kServiceKey + "TIA"));
    DWORD type = 0;
    registryString("SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", "Path",
                   &type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ)) << "Path must keep its type";
    EXPECT_EQ(pathEntryCount(bin), 1) << machinePath();
  }
  {
    SCOPED_TRACE("files");
    std::string version = readFile(install.root() + "\\ingres\\version.rel");
    ASSERT_GE(version.size(), 4u) << version;
    EXPECT_EQ(version[3], '3') << version;
    std::string log = readFile(install.root() + "\\ingres\\files\\install.log");
    EXPECT_NE(log.find("\nUSERNAME=bob\n"), std::string::npos) << log;
    std::string config = readFile(install.root() + "\\ingres\\files\\config.dat");
    const std::string prefix = "ii." + lowerComputerName() + ".privileges.user.";
    for (const char* user : {"system", "bob"}) {
      size_t at = config.find(prefix + user + ":");
      ASSERT_NE(at, std::string::npos) << user << " in\n" << config;
      std::string line = config.substr(at, config.find('\n', at) - at);
      EXPECT_NE(line.find("SERVER_CONTROL,NET_ADMIN,MONITOR,TRUSTED"), std::string::npos) << line;
    }
    size_t complete = config.find(".config.dbms.");
    ASSERT_NE(complete, std::string::npos) << config;
    std::string line = config.substr(complete, config.find('\n', complete) - complete);
    EXPECT_EQ(line.substr(line.size() - 8), "COMPLETE") << line;
    std::string symbols = readFile(install.root() + "\\ingres\\files\\symbol.tbl");
    EXPECT_TRUE(!symbols.empty() && symbols.size() % 256 == 0) << symbols.size();
    EXPECT_NE(symbols.find("II_INSTALLATION\tTIA "), std::string::npos) << symbols;
    for (const char* program : {"infodb.exe", "ingprenv.exe", "ingsetenv.exe", "ingunset.exe"}) {
      EXPECT_TRUE(exists(bin + "\\" + program)) << program;
    }
  }
  {
    SCOPED_TRACE("refused without overwrite, by code or by root");
    std::string marker = install.root() + "\\ingres\\files\\marker";
    ASSERT_TRUE(CloseHandle(
        CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)));
    EXPECT_NE(createInstallation(options), "");
    InstallationOptions otherCode = options;
    otherCode.code = "TIZ";
    EXPECT_NE(createInstallation(otherCode), "") << "root already holds an installation";
    EXPECT_EQ(installationRoot("TIZ"), "");
    EXPECT_TRUE(exists(marker)) << "a refused create must not touch the installation";
    options.overwrite = true;
    options.majorVersion = 2;
    options.installLogOwner.clear();
    ASSERT_EQ(createInstallation(options), "");
    EXPECT_FALSE(exists(marker));
    EXPECT_EQ(readFile(install.root() + "\\ingres\\version.rel")[3], '2');
    EXPECT_EQ(readFile(install.root() + "\\ingres\\files\\install.log").find("USERNAME="),
              std::string::npos);
    EXPECT_EQ(pathEntryCount(bin), 1) << machinePath();
  }
  {
    SCOPED_TRACE("remove");
    ASSERT_EQ(removeInstallation("TIA"), "");
    EXPECT_FALSE(registryKeyExists(kInstallKey + "TIA_Installation"));
    EXPECT_FALSE(registryKeyExists(kServiceKey + "TIA"));
    EXPECT_FALSE(exists(install.root()));
    EXPECT_EQ(pathEntryCount(bin), 0) << machinePath();
    EXPECT_NE(removeInstallation("TIA"), "");
  }
  {
    SCOPED_TRACE("invalid options");
    InstallationOptions bad = install.options(4);
    EXPECT_NE(createInstallation(bad), "");
    bad = install.options();
    bad.root = "relative\\root";
    EXPECT_NE(createInstallation(bad), "");
    bad = install.options();
    bad.code = "TOO_LONG_CODE";
    EXPECT_NE(createInstallation(bad), "");
    EXPECT_FALSE(exists(install.root()));
  }
}

TEST(IngsimInstallation, DatabaseCatalogAndFiles) {
  ScopedInstallation install("TIB");
  ASSERT_EQ(createInstallation(install.options()), "");
  const std::string root = install.root();
  const std::string area2 = root + "\\area2";
  const std::string area3 = root + "\\area3";
  ASSERT_EQ(setVariable("TIB", "II_AREA3", area3), "");

  DatabaseOptions db;
  db.name = "payroll";
  db.owner = "bob";
  db.journaled = true;
  db.journalFiles = 3;
  db.journalFileSize = 1000;
  db.checkpointSequence = 2;
  db.locations = {{"", {{"aaaaaaab.t00", 70000}, {"empty.t00", 0}}},
                  {area2, {{"aaaaaaac.t00", 5u << 20}}},
                  {"II_AREA3", {{"aaaaaaad.t00", 4097}}}};
  db.dumpFiles = {{"d0000001.dmp", 3000}};
  db.configFileSize = 2048;
  db.userTables = {"employees"};
  ASSERT_EQ(addDatabase("TIB", db), "");
  DatabaseOptions plain;
  plain.name = "plain";
  plain.userTables = {"t1"};
  ASSERT_EQ(addDatabase("TIB", plain), "");

  const std::string master = catalogPath(root, "iidbdb");
  {
    SCOPED_TRACE("iidatabase");
    EXPECT_EQ(query(master, "SELECT trim(name), trim(own) FROM iidatabase ORDER BY rowid"),
              "iidbdb|$ingres\npayroll|bob\nplain|ingres\n");
    EXPECT_EQ(query(master,
                    "SELECT length(name), trim(dbdev), trim(jnldev), trim(dmpdev), "
                    "trim(ckpdev) FROM iidatabase WHERE name='payroll'"),
              "32|ii_database|ii_journal|ii_dump|ii_checkpoint\n");
  }
  {
    SCOPED_TRACE("locations and extents");
    EXPECT_EQ(query(master,
                    "SELECT trim(location_name), data_usage, location_area FROM "
                    "iilocation_info WHERE location_name NOT LIKE 'ii_%' ORDER BY rowid"),
              "loc_data001|Y|" + area2 + "\nloc_data002|Y|II_AREA3\n");
    EXPECT_EQ(query(master,
                    "SELECT location_area FROM iilocation_info WHERE "
                    "location_name='ii_journal'"),
              root + "\n");
    // The catalog library's own data-location query.
    EXPECT_EQ(query(master,
                    "select distinct location_area from iilocation_info where location_name in "
                    "(select iilocation_info.location_name from iilocation_info, iiextend_info "
                    "where iilocation_info.data_usage='Y' and iilocation_info.location_name "
                    "=iiextend_info.location_name and iiextend_info.database_name='payroll')"),
              root + "\n" + area2 + "\nII_AREA3\n");
    EXPECT_EQ(query(master, "SELECT count(*) FROM iiextend_info WHERE database_name='plain'"),
              "1\n");
    EXPECT_EQ(query(master,
                    "SELECT journaled, checkpoint_sequence, journal_sequence FROM "
                    "sim_database_state WHERE name='payroll'"),
              "1|2|3\n");
  }
  {
    SCOPED_TRACE("iitables");
    EXPECT_EQ(query(catalogPath(root, "payroll"),
                    "SELECT '[' || table_name || ']', trim(table_owner), is_journalled FROM "
                    "iitables WHERE system_use='U'"),
              "[employees                       ]|bob|Y\n");
    EXPECT_EQ(query(catalogPath(root, "plain"),
                    "SELECT trim(table_name), is_journalled FROM iitables WHERE system_use='U'"),
              "t1|N\n");
  }
  {
    SCOPED_TRACE("sample files");
    struct Expected {
      std::string path, name;
      uint64_t size;
    };
    const Expected files[] = {
        {dataFolder(root, "payroll"), "aaaaaaab.t00", 70000},
        {dataFolder(root, "payroll"), "empty.t00", 0},
        {dataFolder(area2, "payroll"), "aaaaaaac.t00", 5u << 20},
        {dataFolder(area3, "payroll"), "aaaaaaad.t00", 4097},
        {journalFolder(root, "payroll"), "j0000001.jnl", 1000},
        {journalFolder(root, "payroll"), "j0000003.jnl", 1000},
        {dumpFolder(root, "payroll"), "aaaaaaaa.cnf", 2048},
        {dumpFolder(root, "payroll"), "d0000001.dmp", 3000},
    };
    for (const Expected& f : files) {
      EXPECT_EQ(firstBadByte(f.path + "\\" + f.name, f.name, f.size), -1)
          << f.path << "\\" << f.name << " (-2: wrong size)";
    }
    EXPECT_FALSE(exists(journalFolder(root, "payroll") + "\\j0000004.jnl"));
    EXPECT_TRUE(exists(checkpointFolder(root, "payroll")));
    EXPECT_TRUE(exists(journalFolder(root, "plain")));
  }
  {
    SCOPED_TRACE("refusals leave nothing behind");
    EXPECT_NE(addDatabase("TIB", plain), "") << "duplicate";
    EXPECT_NE(addDatabase("TIX", plain), "") << "unknown installation";
    DatabaseOptions bad;
    bad.name = "Upper";
    EXPECT_NE(addDatabase("TIB", bad), "");
    bad.name = "badarea";
    bad.locations = {{"relative\\path", {}}};
    EXPECT_NE(addDatabase("TIB", bad), "");
    bad.locations = {{area2, {}}, {area2 + "\\", {}}};
    EXPECT_NE(addDatabase("TIB", bad), "") << "two locations in one area";
    bad.locations.clear();
    bad.journalArea = "II_UNSET_VARIABLE";
    EXPECT_NE(addDatabase("TIB", bad), "");
    EXPECT_EQ(query(master, "SELECT count(*) FROM iidatabase"), "3\n");
    EXPECT_FALSE(exists(dataFolder(root, "badarea")));
  }
  {
    SCOPED_TRACE("remove takes the areas outside <root>\\ingres too");
    ASSERT_EQ(removeInstallation("TIB"), "");
    EXPECT_FALSE(exists(area2)) << "empty area folders are pruned";
    EXPECT_FALSE(exists(root));
  }
}

// Adds and removes Path entries of its own while another process does the same.
FERRY_CHILD_ROLE(path_editor) {
  const std::string prefix = argc > 0 ? argv[0] : "x";
  for (int i = 0; i < 15; ++i) {
    std::string folder = "C:\\ferrytest\\TIC\\" + prefix + std::to_string(i);
    if (!addMachinePathEntry(folder).empty()) return 1;
    if (i % 3 == 0 && !removeMachinePathEntry(folder).empty()) return 2;
  }
  return 0;
}

TEST(IngsimInstallation, ConcurrentPathEditsLoseNothing) {
  std::vector<ferry::test::ProcessResult> results(2);
  std::vector<std::thread> runs;
  for (int child = 0; child < 2; ++child) {
    runs.emplace_back([child, &results] {
      results[child] =
          ferry::test::runProcess("\"" + ferry::test::selfPath() + "\" --child path_editor p" +
                                  std::to_string(child) + "_");
    });
  }
  for (std::thread& t : runs) t.join();
  for (int child = 0; child < 2; ++child) {
    EXPECT_EQ(results[child].exitCode, 0u) << "child " << child << ": " << results[child].err;
  }
  for (int child = 0; child < 2; ++child) {
    for (int i = 0; i < 15; ++i) {
      std::string folder =
          "C:\\ferrytest\\TIC\\p" + std::to_string(child) + "_" + std::to_string(i);
      EXPECT_EQ(pathEntryCount(folder), i % 3 == 0 ? 0 : 1) << folder << " in " << machinePath();
      removeMachinePathEntry(folder);
      EXPECT_EQ(pathEntryCount(folder), 0) << folder;
    }
  }
}

TEST(IngsimAccounts, AddAndRemove) {
  const std::string key = "SOFTWARE\\Norvane\\IngresSim\\Accounts\\tia_user";
  removeAccount("tia_user");  // leftover of an earlier run
  ASSERT_EQ(addAccount({"tia_user", "s3cret pass", "CORP"}), "");
  DWORD type = 0;
  EXPECT_EQ(registryString(key, "Password", &type), "s3cret pass");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(registryString(key, "Domain", &type), "CORP");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  ASSERT_EQ(addAccount({"tia_user", "changed", ""}), "") << "adding again updates";
  EXPECT_EQ(registryString(key, "Password"), "changed");
  EXPECT_EQ(registryString(key, "Domain"), "");
  EXPECT_EQ(removeAccount("tia_user"), "");
  EXPECT_FALSE(registryKeyExists(key));
  EXPECT_NE(removeAccount("tia_user"), "");
  EXPECT_NE(addAccount({"bad\\name", "p", ""}), "");
}

}  // namespace
}  // namespace ingsim::test
