// ingsim.exe's command line, run as a process.
#include <gtest/gtest.h>

#include <string>

#include "scoped_installation.h"
#include "support/win_process.h"

namespace ingsim::test {
namespace {

ferry::test::ProcessResult ingsim(const std::string& arguments) {
  return ferry::test::runProcess("\"" + ferry::test::binDir() + "\\ingsim.exe\" " + arguments);
}

TEST(IngsimProgram, CommandLine) {
  ScopedInstallation install("TID");
  const std::string root = install.root();
  {
    SCOPED_TRACE("malformed arguments");
    for (const char* arguments :
         {"", "create --code TID", "create --code TID --root C:\\x --version 9",
          "database --code TID --name d --file nosize", "bogus"}) {
      auto run = ingsim(arguments);
      EXPECT_EQ(run.exitCode, 2u) << arguments << ": " << run.err;
      EXPECT_NE(run.err.find("usage:"), std::string::npos) << arguments << ": " << run.err;
      EXPECT_EQ(run.out, "") << arguments;
    }
    EXPECT_FALSE(exists("C:\\x\\ingres"));
  }
  {
    SCOPED_TRACE("create, refuse, force");
    auto run = ingsim("create --code TID --root " + root + " --version 3 --owner bob");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(readFile(root + "\\ingres\\version.rel")[3], '3');
    run = ingsim("create --code TID --root " + root);
    EXPECT_EQ(run.exitCode, 1u) << run.err;
    EXPECT_NE(run.err.find("already exists"), std::string::npos) << run.err;
    EXPECT_EQ(readFile(root + "\\ingres\\version.rel")[3], '3') << "refused create changed it";
    run = ingsim("create --code TID --root " + root + " --force");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(readFile(root + "\\ingres\\version.rel")[3], '2');
    run = ingsim("root --code TID");
    EXPECT_EQ(run.out, root + "\r\n");
  }
  {
    SCOPED_TRACE("database and setenv");
    auto run = ingsim("setenv --code TID II_MY_AREA " + root + "\\myarea");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    run = ingsim(
        "database --code TID --name sales --journaled --journals 2 --journal-size 1K "
        "--file aaaaaaab.t00:8K --location II_MY_AREA --file aaaaaaac.t00:3");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(readFile(dataFolder(root, "sales") + "\\aaaaaaab.t00").size(), 8192u);
    EXPECT_EQ(readFile(dataFolder(root + "\\myarea", "sales") + "\\aaaaaaac.t00").size(), 3u);
    EXPECT_EQ(readFile(journalFolder(root, "sales") + "\\j0000002.jnl").size(), 1024u);
    run = ingsim("database --code TID --name sales");
    EXPECT_EQ(run.exitCode, 1u) << "duplicate database: " << run.err;
  }
  {
    SCOPED_TRACE("accounts");
    const std::string key = "SOFTWARE\\Norvane\\IngresSim\\Accounts\\tid_user";
    auto run = ingsim("account add --name tid_user --password \"pw with blanks\" --domain DOM");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(registryString(key, "Password"), "pw with blanks");
    EXPECT_EQ(registryString(key, "Domain"), "DOM");
    run = ingsim("account remove --name tid_user");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_FALSE(registryKeyExists(key));
  }
  {
    SCOPED_TRACE("remove");
    auto run = ingsim("remove --code TID");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_FALSE(exists(root));
    run = ingsim("remove --code TID");
    EXPECT_EQ(run.exitCode, 1u) << run.err;
  }
}

}  // namespace
}  // namespace ingsim::test
