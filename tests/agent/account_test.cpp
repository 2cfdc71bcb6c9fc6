// Acting as the connection's account with the testbed's simulated account directory, and
// SetAllPrivilege on the process token.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "agent_fixture.h"
#include "bound_export.h"
#include "ferryman.h"
#include "ingsim/installation.h"
#include "support/child_role.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

class ScopedAccount {
 public:
  explicit ScopedAccount(const ingsim::Account& account) : name_(account.name) {
    ingsim::removeAccount(name_);  // leftovers of an interrupted run
    error_ = ingsim::addAccount(account);
  }
  ~ScopedAccount() { ingsim::removeAccount(name_); }
  const std::string& error() const { return error_; }

 private:
  std::string name_;
  std::string error_;
};

class AccountTest : public testing::Test {
 protected:
  void SetUp() override {
    agent_ = std::make_unique<AgentCopy>("account", catalogCompanions());
    ASSERT_EQ(agent_->setupError(), "");
    ASSERT_EQ(agent_->load(), 0u);
    ASSERT_EQ(agent_->bind(), "");
  }
  void TearDown() override {
    if (agent_->module() != nullptr) {
      api().RevertToSelf();
      for (ConnectionRecord* r : records_) api().DestroyRecord(r);
    }
    agent_.reset();
  }
  const AgentApi& api() { return agent_->api(); }
  ConnectionRecord* record(const char* code, const char* login, const char* password,
                           const char* domain) {
    ConnectionRecord* r = api().CreateRecord(code, 1);
    snprintf(r->connInfo.loginName, sizeof r->connInfo.loginName, "%s", login);
    snprintf(r->connInfo.password, sizeof r->connInfo.password, "%s", password);
    snprintf(r->connInfo.domainName, sizeof r->connInfo.domainName, "%s", domain);
    records_.push_back(r);
    return r;
  }
  std::string currentUser() {
    char name[300] = {};
    DWORD size = sizeof name;
    DWORD error = api().CurrentUserName(name, &size);
    return error == 0 ? name : "<error " + std::to_string(error) + ">";
  }
  std::string traceText() { return readWholeFile(agent_->path("ferryman.trc")); }

  std::unique_ptr<AgentCopy> agent_;
  std::vector<ConnectionRecord*> records_;
};

TEST_F(AccountTest, RightPasswordImpersonatesOnTheCallingThread) {
  ScopedAccount account({"ag_right", "s3cret", ""});
  ASSERT_EQ(account.error(), "");
  ScopedAgentSettings settings("AGA");
  ASSERT_EQ(settings.setDebug(1), ERROR_SUCCESS);
  ConnectionRecord* ci = record("AGA", "ag_right", "s3cret", "ELSEWHERE");
  const std::string before = currentUser();

  DWORD result = api().ActAsAccount(ci, "beginBackupJN", 1);
  ASSERT_EQ(result, 0u) << "result " << result;
  EXPECT_NE(ci->account.hAccessToken.get(), INVALID_HANDLE_VALUE)
      << "the local logon's token is kept";
  EXPECT_NE(ci->account.hAccessToken.get(), nullptr);
  EXPECT_EQ(currentUser(), "ag_right");
  HANDLE threadToken = nullptr;
  EXPECT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &threadToken))
      << "the thread really impersonates; error " << GetLastError();
  const ferry::UniqueHandleNull ownedThreadToken(threadToken);

  std::string otherThreadUser;
  std::thread other([&] { otherThreadUser = currentUser(); });
  other.join();
  EXPECT_EQ(otherThreadUser, before) << "impersonation is per thread";

  // Already the account: no second logon.
  HANDLE token = ci->account.hAccessToken.get();
  ASSERT_EQ(api().ActAsAccount(ci, "beginBackupJN", 1), 0u);
  EXPECT_EQ(ci->account.hAccessToken.get(), token);

  std::string text = traceText();
  const char* expected[] = {
      ") beginBackupJN(): CurrentUserName= ",
      ") beginBackupJN(): LogonUser() successful as userName[ag_right]\r\n",
      ") beginBackupJN(): ImpersonateLoggedOnUser() successful\r\n",
      ") beginBackupJN(): CurrentUserName= ag_right\r\n",
  };
  size_t at = 0;
  for (const char* line : expected) {
    size_t found = text.find(line, at);
    EXPECT_NE(found, std::string::npos) << "missing in order: " << line << "\n" << text;
    if (found != std::string::npos) at = found;
  }
  EXPECT_TRUE(text.find("SetAllPrivilege() successful") != std::string::npos ||
              text.find("SetAllPrivilege() return error code[0]") != std::string::npos)
      << text;
  EXPECT_EQ(text.find("LogonUser() successful", text.find("CurrentUserName= ag_right")),
            std::string::npos)
      << "logged on again although the thread was the account";

  EXPECT_EQ(api().RevertToSelf(), 0u);
  EXPECT_EQ(currentUser(), before);
}

