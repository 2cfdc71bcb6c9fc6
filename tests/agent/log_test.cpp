// The trace log, the activity log and the agent settings, written by a copy of the testbed
// library in the test's own folder, for installation codes of the tests' own (AG1 to AG9).
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>

#include "agent_fixture.h"
#include "registry_root.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

class LogTest : public testing::Test {
 protected:
  void loadAgent(const std::string& caseName,
                 std::vector<Companion> companions = {{"sounder26.dll", "sounder26.dll"},
                                                      {"ag_test_messages.dll", "ferryres.dll"}}) {
    agent_ = std::make_unique<AgentCopy>(caseName, companions);
    ASSERT_EQ(agent_->setupError(), "");
    DWORD error = agent_->load();
    ASSERT_EQ(error, 0u) << "error " << error;
    ASSERT_EQ(agent_->bind(), "");
  }
  void TearDown() override {
    for (ConnectionRecord* record : records_) agent_->api().DestroyRecord(record);
    agent_.reset();
  }
  ConnectionRecord* record(const char* code, int traceOn = 1) {
    ConnectionRecord* r = agent_->api().CreateRecord(code, traceOn);
    records_.push_back(r);
    return r;
  }
  const AgentApi& api() { return agent_->api(); }
  std::string traceFile() { return agent_->path("ferryman.trc"); }
  std::string activityFile() { return agent_->path("ferryman.log"); }

  std::unique_ptr<AgentCopy> agent_;
  std::vector<ConnectionRecord*> records_;
};

// "<code>-MM/DD/YYYY hh:mm:ss.mmm(<thread>) <message>\r\n"
std::string traceLinePattern(const std::string& code, DWORD thread, const std::string& message) {
  return code + R"(-\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d{3}\()" + std::to_string(thread) + R"(\) )" +
         message + "\r\n";
}

TEST_F(LogTest, TraceWithoutDebugSettingWritesNothingAndSwitchesOff) {
  loadAgent("trace_off");
  ScopedAgentSettings settings("AG1");
  ConnectionRecord* ci = record("AG1");
  SetLastError(0xdeadbeef);
  api().Trace(ci, "DSARead(): ObjectType= %d", 2);
  EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "trace changed the caller's error";
  EXPECT_EQ(ci->traceOn, 0) << "traceOn " << ci->traceOn;
  EXPECT_FALSE(fileExists(traceFile())) << "trace file created without the setting";

  // 0 and 100 mean off as well.
  for (DWORD value : {0u, 100u}) {
    ASSERT_EQ(settings.setDebug(value), ERROR_SUCCESS);
    ci->traceOn = 1;
    api().Trace(ci, "line at debug %u", static_cast<unsigned>(value));
    EXPECT_EQ(ci->traceOn, 0) << "debug " << value;
    EXPECT_FALSE(fileExists(traceFile())) << "debug " << value;
  }

  // No connection, or a connection already switched off: nothing, and the setting is not
  // even consulted.
  ASSERT_EQ(settings.setDebug(1), ERROR_SUCCESS);
  api().Trace(nullptr, "no connection");
  ConnectionRecord* off = record("AG1", 0);
  api().Trace(off, "switched off");
  EXPECT_EQ(off->traceOn, 0);
  EXPECT_FALSE(fileExists(traceFile()));
}

TEST_F(LogTest, TraceWithDebugOnWritesExactLines) {
  loadAgent("trace_on");
  ScopedAgentSettings settings("AG2");
  ASSERT_EQ(settings.setDebug(1), ERROR_SUCCESS);
  ConnectionRecord* ci = record("AG2");
  api().Trace(ci, "DSARead(): ObjectType= %d", 2);
  DWORD otherThread = 0;
  std::thread worker([&] {
    otherThread = GetCurrentThreadId();
    api().Trace(ci, "%s(): %s", "beginBackupJN", "from a second thread");
  });
  worker.join();
  api().TraceBanner(ci, "DSARead", 0);
  api().TraceBanner(ci, "DSARead", 1);
  EXPECT_EQ(ci->traceOn, 1);

  std::string text = readWholeFile(traceFile());
  std::string pattern =
      traceLinePattern("AG2", GetCurrentThreadId(), R"(DSARead\(\): ObjectType= 2)") +
      traceLinePattern("AG2", otherThread, R"(beginBackupJN\(\): from a second thread)") +
      traceLinePattern("AG2", GetCurrentThreadId(), R"(\*{15} DSARead\(\): Starts Here \*{15})") +
      traceLinePattern("AG2", GetCurrentThreadId(), R"(\*{15} DSARead\(\): Ends Here \*{15}\r\n)");
  EXPECT_TRUE(std::regex_match(text, std::regex(pattern))) << "trace file:\n" << text;

  // The date is today's, in local time.
  SYSTEMTIME now;
  GetLocalTime(&now);
  char date[16];
  snprintf(date, sizeof date, "%02d/%02d/%d", now.wMonth, now.wDay, now.wYear);
  EXPECT_EQ(text.substr(4, 10), date) << text;
}

