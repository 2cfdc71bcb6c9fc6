// The session entry points of the agent against simulated installations: connect under an
// account and an installation code, disconnect, the entry points that do nothing, and the texts
// of result codes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "agent_fixture.h"
#include "ferryman.h"
#include "ingsim/installation.h"
#include "process_information.h"
#include "support/child_role.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

constexpr char kTemplatePath[] = "C:\\ferrytest\\htbtmpl.def";
template <typename Fn>
Fn bound(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// An installation of the test's own and an account that may reach it; as if a backup had
// registered its checkpoint template there, so that disconnect has something to clear.
class Installation {
 public:
  Installation(const ingsim::InstallationOptions& options, const ingsim::Account& account)
      : installation_(options), account_(account) {
    error_ = installation_.error().empty() ? account_.error() : installation_.error();
    if (error_.empty()) {
      error_ = ingsim::setVariable(options.code, "II_CKTMPL_FILE", kTemplatePath);
    }
  }
  ~Installation() {
    for (const char* stem : {"env", "ingprenv", "infodb"}) {
      DeleteFileA((std::string("C:\\") + stem + installation_.code() + ".out").c_str());
    }
  }
  const std::string& error() const { return error_; }
  std::string root() const { return installation_.root(); }

  // Disconnect starts ingunset and does not wait for it: wait here (at most 10 s) until the
  // template variable is gone. False when it stays.
  bool templateVariableCleared() const {
    std::string ingprenv = "\"" + installation_.bin() + "\\ingprenv.exe\" II_CKTMPL_FILE";
    for (int i = 0; i < 50; ++i) {
      ProcessResult result = runProcess(ingprenv, 10000);
      if (result.started && result.exitCode == 0 && result.out.empty()) return true;
      Sleep(200);
    }
    return false;
  }

 private:
  TestInstallation installation_;
  ScopedAccount account_;
  std::string error_;
};

// The testbed agent copied into a folder of the test's own and bound by its exported names,
// the way the backup server's host process binds it.
class AgentSession : public testing::Test {
 protected:
  ScopedTestDirectory testDirectory_;  // made first, undone last
  void SetUp() override {
    savedMachineRoot_ = machineEnvironmentValue("II_SYSTEM");

    agent_ = std::make_unique<AgentCopy>(
        std::string("se_") + testing::UnitTest::GetInstance()->current_test_info()->name(),
        agentCompanions());
    ASSERT_EQ(agent_->setupError(), "");
    ASSERT_EQ(agent_->load(), 0u);
    ASSERT_EQ(agent_->bind(), "");
    HMODULE module = agent_->module();
    connect_ = bound<PFN_DSAConnectAgent>(module, "DSAConnectAgent");
    disconnect_ = bound<PFN_DSADisconnectAgent>(module, "DSADisconnectAgent");
    getError_ = bound<PFN_DSAGetError>(module, "DSAGetError");
    ASSERT_TRUE(connect_ && disconnect_ && getError_) << "session entry points not exported";
  }
  void TearDown() override {
    agent_.reset();
    setMachineEnvironmentValue("II_SYSTEM", savedMachineRoot_);
  }
  std::string activityLog() const { return readWholeFile(agent_->path("ferryman.log")); }
  std::string text(unsigned id) const {
    char buffer[512] = "";
    agent_->api().MessageText(id, buffer, sizeof buffer);
    return buffer;
  }

  std::unique_ptr<AgentCopy> agent_;
  PFN_DSAConnectAgent connect_ = nullptr;
  PFN_DSADisconnectAgent disconnect_ = nullptr;
  PFN_DSAGetError getError_ = nullptr;
  std::string savedMachineRoot_;
};

TEST_F(AgentSession, ConnectsToVersion2And3Installations) {
  {
    SCOPED_TRACE("Ingres 2: the owner is ingres");
    Installation installation(installationOptions("SA", 2), {"ingres", "pw-sa", ""});
    ASSERT_EQ(installation.error(), "");
    uint32_t id = 0xdeadbeef;
    uint32_t rc = connect_(0, "server@SA", "ingres", "pw-sa", &id);
    ASSERT_EQ(rc, 0u) << "id " << id;
    ASSERT_GE(id, 1u);
    ASSERT_LE(id, 31u);
    ConnectionRecord* ci = agent_->api().FindConnection(static_cast<int>(id));
    ASSERT_NE(ci, nullptr);
    EXPECT_STREQ(ci->installation.installationCode, "SA");
    EXPECT_STREQ(ci->instanceName, "server@SA");
    EXPECT_STREQ(ci->connInfo.loginName, "ingres");
    EXPECT_STREQ(ci->connInfo.version, "2");
    EXPECT_EQ(std::string(ci->installation.iiSystem), installation.root());
    EXPECT_EQ(ci->connInfo.connected, 0) << "the probe session is closed again";
    EXPECT_EQ(ci->connInfo.record, ci);
    EXPECT_EQ(std::strncmp(ci->connInfo.installationCodeHead, "SA", 2), 0);
    EXPECT_NE(ci->account.hAccessToken.get(), nullptr);
    EXPECT_NE(ci->account.hAccessToken.get(), INVALID_HANDLE_VALUE);

    EXPECT_EQ(disconnect_(id), 0u);
    EXPECT_EQ(agent_->api().FindConnection(static_cast<int>(id)), nullptr) << "id released";
    EXPECT_EQ(disconnect_(id), 2u) << "a second disconnect";
    EXPECT_TRUE(installation.templateVariableCleared()) << "ingunset II_CKTMPL_FILE ran";
    std::string log = activityLog();
    EXPECT_NE(log.find("-SA-" + text(29)), std::string::npos) << log;
    EXPECT_NE(log.find("-SA-" + text(31)), std::string::npos) << log;
  }
  {
    SCOPED_TRACE("Ingres 3: the owner named in install.log");
    ingsim::InstallationOptions options = installationOptions("SB", 3);
    options.installLogOwner = "sb_owner";
    Installation installation(options, {"sb_owner", "pw-sb", ""});
    ASSERT_EQ(installation.error(), "");
    uint32_t id = 0;
    uint32_t rc = connect_(0, "any name@SB", "SB_OWNER", "pw-sb", &id);
    ASSERT_EQ(rc, 0u);
    ConnectionRecord* ci = agent_->api().FindConnection(static_cast<int>(id));
    ASSERT_NE(ci, nullptr);
    EXPECT_STREQ(ci->connInfo.version, "3");
    EXPECT_STREQ(ci->installation.installationCode, "SB");
    EXPECT_EQ(disconnect_(id), 0u);
    EXPECT_TRUE(installation.templateVariableCleared());
  }
}

TEST_F(AgentSession, RefusesWrongPasswordAndInstanceWithoutCode) {
  Installation installation(installationOptions("SC", 2), {"ingres", "pw-sc", ""});
  ASSERT_EQ(installation.error(), "");
  {
    SCOPED_TRACE("wrong password");
    uint32_t id = 0xdeadbeef;
    EXPECT_EQ(connect_(0, "server@SC", "ingres", "not-the-password", &id), 85u);
    EXPECT_EQ(id, 0u);
    EXPECT_NE(activityLog().find("---" + text(28)), std::string::npos) << activityLog();
  }
  uint32_t first = 0;
  ASSERT_EQ(connect_(0, "server@SC", "ingres", "pw-sc", &first), 0u);
  ASSERT_EQ(disconnect_(first), 0u);
  {
    SCOPED_TRACE("no '@': refused after a good logon, and the id is free again");
    uint32_t id = 0xdeadbeef;
    EXPECT_EQ(connect_(0, "serverSC", "ingres", "pw-sc", &id), 18u);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(agent_->api().FindConnection(static_cast<int>(first)), nullptr);
    uint32_t again = 0;
    ASSERT_EQ(connect_(0, "server@SC", "ingres", "pw-sc", &again), 0u);
    EXPECT_EQ(again, first) << "the refused connect gave its id back";
    EXPECT_EQ(disconnect_(again), 0u);
  }
  {
    SCOPED_TRACE("an account name with a domain logs on locally first");
    uint32_t id = 0;
    EXPECT_EQ(connect_(0, "server@SC", "SOMEDOMAIN\\ingres", "pw-sc", &id), 0u);
    ConnectionRecord* ci = agent_->api().FindConnection(static_cast<int>(id));
    ASSERT_NE(ci, nullptr);
    EXPECT_STREQ(ci->connInfo.domainName, "SOMEDOMAIN");
    EXPECT_STREQ(ci->connInfo.loginName, "ingres");
    EXPECT_EQ(disconnect_(id), 0u);
  }
  EXPECT_TRUE(installation.templateVariableCleared());
}

TEST_F(AgentSession, ConnectsOnlyAsTheInstallationOwner) {
  struct Case {
    const char* code;
    std::vector<std::string> users;
    uint32_t expected;
  } cases[] = {
      {"SD", {"system", "administrator", "ingres"}, 0},  // owner ingres
      {"SE", {"system", "administrator"}, 18},           // owner administrator
      {"SF", {"system"}, 18},                            // no owner at all
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    ingsim::InstallationOptions options = installationOptions(c.code, 3);
    options.configDatUsers = c.users;
    Installation installation(options, {"ingres", "pw-owner", ""});
    ASSERT_EQ(installation.error(), "");
    uint32_t id = 0xdeadbeef;
    uint32_t rc = connect_(0, (std::string("server@") + c.code).c_str(), "ingres", "pw-owner", &id);
    EXPECT_EQ(rc, c.expected) << "id " << id;
    if (rc == 0) {
      EXPECT_EQ(disconnect_(id), 0u);
      EXPECT_TRUE(installation.templateVariableCleared());
    } else {
      EXPECT_EQ(id, 0u);
      EXPECT_NE(activityLog().find(std::string("-") + c.code + "-" + text(62)), std::string::npos)
          << "the owner check writes entry 62: " << activityLog();
    }
  }
}

// Fills the slot map from a second process: takes every free id, gives the last one back, and
// holds the rest until the parent signals.
FERRY_CHILD_ROLE(fill_slots) {
  if (argc < 3) return 2;
  HMODULE agent = LoadLibraryA(argv[0]);
  if (agent == nullptr) return 3;
  auto allocate = bound<int (*)()>(agent, "FerryTestAllocateConnection");
  auto release = bound<void (*)(int)>(agent, "FerryTestReleaseConnection");
  if (allocate == nullptr || release == nullptr) return 4;
  int last = 0;
  while (int id = allocate()) last = id;
  if (last == 0) return 5;
  release(last);
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
  HANDLE done = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
  if (ready == nullptr || done == nullptr) return 6;
  SetEvent(ready);
  WaitForSingleObject(done, 60000);
  return 0;  // the ids die with the process
}

TEST_F(AgentSession, ThirtySecondConnectionIsRefused) {
  Installation installation(installationOptions("SG", 2), {"ingres", "pw-sg", ""});
  ASSERT_EQ(installation.error(), "");
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "ferrytest_se_slots_ready");
  const ferry::UniqueHandleNull ownedReady(ready);
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, "ferrytest_se_slots_done");
  const ferry::UniqueHandleNull ownedDone(done);
  ASSERT_TRUE(ready && done);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  std::string command = "\"" + selfPath() + "\" --child fill_slots \"" +
                        agent_->path("ferryman.dll") +
                        "\" ferrytest_se_slots_ready ferrytest_se_slots_done";
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &child))
      << "error " << GetLastError();
  const ferry::UniqueProcessInformation ownedChild(child);
  HANDLE waits[] = {ready, child.hProcess};
  DWORD woke = WaitForMultipleObjects(2, waits, FALSE, 60000);
  if (woke == WAIT_OBJECT_0) {
    uint32_t id = 0;
    EXPECT_EQ(connect_(0, "server@SG", "ingres", "pw-sg", &id), 0u) << "the one id left";
    uint32_t refused = 0xdeadbeef;
    EXPECT_EQ(connect_(0, "server@SG", "ingres", "pw-sg", &refused), 6u);
    EXPECT_EQ(refused, 0u);
    EXPECT_EQ(disconnect_(id), 0u);
    EXPECT_TRUE(installation.templateVariableCleared());
  } else {
    DWORD exitCode = 0;
    GetExitCodeProcess(child.hProcess, &exitCode);
    ADD_FAILURE() << "the child did not fill the slot map: wait " << woke << ", exit " << exitCode;
  }
  SetEvent(done);
  WaitForSingleObject(child.hProcess, 60000);
}