TEST_F(AccountTest, WrongPasswordReturnsTheRawLogonError) {
  ScopedAccount account({"ag_wrong", "right", ""});
  ASSERT_EQ(account.error(), "");
  ScopedAgentSettings settings("AGB");
  ASSERT_EQ(settings.setDebug(1), ERROR_SUCCESS);
  ConnectionRecord* ci = record("AGB", "ag_wrong", "wrong", "");
  const std::string before = currentUser();
  DWORD result = api().ActAsAccount(ci, "getOpIngresDbList2", 1);
  EXPECT_EQ(result, static_cast<DWORD>(ERROR_LOGON_FAILURE)) << "result " << result;
  EXPECT_EQ(ci->account.hAccessToken.get(), INVALID_HANDLE_VALUE) << "no token kept";
  EXPECT_EQ(currentUser(), before);
  std::string text = traceText();
  EXPECT_NE(text.find(") getOpIngresDbList2(): Logon user failed for the local database, trying "
                      "with domain\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(") getOpIngresDbList2(): Error: LogonUser() failed with loginName[ag_wrong] "
                      "errcode[1326]\r\n"),
            std::string::npos)
      << text;

  ConnectionRecord* unknown = record("AGB", "ag_nobody", "x", "");
  EXPECT_EQ(api().ActAsAccount(unknown, "beginBackupJN", 1),
            static_cast<DWORD>(ERROR_LOGON_FAILURE));
}

TEST_F(AccountTest, DomainAccountLogsOnAtTheSecondAttempt) {
  ScopedAccount account({"ag_domain", "pw", "AGDOMAIN"});
  ASSERT_EQ(account.error(), "");
  ScopedAgentSettings settings("AGC");
  ASSERT_EQ(settings.setDebug(1), ERROR_SUCCESS);
  ConnectionRecord* ci = record("AGC", "ag_domain", "pw", "agdomain");
  DWORD result = api().ActAsAccount(ci, "beginBackupJN", 1);
  ASSERT_EQ(result, 0u) << "result " << result;
  EXPECT_EQ(ci->account.hAccessToken.get(), INVALID_HANDLE_VALUE)
      << "the domain logon's token serves the impersonation only";
  EXPECT_EQ(currentUser(), "ag_domain");
  std::string text = traceText();
  EXPECT_NE(text.find("Logon user failed for the local database, trying with domain"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("LogonUser() successful"), std::string::npos) << text;
  EXPECT_NE(text.find("ImpersonateLoggedOnUser() successful"), std::string::npos) << text;
  EXPECT_EQ(api().RevertToSelf(), 0u);

  // The wrong domain fails both attempts.
  ConnectionRecord* wrong = record("AGC", "ag_domain", "pw", "OTHER");
  EXPECT_EQ(api().ActAsAccount(wrong, "beginBackupJN", 1), static_cast<DWORD>(ERROR_LOGON_FAILURE));
}

TEST_F(AccountTest, SetAllPrivilegeReportsTheLastFailure) {
  // What the process token holds decides which of the eighteen can be enabled.
  static const char* const kNames[] = {"SeBackupPrivilege",
                                       "SeRestorePrivilege",
                                       "SeLoadDriverPrivilege",
                                       "SeShutdownPrivilege",
                                       "SeCreatePermanentPrivilege",
                                       "SeCreateTokenPrivilege",
                                       "SeSecurityPrivilege",
                                       "SeTakeOwnershipPrivilege",
                                       "SeLockMemoryPrivilege",
                                       "SeProfileSingleProcessPrivilege",
                                       "SeSystemEnvironmentPrivilege",
                                       "SeAuditPrivilege",
                                       "SeChangeNotifyPrivilege",
                                       "SeTcbPrivilege",
                                       "SeDebugPrivilege",
                                       "SeIncreaseBasePriorityPrivilege",
                                       "SeIncreaseQuotaPrivilege",
                                       "SeAssignPrimaryTokenPrivilege"};
  static const char* const kTexts[] = {"SE_BACKUP_NAME Failed",
                                       "SE_RESTORE_NAME Failed",
                                       "SE_LOAD_DRIVER_NAME Failed",
                                       "SE_SHUTDOWN_NAME Failed",
                                       "SE_CREATE_PERMANENT_NAME Failed",
                                       "SE_CREATE_TOKEN_NAME Failed",
                                       "SE_SECURITY_NAME Failed",
                                       "SE_TAKE_OWNERSHIP_NAME Failed",
                                       "SE_LOCK_MEMORY_NAME Failed",
                                       "SE_PROF_SINGLE_PROCESS_NAME Failed",
                                       "SE_SYSTEM_ENVIRONMENT_NAME Failed",
                                       "SE_AUDIT_NAME Failed",
                                       "SE_CHANGE_NOTIFY_NAME Failed",
                                       "SE_TCB_NAME Failed",
                                       "SE_DEBUG_NAME Failed",
                                       "SE_INC_BASE_PRIORITY_NAME Failed",
                                       "SE_INCREASE_QUOTA_NAME Failed",
                                       "SE_ASSIGNPRIMARYTOKEN_NAME failed"};
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) << GetLastError();
  const ferry::UniqueHandleNull ownedToken(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
  std::vector<char> buffer(size);
  ASSERT_TRUE(GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size))
      << GetLastError();
  auto held = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
  std::string expectedLast;
  for (int i = 0; i < 18; ++i) {
    LUID luid;
    bool present = false;
    if (LookupPrivilegeValueA(nullptr, kNames[i], &luid)) {
      for (DWORD p = 0; p < held->PrivilegeCount; ++p) {
        present |= held->Privileges[p].Luid.LowPart == luid.LowPart &&
                   held->Privileges[p].Luid.HighPart == luid.HighPart;
      }
    }
    if (!present) expectedLast = std::string("EnablePrivilege ") + kTexts[i] + "-1300";
  }

  std::string markerText = "marker";
  char* shared = const_cast<char*>(api().SharedErrorText());
  snprintf(shared, 64, "%s", markerText.c_str());
  int result = api().SetAllPrivilege();
  if (expectedLast.empty()) {
    EXPECT_EQ(result, 1) << "shared text " << api().SharedErrorText();
    EXPECT_STREQ(api().SharedErrorText(), "marker") << "written without a failure";
  } else {
    EXPECT_EQ(result, 0);
    EXPECT_EQ(std::string(api().SharedErrorText()), expectedLast);
  }
}

