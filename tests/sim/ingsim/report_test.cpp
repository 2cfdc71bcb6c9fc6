// describeInstallation and "ingsim show": the report of what an installation holds, read back
// from the registry, the files, the catalog and the folders.
#include <gtest/gtest.h>

#include <string>

#include "ingsim/installation.h"
#include "scoped_installation.h"
#include "support/win_process.h"

namespace ingsim::test {
namespace {

// Removes a simulated account at the end of the test, and any leftover at the start.
class ScopedAccount {
 public:
  explicit ScopedAccount(const Account& account) : name_(account.name) {
    removeAccount(name_);  // "does not exist" is the normal case
    error_ = addAccount(account);
  }
  ScopedAccount(const ScopedAccount&) = delete;
  ScopedAccount& operator=(const ScopedAccount&) = delete;
  ~ScopedAccount() { removeAccount(name_); }
  const std::string& error() const { return error_; }

 private:
  std::string name_;
  std::string error_;
};

bool has(const std::string& report, const std::string& line) {
  return report.find(line + "\n") != std::string::npos;
}

TEST(IngsimReport, DescribesEveryPartOfTheInstallation) {
  ScopedInstallation install("TIS");
  InstallationOptions options = install.options(3);
  options.installLogOwner = "bob";
  options.configDatUsers = {"bob"};
  options.hostName = "tishost";
  options.addToMachinePath = false;
  ASSERT_EQ(createInstallation(options), "");
  const std::string root = install.root();
  ASSERT_EQ(setVariable("TIS", "II_TIS_AREA", root + "\\area2"), "");
  DatabaseOptions db;
  db.name = "payroll";
  db.owner = "carol";
  db.journaled = true;
  db.checkpointSequence = 4;
  db.journalFiles = 3;
  db.journalFileSize = 1000;
  db.locations = {{"", {{"aaaaaaab.t00", 70000}, {"empty.t00", 0}}},
                  {"II_TIS_AREA", {{"aaaaaaac.t00", 4097}}}};
  db.dumpFiles = {{"d0000001.dmp", 3000}};
  db.configFileSize = 2048;
  ASSERT_EQ(addDatabase("TIS", db), "");
  ScopedAccount account({"tis_user", "secret-pw-of-tis", "TISDOM"});
  ASSERT_EQ(account.error(), "");

  std::string report = "marker";
  ASSERT_EQ(describeInstallation("TIS", &report), "");
  {
    SCOPED_TRACE("installation");
    EXPECT_EQ(report.rfind("installation TIS\n  root: " + root + "\n", 0), 0u) << report;
    EXPECT_TRUE(has(report, "  major version: 3 (II 3.0.3 (int.w32/109))")) << report;
    EXPECT_TRUE(has(report, "  owner: install.log USERNAME=bob")) << report;
    EXPECT_TRUE(has(report,
                    "         config.dat ii.tishost.privileges.user.bob: "
                    "SERVER_CONTROL,NET_ADMIN,MONITOR,TRUSTED"))
        << report;
  }
  {
    SCOPED_TRACE("databases, in the order they were made");
    EXPECT_TRUE(has(report, "databases: 2")) << report;
    size_t iidbdb = report.find("  iidbdb: owner $ingres, not journaled");
    size_t payroll = report.find(
        "  payroll: owner carol, journaled, checkpoint sequence 4, journal sequence 3\n");
    ASSERT_NE(iidbdb, std::string::npos) << report;
    ASSERT_NE(payroll, std::string::npos) << report;
    EXPECT_LT(iidbdb, payroll) << report;
    const std::string part = report.substr(payroll);
    EXPECT_NE(part.find("    data location 1: ii_database, area " + root + ", folder " +
                        dataFolder(root, "payroll") + ": 2 files, 70000 bytes\n"),
              std::string::npos)
        << part;
    EXPECT_NE(part.find("    data location 2: loc_data001, area II_TIS_AREA, folder " +
                        dataFolder(root + "\\area2", "payroll") + ": 1 file, 4097 bytes\n"),
              std::string::npos)
        << part;
    EXPECT_NE(part.find("    journal: ii_journal, folder " + journalFolder(root, "payroll") +
                        ": 3 files, 3000 bytes\n"),
              std::string::npos)
        << part;
    EXPECT_NE(part.find("    dump: ii_dump, folder " + dumpFolder(root, "payroll") +
                        ": 2 files, 5048 bytes\n"),
              std::string::npos)
        << part;
  }
  {
    SCOPED_TRACE("variables and accounts");
    EXPECT_TRUE(has(report, "  II_INSTALLATION=TIS")) << report;
    EXPECT_TRUE(has(report, "  II_TIS_AREA=" + root + "\\area2")) << report;
    EXPECT_TRUE(has(report, "  tis_user (domain TISDOM)")) << report;
    EXPECT_EQ(report.find("secret-pw-of-tis"), std::string::npos) << "password shown:\n" << report;
  }
  {
    SCOPED_TRACE("a folder removed behind the catalog's back shows as missing");
    ferry::test::removeTree(journalFolder(root, "payroll"));
    ASSERT_EQ(describeInstallation("TIS", &report), "");
    EXPECT_TRUE(has(
        report, "    journal: ii_journal, folder " + journalFolder(root, "payroll") + " (missing)"))
        << report;
  }
  {
    SCOPED_TRACE("an installation that is not registered");
    report = "marker";
    EXPECT_NE(describeInstallation("TISX", &report), "");
    EXPECT_EQ(report, "");
  }
}

TEST(IngsimReport, ShowCommandPrintsTheReport) {
  ScopedInstallation install("TIT");
  InstallationOptions options = install.options(2);
  options.addToMachinePath = false;
  ASSERT_EQ(createInstallation(options), "");
  std::string expected;
  ASSERT_EQ(describeInstallation("TIT", &expected), "");
  const std::string ingsim = "\"" + ferry::test::binDir() + "\\ingsim.exe\" ";
  auto run = ferry::test::runProcess(ingsim + "show --code TIT");
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  // Standard output is in text mode: every line ends in CR LF.
  std::string out = run.out;
  for (size_t at; (at = out.find("\r\n")) != std::string::npos;) out.erase(at, 1);
  // The accounts are machine-wide and other tests change them meanwhile: compare the rest.
  const std::string accounts = "simulated accounts (machine-wide): ";
  ASSERT_NE(expected.find(accounts), std::string::npos) << expected;
  EXPECT_EQ(out.substr(0, out.find(accounts)), expected.substr(0, expected.find(accounts)));
  EXPECT_NE(out.find("  major version: 2 "), std::string::npos) << out;
  EXPECT_NE(out.find("  owner: none recorded in install.log or config.dat\n"), std::string::npos)
      << out;
  run = ferry::test::runProcess(ingsim + "show --code TITX");
  EXPECT_EQ(run.exitCode, 1u) << run.err;
  EXPECT_NE(run.err.find("not registered"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace ingsim::test