TEST_F(LogTest, TraceSettingIsReadForEveryLine) {
  loadAgent("trace_switch");
  ScopedAgentSettings settings("AG3");
  ASSERT_EQ(settings.setDebug(7), ERROR_SUCCESS);
  ConnectionRecord* ci = record("AG3");
  api().Trace(ci, "first");
  ASSERT_EQ(settings.setDebug(0), ERROR_SUCCESS);
  api().Trace(ci, "second");
  EXPECT_EQ(ci->traceOn, 0);
  ASSERT_EQ(settings.setDebug(1), ERROR_SUCCESS);
  api().Trace(ci, "third");
  EXPECT_EQ(ci->traceOn, 0) << "off until the connection is made anew";
  std::string text = readWholeFile(traceFile());
  EXPECT_NE(text.find(") first\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("second"), std::string::npos) << text;
  EXPECT_EQ(text.find("third"), std::string::npos) << text;
}

TEST_F(LogTest, DeletedTraceFileIsRecreated) {
  loadAgent("trace_delete");
  ScopedAgentSettings settings("AG4");
  ASSERT_EQ(settings.setDebug(1), ERROR_SUCCESS);
  ConnectionRecord* ci = record("AG4");
  api().Trace(ci, "before");
  ASSERT_TRUE(DeleteFileA(traceFile().c_str())) << "error " << GetLastError();
  api().Trace(ci, "after");
  std::string text = readWholeFile(traceFile());
  EXPECT_TRUE(
      std::regex_match(text, std::regex(traceLinePattern("AG4", GetCurrentThreadId(), "after"))))
      << "trace file:\n"
      << text;
}

std::string g_debugOutput;

LONG CALLBACK captureDebugOutput(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
    g_debugOutput.append(reinterpret_cast<const char*>(record->ExceptionInformation[1]));
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST_F(LogTest, UnopenableTraceFileGoesToTheDebugger) {
  loadAgent("trace_debugger");
  ScopedAgentSettings settings("AG5");
  ASSERT_EQ(settings.setDebug(1), ERROR_SUCCESS);
  // A folder in the trace file's place cannot be opened as a file.
  ASSERT_TRUE(CreateDirectoryA(traceFile().c_str(), nullptr)) << GetLastError();
  ConnectionRecord* ci = record("AG5");
  g_debugOutput.clear();
  PVOID handler = AddVectoredExceptionHandler(1, captureDebugOutput);
  api().Trace(ci, "ObjectType= %d", 6);
  RemoveVectoredExceptionHandler(handler);
  EXPECT_EQ(ci->traceOn, 1) << "an unopenable file does not switch tracing off";
  std::regex line(R"(HTB/ferryman\.dll-\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d{3}\t ObjectType= 6\r\n)");
  EXPECT_TRUE(std::regex_match(g_debugOutput, line)) << "debugger output [" << g_debugOutput << "]";
}

TEST_F(LogTest, BusyLogMutexIsGivenUpAfterItsLimit) {
  loadAgent("mutex_limit");
  ScopedAgentSettings settings("AGM");
  ASSERT_EQ(settings.setDebug(1), ERROR_SUCCESS);
  auto setLimits = reinterpret_cast<void (*)(DWORD, DWORD)>(
      reinterpret_cast<void*>(GetProcAddress(agent_->module(), "FerryTestSetWaitLimits")));
  auto hold = reinterpret_cast<HANDLE (*)(int, HANDLE)>(
      reinterpret_cast<void*>(GetProcAddress(agent_->module(), "FerryTestHoldLogMutex")));
  ASSERT_TRUE(setLimits && hold);
  setLimits(0, 200);
  ConnectionRecord* ci = record("AGM");
  HANDLE release = CreateEventA(nullptr, /*manualReset=*/TRUE, FALSE, nullptr);
  const ferry::UniqueHandleNull ownedRelease(release);
  ASSERT_NE(release, nullptr);
  // The holder keeps the mutex until `release` (or a minute): a call that returns while it
  // still runs did not wait for the mutex without limit.
  auto letGo = [&](HANDLE holder) {
    const ferry::UniqueHandleNull owned(holder);
    SetEvent(release);
    EXPECT_EQ(WaitForSingleObject(holder, 10000), WAIT_OBJECT_0);
    ResetEvent(release);
  };
  {
    SCOPED_TRACE("trace mutex held: the line goes to the debugger output");
    HANDLE holder = hold(0, release);
    ASSERT_NE(holder, nullptr);
    g_debugOutput.clear();
    PVOID handler = AddVectoredExceptionHandler(1, captureDebugOutput);
    SetLastError(0xdeadbeef);
    api().Trace(ci, "while held %d", 1);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    RemoveVectoredExceptionHandler(handler);
    EXPECT_EQ(WaitForSingleObject(holder, 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the line waited until the holder let go";
    EXPECT_NE(g_debugOutput.find("\t while held 1\r\n"), std::string::npos)
        << "debugger output [" << g_debugOutput << "]";
    EXPECT_FALSE(fileExists(traceFile()));
    letGo(holder);
    api().Trace(ci, "after the release");
    EXPECT_NE(readWholeFile(traceFile()).find(") after the release\r\n"), std::string::npos);
  }
  {
    SCOPED_TRACE("activity mutex held: 1, nothing written, a trace line says why");
    HANDLE holder = hold(1, release);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(api().LogAct(ci, 29), 1);
    EXPECT_EQ(WaitForSingleObject(holder, 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the entry waited until the holder let go";
    EXPECT_FALSE(fileExists(activityFile()));
    EXPECT_NE(readWholeFile(traceFile())
                  .find(") Log_act(): the activity log was not free within 200 ms; entry 29 not "
                        "written\r\n"),
              std::string::npos)
        << readWholeFile(traceFile());
    letGo(holder);
    EXPECT_EQ(api().LogAct(ci, 29), 0);
    EXPECT_NE(readWholeFile(activityFile()).find("-AGM-Connected\r\n"), std::string::npos);
  }
  {
    SCOPED_TRACE("both mutexes: unnamed, with the agent's DACL");
    auto mutexOf = reinterpret_cast<HANDLE (*)(int)>(
        reinterpret_cast<void*>(GetProcAddress(agent_->module(), "FerryTestLogMutex")));
    ASSERT_NE(mutexOf, nullptr);
    for (int activity : {0, 1}) {
      EXPECT_EQ(kernelObjectDacl(mutexOf(activity)), agentObjectDacl()) << activity;
    }
  }
}

TEST_F(LogTest, ActivityLinesWithAndWithoutConnection) {
  loadAgent("activity");
  ConnectionRecord* ci = record("AG6", 0);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(api().LogAct(ci, 35, "dbone.DATA"), 0);
  EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "Log_act changed the caller's error";
  EXPECT_EQ(api().LogAct(nullptr, 29), 0);
  EXPECT_EQ(api().LogAct(ci, 93, "WriteRemotePipe", 5), 0);
  EXPECT_EQ(api().LogAct(ci, 4321), 1) << "an id without text is not written";

  std::string text = readWholeFile(activityFile());
  const std::string stamp = R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)";
  std::regex expected(stamp + "-AG6-Backup of dbone\\.DATA begun\r\n" + stamp +
                      "----Connected\r\n" + stamp +
                      R"(-AG6-Thread WriteRemotePipe could not be ended \(error 5\))" + "\r\n");
  EXPECT_TRUE(std::regex_match(text, expected)) << "activity log:\n" << text;
  EXPECT_FALSE(fileExists(traceFile())) << "no trace for a connection with traceOn 0";
}

TEST_F(LogTest, ActivityFailureIsTracedWhenTracing) {
  loadAgent("activity_fail", {{"sounder26.dll", "sounder26.dll"}});
  ScopedAgentSettings settings("AG7");
  ASSERT_EQ(settings.setDebug(1), ERROR_SUCCESS);
  ConnectionRecord* ci = record("AG7");
  EXPECT_EQ(api().LogAct(ci, 29), 1);
  EXPECT_FALSE(fileExists(activityFile()));
  std::string text = readWholeFile(traceFile());
  EXPECT_NE(text.find(") Log_act():Error in LoadString(): id=29, GetLastError()="),
            std::string::npos)
      << text;
}

TEST_F(LogTest, SettingsAndBuildNumber) {
  loadAgent("settings");
  EXPECT_STREQ(api().RegistryRoot(), kProductRegistryRoot);
  ScopedAgentSettings settings("AG8");
  const std::string instance = "ferryman@AG8";
  EXPECT_EQ(api().ReadAgentSetting("agent", instance.c_str(), "debug", 100), 100u)
      << "missing key gives the default";
  ASSERT_EQ(settings.setDebug(0x12345678), ERROR_SUCCESS);
  EXPECT_EQ(api().ReadAgentSetting("agent", instance.c_str(), "debug", 100), 0x12345678u);
  EXPECT_EQ(api().ReadAgentSetting("agent", instance.c_str(), "absent", 55), 55u)
      << "missing value gives the default";

  // The build number comes from the first sub-key whose name begins with "ferryman", in the
  // registry's own order; the other keys of this suite hold no build number.
  ASSERT_EQ(settings.setBuildNumber("4711"), ERROR_SUCCESS);
  ScopedAgentSettings lower("AG0");  // sorts before AG8; no key until it is written below
  char buffer[256];
  memset(buffer, 0xbd, sizeof buffer);
  EXPECT_EQ(api().GetBuildNumber(buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "4711");

  ASSERT_EQ(lower.setBuildNumber("0815"), ERROR_SUCCESS);
  EXPECT_EQ(api().GetBuildNumber(buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "0815") << "the first matching key wins";

  char small[5];
  memset(small, 0xbd, sizeof small);
  EXPECT_EQ(api().GetBuildNumber(small, 4), 1);
  EXPECT_STREQ(small, "081") << "cut to the caller's size";
  EXPECT_EQ(small[4], '\xbd') << "guard byte overwritten";
}

}  // namespace
}  // namespace ferry::test