TEST_F(AgentSession, HangingIngprenvFailsTheConnect) {
  Installation installation(installationOptions("SH", 2), {"ingres", "pw-sh", ""});
  ASSERT_EQ(installation.error(), "");
  std::string ingprenv = installation.root() + "\\ingres\\bin\\ingprenv.exe";
  ASSERT_TRUE(CopyFileA((binDir() + "\\ag_hang_utility.exe").c_str(), ingprenv.c_str(), FALSE))
      << "error " << GetLastError();
  uint32_t id = 0xdeadbeef;
  EXPECT_EQ(connect_(0, "server@SH", "ingres", "pw-sh", &id), 18u);
  EXPECT_EQ(id, 0u);
}

TEST_F(AgentSession, UnknownIdsAndTrivialEntryPoints) {
  for (uint32_t id : {0u, 7u, 31u, 32u, 0xffffffffu}) {
    EXPECT_EQ(disconnect_(id), 2u) << "id " << id;
  }
  char arguments[16];
  std::memset(arguments, 0xbd, sizeof arguments);
  for (const char* name : {"DSAOpen", "DSAClose", "DSAFileSize", "DSAGetNextFile", "DSALockDBagent",
                           "DSAUnlockDBagent"}) {
    PFN_DSATrivial fn = bound<PFN_DSATrivial>(agent_->module(), name);
    ASSERT_NE(fn, nullptr) << name;
    EXPECT_EQ(fn(3, arguments), 50u) << name;
  }
  for (const char* name :
       {"DSAControl", "DSABeginBackupStripe", "DSABeginRestoreStripe", "DSAGetCanonicalPath"}) {
    PFN_DSATrivial fn = bound<PFN_DSATrivial>(agent_->module(), name);
    ASSERT_NE(fn, nullptr) << name;
    EXPECT_EQ(fn(0, nullptr), 0u) << name;
  }
  for (unsigned char byte : arguments) ASSERT_EQ(byte, 0xbd) << "arguments are not touched";
}

