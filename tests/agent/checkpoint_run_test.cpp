// A real checkpoint of a two-location database: the agent's template, the simulated ckpdb and
// siphon, with the test in the agent's place on the extractor pipe. Each location's siphon hands
// over the location's files and is held until the test releases it; only then does ckpdb go on
// to the next location, and it ends after the last one.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "agent_fixture.h"
#include "ingsim/installation.h"
#include "oidb_msg.h"
#include "process_information.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

using CustomizeTemplateFn = int (*)(ConnectionRecord*);

constexpr char kCode[] = "UR";
constexpr char kDatabase[] = "twoloc";

std::set<std::string> filesIn(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA entry;
  UniqueFind search(FindFirstFileA((folder + "\\*").c_str(), &entry));
  if (!search) return names;
  do {
    std::string name = entry.cFileName;
    if (name != "." && name != "..") names.insert(folder + "\\" + name);
  } while (FindNextFileA(search.get(), &entry));
  return names;
}

// One record from the pipe; type -1 when the read fails.
OidbMsg readRecord(HANDLE pipe) {
  OidbMsg msg{};
  DWORD got = 0;
  if (!ReadFile(pipe, &msg, sizeof msg, &got, nullptr) || got != sizeof msg) msg.MsgType = -1;
  return msg;
}

class CheckpointRun : public testing::Test {
 protected:
  ScopedTestDirectory testDirectory_;  // made first, undone last
  void SetUp() override {
    root_ = std::string("C:\\ferrytest\\") + kCode;
    secondArea_ = root_ + "_area2";
    ingsim::removeInstallation(kCode);
    removeTree(root_);
    removeTree(secondArea_);
    ingsim::InstallationOptions options;
    options.code = kCode;
    options.root = root_;
    options.addToMachinePath = false;
    ASSERT_EQ(ingsim::createInstallation(options), "");
    ingsim::DatabaseOptions db;
    db.name = kDatabase;
    db.locations = {{"", {{"aaaaaaab.t00", 70000}, {"aaaaaaac.t00", 0}}},
                    {secondArea_, {{"aaaaaaad.t00", 1025}}}};
    ASSERT_EQ(ingsim::addDatabase(kCode, db), "");

    std::vector<Companion> companions = catalogCompanions();
    companions.push_back({"siphon.exe", "siphon.exe"});
    agent_ = std::make_unique<AgentCopy>("ckprun", companions);
    ASSERT_EQ(agent_->setupError(), "");
    ASSERT_EQ(agent_->load(), 0u);
    ASSERT_EQ(agent_->bind(), "");
    customize_ = reinterpret_cast<CustomizeTemplateFn>(
        reinterpret_cast<void*>(GetProcAddress(agent_->module(), "FerryTestCustomizeTemplate")));
    ASSERT_NE(customize_, nullptr);
  }
  void TearDown() override {
    if (record_ != nullptr) agent_->api().DestroyRecord(record_);
    agent_.reset();
    ingsim::removeInstallation(kCode);
    removeTree(root_);
    removeTree(secondArea_);
    SetEnvironmentVariableA("II_CKTMPL_FILE", nullptr);
  }

  std::string root_, secondArea_;
  std::unique_ptr<AgentCopy> agent_;
  CustomizeTemplateFn customize_ = nullptr;
  ConnectionRecord* record_ = nullptr;
};

TEST_F(CheckpointRun, EachLocationIsHeldUntilReleased) {
  record_ = agent_->api().CreateRecord(kCode, 0);
  ASSERT_NE(record_, nullptr);
  lstrcpynA(record_->installation.iiSystem, root_.c_str(), sizeof record_->installation.iiSystem);
  lstrcpynA(record_->dbName, kDatabase, sizeof record_->dbName);
  ASSERT_EQ(customize_(record_), 0) << "template not written";

  // The agent's side of the extractor pipe, as the checkpoint run creates it.
  const std::string pipeName = std::string(kExtractorPipePrefix) + kCode + kDatabase;
  HANDLE pipe = CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_DUPLEX,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                 /*instances=*/1, 32768, 32768, 30000, nullptr);
  const UniqueFile ownedPipe(pipe);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE) << "error " << GetLastError();

  // ckpdb inherits II_CKTMPL_FILE, which the template step set in this process.
  std::string command = "\"" + root_ + "\\ingres\\bin\\ckpdb.exe\" " + kDatabase + " -v";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION ckpdb{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &ckpdb))
      << "error " << GetLastError();
  const UniqueProcessInformation ownedCkpdb(ckpdb);

  const std::vector<std::string> folders = {ingsim::dataFolder(root_, kDatabase),
                                            ingsim::dataFolder(secondArea_, kDatabase)};
  std::set<std::string> seenFolders;
  for (size_t location = 1; location <= folders.size(); ++location) {
    SCOPED_TRACE("location " + std::to_string(location));
    BOOL connected = ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
    ASSERT_TRUE(connected) << "error " << GetLastError();
    OidbMsg first = readRecord(pipe);
    ASSERT_EQ(first.MsgType, OIDBMSGTYPE_CKPDB_NAME);
    std::string ckpdbName(ckpdbNameOf(first));
    EXPECT_EQ(ckpdbName.size(), 12u) << ckpdbName;
    EXPECT_EQ(ckpdbName.substr(5), std::to_string(location).insert(0, 3 - 1, '0') + ".ckp")
        << "location number in the checkpoint file name: " << ckpdbName;

    std::set<std::string> names;
    for (;;) {
      OidbMsg msg = readRecord(pipe);
      ASSERT_NE(msg.MsgType, -1) << "read failed: " << GetLastError();
      if (msg.MsgType == OIDBMSGTYPE_NO_MORE_FILES) break;
      ASSERT_EQ(msg.MsgType, OIDBMSGTYPE_FILE_NAME);
      EXPECT_EQ(std::string(ckpdbNameOf(msg)), ckpdbName);
      names.insert(std::string(objectNameOf(msg)));
    }
    ASSERT_FALSE(names.empty());
    std::string folder = names.begin()->substr(0, names.begin()->find_last_of('\\'));
    seenFolders.insert(folder);
    EXPECT_EQ(names, filesIn(folder)) << "every entry of " << folder;

    // Held: ckpdb waits for this siphon, which waits for the release.
    EXPECT_EQ(WaitForSingleObject(ckpdb.hProcess, 500), static_cast<DWORD>(WAIT_TIMEOUT))
        << "ckpdb went on before the location was released";
    OidbMsg release = makeOidbMsg(OIDBMSGTYPE_END_BACKUP);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(pipe, &release, sizeof release, &written, nullptr));
    FlushFileBuffers(pipe);
    DisconnectNamedPipe(pipe);
  }
  std::set<std::string> expectedFolders(folders.begin(), folders.end());
  EXPECT_EQ(seenFolders, expectedFolders);

  ASSERT_EQ(WaitForSingleObject(ckpdb.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD exitCode = 1;
  GetExitCodeProcess(ckpdb.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u) << "ckpdb after the last location";
}

}  // namespace
}  // namespace ferry::test
