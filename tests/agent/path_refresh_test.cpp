// The PATH refresh of the load step: the machine environment's Path, expanded from the process
// environment, becomes the process PATH, or nothing changes when any reference cannot be
// expanded. The test edits the machine-wide value, so it holds the machine Path mutex that
// ingsim uses while it edits and restores it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent_fixture.h"
#include "held_lock.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

constexpr char kEnvironmentKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr char kMachinePathMutex[] = "Global\\ingsim_machine_path";

std::string processPath() {
  std::vector<char> buffer(32768);
  DWORD n = GetEnvironmentVariableA("PATH", buffer.data(), static_cast<DWORD>(buffer.size()));
  return std::string(buffer.data(), n < buffer.size() ? n : 0);
}

class PathRefreshTest : public testing::Test {
 protected:
  void SetUp() override {
    mutex_ = CreateMutexA(nullptr, FALSE, kMachinePathMutex);
    ownedMutex_.reset(mutex_);
    ASSERT_NE(mutex_, nullptr) << GetLastError();
    held_ = ferry::HeldLock::wait(mutex_, 60000);
    DWORD wait = held_.waitResult();
    ASSERT_TRUE(wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) << "wait " << wait;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, KEY_READ | KEY_WRITE, &key_),
              ERROR_SUCCESS);
    ownedKey_.reset(key_);
    std::vector<char> buffer(65536);
    DWORD size = static_cast<DWORD>(buffer.size());
    LONG rc = RegQueryValueExA(key_, "Path", nullptr, &savedType_,
                               reinterpret_cast<BYTE*>(buffer.data()), &size);
    ASSERT_EQ(rc, ERROR_SUCCESS) << "the machine Path must exist to be restored";
    saved_.assign(buffer.data(), size);
    savedProcessPath_ = processPath();
  }
  void TearDown() override {
    if (key_ != nullptr) {
      RegSetValueExA(key_, "Path", 0, savedType_, reinterpret_cast<const BYTE*>(saved_.data()),
                     static_cast<DWORD>(saved_.size()));
      ownedKey_.reset();
      key_ = nullptr;
    }
    held_.release();
    ownedMutex_.reset();
    SetEnvironmentVariableA("PATH", savedProcessPath_.c_str());
    SetEnvironmentVariableA("AG_PATH_VAR", nullptr);
  }
  void setMachinePath(const std::string& value) {
    ASSERT_EQ(
        RegSetValueExA(key_, "Path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)),
        ERROR_SUCCESS);
  }
  // Loads a fresh agent copy with the process PATH set to `before`; returns the PATH after.
  std::string pathAfterLoad(const std::string& before) {
    SetEnvironmentVariableA("PATH", before.c_str());
    AgentCopy agent("path_refresh", catalogCompanions());
    EXPECT_EQ(agent.setupError(), "");
    DWORD error = agent.load();
    EXPECT_EQ(error, 0u) << "error " << error;
    std::string after = processPath();
    if (agent.module() != nullptr) {
      EXPECT_EQ(agent.bind(), "");
      EXPECT_STREQ(agent.api().SavedPath(), after.c_str()) << "saved PATH is the refreshed one";
    }
    return after;
  }

  HANDLE mutex_ = nullptr;
  HKEY key_ = nullptr;
  ferry::UniqueHandleNull ownedMutex_;
  ferry::HeldLock held_;  // given back before the mutex's handle goes
  ferry::UniqueKey ownedKey_;
  std::string saved_;
  DWORD savedType_ = REG_EXPAND_SZ;
  std::string savedProcessPath_;
};

TEST_F(PathRefreshTest, ReferenceToASetVariableIsExpanded) {
  // Wine's own folders stay on the PATH so that the agent's dependencies still resolve.
  SetEnvironmentVariableA("AG_PATH_VAR", "C:\\ag_expanded");
  setMachinePath("C:\\windows\\system32;%AG_PATH_VAR%\\bin;C:\\windows");
  std::string after = pathAfterLoad("C:\\ag_marker;C:\\windows\\system32");
  EXPECT_EQ(after, "C:\\windows\\system32;C:\\ag_expanded\\bin;C:\\windows");
}

TEST_F(PathRefreshTest, UnexpandableValueLeavesPathUnchanged) {
  const std::string marker = "C:\\ag_marker;C:\\windows\\system32;C:\\windows";
  SetEnvironmentVariableA("AG_PATH_VAR", nullptr);
  setMachinePath("C:\\windows\\system32;%AG_PATH_VAR%\\bin");
  EXPECT_EQ(pathAfterLoad(marker), marker) << "variable not set";

  setMachinePath("C:\\windows\\system32;C:\\100%");
  EXPECT_EQ(pathAfterLoad(marker), marker) << "lone '%'";

  SetEnvironmentVariableA("AG_PATH_VAR", std::string(256, 'v').c_str());
  setMachinePath("C:\\windows\\system32;%AG_PATH_VAR%");
  EXPECT_EQ(pathAfterLoad(marker), marker) << "value longer than the lookup buffer";
}

TEST_F(PathRefreshTest, EveryThreadNotificationRefreshesAgain) {
  SetEnvironmentVariableA("PATH", "C:\\ag_marker;C:\\windows\\system32");
  AgentCopy agent("path_thread", catalogCompanions());
  ASSERT_EQ(agent.setupError(), "");
  ASSERT_EQ(agent.load(), 0u);
  setMachinePath("C:\\windows\\system32;C:\\ag_later");
  HANDLE thread = CreateThread(
      nullptr, 0, [](void*) -> DWORD { return 0; }, nullptr, 0, nullptr);
  const ferry::UniqueHandleNull owned(thread);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  EXPECT_EQ(processPath(), "C:\\windows\\system32;C:\\ag_later")
      << "a thread start is a load notification";
}

}  // namespace
}  // namespace ferry::test
