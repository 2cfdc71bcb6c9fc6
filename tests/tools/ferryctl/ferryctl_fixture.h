// ferryctl.exe as a user runs it, shared by the console's tests against the testbed agent: a
// process with its exit code and output, and a fixture with an installation, an account and an
// agent copy of the test's own.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "agent/agent_fixture.h"
#include "ingsim/installation.h"
#include "support/win_process.h"

namespace ferry::test {

std::string testbedAgent();

// Console output ends its lines with CR LF; the tests compare the text.
std::string withoutCarriageReturns(std::string text);

struct CtlRun {
  ProcessResult process;
  std::string out;
  std::string err;
  std::string describe() const {
    return "started " + std::to_string(process.started) + " (error " +
           std::to_string(process.error) + "), timed out " + std::to_string(process.timedOut) +
           ", exit " + std::to_string(process.exitCode) + "\nstdout: " + out + "\nstderr: " + err;
  }
};

CtlRun ferryctl(const std::string& arguments);

std::string quoted(const std::string& text);

// An installation of the test's own under the account "ingres", and the testbed agent copied
// into a folder of the test's own with its companions and the extractor; ferryctl runs from
// C:\ferrytest (whatever a utility writes relative to the current drive lands on C:).
class FerryctlAgent : public testing::Test {
 protected:
  ScopedTestDirectory testDirectory_;  // made first, undone last

  void SetUp() override { savedMachineRoot_ = machineEnvironmentValue("II_SYSTEM"); }

  void TearDown() override {
    agent_.reset();
    account_.reset();
    removeAgentInstallation(&installation_);
    for (const std::string& path : removeAfterwards_) removeTree(path);
    setMachineEnvironmentValue("II_SYSTEM", savedMachineRoot_);
  }

  // Use with ASSERT_NO_FATAL_FAILURE.
  void install(const std::string& code, const std::string& root = "") {
    std::vector<Companion> companions = agentCompanions();
    companions.push_back({"basetool.dll", "basetool.dll"});
    companions.push_back({"siphon.exe", "siphon.exe"});
    agent_ = std::make_unique<AgentCopy>("ctl_" + code, companions);
    ASSERT_EQ(agent_->setupError(), "");
    ingsim::InstallationOptions options = installationOptions(code, 2);
    options.root = root;
    installation_ = std::make_unique<TestInstallation>(options);
    ASSERT_EQ(installation_->error(), "") << code;
    password_ = "pw-" + code;
    account_ = std::make_unique<ScopedAccount>(ingsim::Account{"ingres", password_, ""});
    ASSERT_EQ(account_->error(), "");
  }

  // A folder beside the installation's root for a second location (removed afterwards).
  std::string area(const std::string& suffix) {
    std::string path = installation_->root() + "_" + suffix;
    removeTree(path);
    removeAfterwards_.push_back(path);
    return path;
  }

  // The journaled database "shop" of the round trips: two journals, a dump file, two data files
  // in the installation's own location (the second of `secondFileBytes`) and one of 1 MiB + 3
  // bytes in the area "loc2", whose folder goes to *secondArea. "" or why it could not be made.
  std::string addJournaledShop(const std::string& code, uint64_t secondFileBytes,
                               std::string* secondArea) {
    *secondArea = area("loc2");
    ingsim::DatabaseOptions shop;
    shop.name = "shop";
    shop.journaled = true;
    shop.journalFiles = 2;
    shop.journalFileSize = 3000;
    shop.dumpFiles = {{"c0000001.dmp", 2500}};
    shop.locations = {{"", {{"aaaaaaab.t00", 200000}, {"aaaaaaac.t00", secondFileBytes}}},
                      {*secondArea, {{"aaaaaaad.t00", (1u << 20) + 3}}}};
    return ingsim::addDatabase(code, shop);
  }

  // ferryctl with the agent copy, the command and the connect operands, then `rest`; the
  // password goes through FERRYCTL_PASSWORD.
  CtlRun run(const std::string& command, const std::string& rest = "") {
    const std::string code = installation_->code();
    SetEnvironmentVariableA("FERRYCTL_PASSWORD", password_.c_str());
    CtlRun result = ferryctl("--agent " + quoted(agent_->path("ferryman.dll")) + " " + command +
                             " server@" + code + " ingres" + (rest.empty() ? "" : " " + rest));
    SetEnvironmentVariableA("FERRYCTL_PASSWORD", nullptr);
    return result;
  }

  std::string savedMachineRoot_;
  std::unique_ptr<AgentCopy> agent_;
  std::unique_ptr<TestInstallation> installation_;
  std::unique_ptr<ScopedAccount> account_;
  std::string password_;  // what run() gives ferryctl
  std::vector<std::string> removeAfterwards_;
};

}  // namespace ferry::test