// Child: writes "listed" to its standard output and "unlisted" to the handle value in argv[0],
// a handle of the parent's that it must not have inherited.
FERRY_CHILD_ROLE(write_to_handles) {
  if (argc < 1) return 2;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "listed", 6, &written, nullptr);
  HANDLE unlisted =
      reinterpret_cast<HANDLE>(static_cast<uintptr_t>(strtoull(argv[0], nullptr, 16)));
  WriteFile(unlisted, "unlisted", 8, &written, nullptr);  // fails when it was not inherited
  return 0;
}

// A utility gets its own handles, as copies made inheritable for it alone, and nothing else of
// the agent's, even what is inheritable in the process; where its handle list cannot be built
// it is not started at all.
TEST(ChildProcess, InheritsOnlyItsOwnHandlesOrIsNotStarted) {
  AgentCopy agent("child_handles", agentCompanions());
  ASSERT_EQ(agent.setupError(), "");
  ASSERT_EQ(agent.load(), 0u);
  ASSERT_EQ(agent.bind(), "");
  using StartChild = DWORD (*)(ConnectionRecord*, char*, HANDLE, HANDLE*);
  auto startChild = bound<StartChild>(agent.module(), "FerryTestStartChild");
  ASSERT_NE(startChild, nullptr);
  ConnectionRecord* ci = agent.api().CreateRecord("CH", 0);
  auto file = [&](const std::string& name, BOOL inheritable) {
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, inheritable};
    return UniqueFile(CreateFileA(agent.path(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, &security, CREATE_ALWAYS, 0,
                                  nullptr));
  };
  UniqueFile output = file("listed.txt", FALSE);
  UniqueFile unlisted = file("unlisted.txt", TRUE);  // inheritable, and nobody lists it
  ASSERT_TRUE(output && unlisted);
  char value[32];
  snprintf(value, sizeof value, "%llx",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(unlisted.get())));
  {
    SCOPED_TRACE("its output file and nothing else");
    std::string command = "\"" + selfPath() + "\" --child write_to_handles " + value;
    HANDLE started = nullptr;
    ASSERT_EQ(startChild(ci, command.data(), output.get(), &started), 0u);
    UniqueHandleNull process(started);
    ASSERT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    EXPECT_TRUE(GetExitCodeProcess(process.get(), &exitCode) && exitCode == 0) << exitCode;
    EXPECT_EQ(readWholeFile(agent.path("listed.txt")), "listed");
    EXPECT_EQ(readWholeFile(agent.path("unlisted.txt")), "") << "an unlisted handle was inherited";
    DWORD flags = 0xbdbdbdbd;
    ASSERT_TRUE(GetHandleInformation(output.get(), &flags));
    EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u) << "the agent's own handle was made inheritable";
  }
  {
    SCOPED_TRACE(
        "a handle that cannot be listed: 17, nothing started, the entry names the command");
    HANDLE closed = nullptr;
    {
      HANDLE copy = nullptr;
      ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), output.get(), GetCurrentProcess(), &copy, 0,
                                  FALSE, DUPLICATE_SAME_ACCESS));
      const UniqueHandleNull owned(copy);
      closed = copy;  // a handle value that names nothing once `owned` has gone
    }
    std::string command = "\"" + selfPath() + "\" --child write_to_handles " + value;
    HANDLE started = reinterpret_cast<HANDLE>(1);
    EXPECT_EQ(startChild(ci, command.data(), closed, &started), DSA_ERROR_CHILD_HANDLES);
    EXPECT_EQ(started, nullptr);
    EXPECT_NE(readWholeFile(agent.path("ferryman.log"))
                  .find("-CH-The handle list of " + command +
                        " could not be built (system error 6); it was not started.\r\n"),
              std::string::npos)
        << readWholeFile(agent.path("ferryman.log"));
    EXPECT_EQ(readWholeFile(agent.path("unlisted.txt")), "");
  }
  agent.api().DestroyRecord(ci);
}

}  // namespace
}  // namespace ferry::test