TEST_F(AgentSession, ErrorTexts) {
  char buffer[1400];
  uint32_t length = 0;
  {
    SCOPED_TRACE("10000 is an agent code");
    std::memset(buffer, 0xbd, sizeof buffer);
    length = 0xdeadbeef;
    EXPECT_EQ(getError_(0, 10000, buffer, &length), 0u);
    EXPECT_EQ(std::string(buffer), text(10000));
    EXPECT_NE(std::string(buffer), "");
    EXPECT_EQ(length, std::strlen(buffer));
    for (size_t i = 256; i < sizeof buffer; ++i) {
      ASSERT_EQ(static_cast<unsigned char>(buffer[i]), 0xbd) << "written past 256 bytes at " << i;
    }
  }
  {
    SCOPED_TRACE("10001 is system error 1");
    char expected[1300] = "";
    FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
        nullptr, 1, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), expected, sizeof expected, nullptr);
    std::string want = expected;
    while (!want.empty() && want.back() == ' ') want.pop_back();
    ASSERT_NE(want, "") << "the system has a text for error 1";
    length = 0xdeadbeef;
    EXPECT_EQ(getError_(0, 10001, buffer, &length), 0u);
    EXPECT_EQ(std::string(buffer), want);
    EXPECT_EQ(length, want.size()) << "the length of a system text, as the header states";
  }
  {
    SCOPED_TRACE("68 shows the text of 25");
    EXPECT_EQ(getError_(0, 68, buffer, &length), 0u);
    EXPECT_EQ(std::string(buffer), text(25));
    EXPECT_NE(std::string(buffer), text(68)) << "68 has a text of its own, not shown here";
  }
  {
    SCOPED_TRACE("codes without a text");
    for (uint32_t code : {11u, 1326u}) {
      std::memset(buffer, 0xbd, sizeof buffer);
      length = 0xdeadbeef;
      EXPECT_EQ(getError_(5, code, buffer, &length), 0u) << "an id not in use is fine";
      EXPECT_EQ(buffer[0], '\0') << code;
      EXPECT_EQ(length, 0u) << code;
    }
  }
}

}  // namespace
}  // namespace ferry::test
