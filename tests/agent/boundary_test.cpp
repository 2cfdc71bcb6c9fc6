// Names that enter through the entry points are held to Ingres' rules before they reach a path
// or a command line: database names in object names and installation codes at connect.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "agent_fixture.h"
#include "ferryman.h"
#include "ingsim/installation.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

template <typename Fn>
Fn bound(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string joined(const std::vector<std::string>& paths) {
  std::string text;
  for (const std::string& path : paths) text += "\n  " + path;
  return text;
}

class Boundary : public testing::Test {
 protected:
  ScopedTestDirectory testDirectory_;  // made first, undone last

  void SetUp() override {
    savedMachineRoot_ = machineEnvironmentValue("II_SYSTEM");
    agent_ = std::make_unique<AgentCopy>("boundary", agentCompanions());
    ASSERT_EQ(agent_->setupError(), "");
    ASSERT_EQ(agent_->load(), 0u);
    HMODULE module = agent_->module();
    connect_ = bound<PFN_DSAConnectAgent>(module, "DSAConnectAgent");
    disconnect_ = bound<PFN_DSADisconnectAgent>(module, "DSADisconnectAgent");
    beginBackup_ = bound<PFN_DSABeginBackup>(module, "DSABeginBackup");
    beginRestore_ = bound<PFN_DSABeginRestore>(module, "DSABeginRestore");
    enumerate_ = bound<PFN_DSAEnumObjects>(module, "DSAEnumObjects");
    ASSERT_TRUE(connect_ && disconnect_ && beginBackup_ && beginRestore_ && enumerate_);
    installation_ = std::make_unique<TestInstallation>(installationOptions("NB", 2));
    ASSERT_EQ(installation_->error(), "");
    ingsim::DatabaseOptions db;
    db.name = "x";  // what "\..\x" would reach if it were taken apart
    db.journaled = true;
    db.journalFiles = 1;
    ASSERT_EQ(ingsim::addDatabase("NB", db), "");
    account_ = std::make_unique<ScopedAccount>(ingsim::Account{"ingres", "pw-NB", ""});
    ASSERT_EQ(account_->error(), "");
  }

  void TearDown() override {
    if (connectionId_ != 0) {
      EXPECT_EQ(disconnect_(connectionId_), 0u);
    }
    agent_.reset();
    account_.reset();
    removeAgentInstallation(&installation_);
    setMachineEnvironmentValue("II_SYSTEM", savedMachineRoot_);
  }

  std::set<std::string> files() const {
    std::set<std::string> paths;
    for (const std::string& folder : {agent_->folder(), installation_->root()}) {
      for (const std::string& path : filesBelow(folder)) paths.insert(path);
    }
    // The root of C:, where earlier agents' utility output went.
    for (const std::string& path : filesMatching("C:\\*")) paths.insert(path);
    return paths;
  }

  // Runs `calls` and names every file that was not there before.
  std::vector<std::string> filesMadeBy(const std::function<void()>& calls) const {
    const std::set<std::string> before = files();
    calls();
    std::vector<std::string> made;
    for (const std::string& path : files()) {
      if (!before.count(path)) made.push_back(path);
    }
    return made;
  }

  std::string savedMachineRoot_;
  std::unique_ptr<AgentCopy> agent_;
  std::unique_ptr<TestInstallation> installation_;
  std::unique_ptr<ScopedAccount> account_;
  uint32_t connectionId_ = 0;
  PFN_DSAConnectAgent connect_ = nullptr;
  PFN_DSADisconnectAgent disconnect_ = nullptr;
  PFN_DSABeginBackup beginBackup_ = nullptr;
  PFN_DSABeginRestore beginRestore_ = nullptr;
  PFN_DSAEnumObjects enumerate_ = nullptr;
};

TEST_F(Boundary, NamesBreakingIngresRulesAreRefusedBeforeAnyFileIsMade) {
  {
    SCOPED_TRACE("installation codes at connect: 18, no id taken");
    std::vector<std::string> made = filesMadeBy([&] {
      for (const char* instance :
           {"server@..\\x", "server@N", "server@NBB", "server@N\\", "server@N B", "server@"}) {
        uint32_t id = 0xdeadbeef;
        EXPECT_EQ(connect_(0, instance, "ingres", "pw-NB", &id), DSA_ERROR_INSTANCE) << instance;
        EXPECT_EQ(id, 0u) << instance;
      }
    });
    EXPECT_TRUE(made.empty()) << "made:" << joined(made);
  }
  ASSERT_EQ(connect_(0, "server@NB", "ingres", "pw-NB", &connectionId_), 0u);
  EXPECT_EQ(connectionId_, 1u) << "the refused connects took no id";

  {
    SCOPED_TRACE("backup: 21 before the journal, data or configuration begin step");
    std::vector<std::string> made = filesMadeBy([&] {
      for (std::string name : std::vector<std::string>{
               "~JOURNAL OF DATABASE \\..\\x", "~JOURNAL OF DATABASE ..",
               "~JOURNAL OF DATABASE a b", "~JOURNAL OF DATABASE x\\..\\x", "..\\x.DATA",
               "a\\x.DATA", "x y.~CONFIG", std::string(33, 'x') + ".DATA"}) {
        uint32_t backupId = 77;
        uint32_t remote = 0;
        EXPECT_EQ(beginBackup_(connectionId_, name.data(), 0, &backupId, &remote),
                  DSA_ERROR_UNKNOWN_OBJECT)
            << name;
        EXPECT_EQ(backupId, 0u) << name;
      }
    });
    EXPECT_TRUE(made.empty()) << "made:" << joined(made);
  }
  {
    SCOPED_TRACE("restore: 21, no restore session opened");
    std::vector<std::string> made = filesMadeBy([&] {
      for (const char* name : {"~JOURNAL OF DATABASE x\\y", "a\\x.DATA", "x:y.~CONFIG"}) {
        uint32_t restoreId = 77, ioUnit = 77;
        EXPECT_EQ(beginRestore_(connectionId_, name, 0, &restoreId, &ioUnit),
                  DSA_ERROR_UNKNOWN_OBJECT)
            << name;
        EXPECT_EQ(restoreId, 0u) << name;
      }
    });
    EXPECT_TRUE(made.empty()) << "made:" << joined(made);
  }
  {
    SCOPED_TRACE("object sizes and properties: 21, nothing measured");
    std::vector<std::string> made = filesMadeBy([&] {
      for (uint32_t type : {2u, 5u}) {
        for (const char* name : {"~JOURNAL OF DATABASE \\..\\x", "a\\..\\x.DATA"}) {
          unsigned char buffer[64];
          std::memset(buffer, 0xbd, sizeof buffer);
          uint32_t size = sizeof buffer;
          EXPECT_EQ(enumerate_(connectionId_, name, type, buffer, &size), DSA_ERROR_UNKNOWN_OBJECT)
              << name << " type " << type;
          EXPECT_EQ(buffer[0], 0xbd) << name << " type " << type;
        }
      }
    });
    EXPECT_TRUE(made.empty()) << "made:" << joined(made);
  }
  {
    SCOPED_TRACE("a valid name on the same connection still begins");
    char name[] = "~JOURNAL OF DATABASE x";
    uint32_t backupId = 0, remote = 0;
    EXPECT_EQ(beginBackup_(connectionId_, name, 0, &backupId, &remote), 0u);
    EXPECT_EQ(backupId, 1u) << "the refused begins took no backup id";
  }
}

}  // namespace
}  // namespace ferry::test
