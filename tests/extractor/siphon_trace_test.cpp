// siphon's trace file, switched by the "dll" and "debug" settings below the agent's registry
// branch. Each case owns the settings key of its own installation code (T1 to T5) and the
// folder C:\ferrytest\sx_<case>.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "oidb_msg.h"
#include "registry_root.h"
#include "siphon_harness.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

class SettingsKey {
 public:
  explicit SettingsKey(const std::string& code)
      : name_(std::string(kProductRegistryRoot) + "\\DSAgent\\CurrentVersion\\agent\\ferryman@" +
              code) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, name_.c_str());  // leftovers of an interrupted run
  }
  ~SettingsKey() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, name_.c_str()); }
  LONG set(const char* value, DWORD type, const void* data, DWORD size) {
    UniqueKey key;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, name_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              key.put(), nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    return RegSetValueExA(key.get(), value, 0, type, static_cast<const BYTE*>(data), size);
  }
  LONG setDebug(DWORD value) { return set("debug", REG_DWORD, &value, sizeof value); }
  LONG setDll(const std::string& text) {
    return set("dll", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
  }

 private:
  std::string name_;
};

// The messages of a trace file, each line checked against the line format on the way.
std::vector<std::string> traceMessages(const std::string& text) {
  static const std::regex line(R"(^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d{3}\t (.*)$)");
  std::vector<std::string> messages;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    EXPECT_NE(end, std::string::npos) << "line without CR LF: " << text.substr(at);
    if (end == std::string::npos) break;
    std::string one = text.substr(at, end - at);
    std::smatch match;
    if (std::regex_match(one, match, line)) {
      messages.push_back(match[1]);
    } else {
      ADD_FAILURE() << "line out of format: '" << one << "'";
    }
    at = end + 2;
  }
  return messages;
}

// Runs a backup of an empty location and releases it; returns siphon's exit code.
DWORD runEmptyBackup(const std::string& code, const std::string& location) {
  std::string pipe = extractorPipeName(code, "sxdb");
  PipeServer server(pipe);
  EXPECT_EQ(server.setupError(), 0u);
  SiphonRun run;
  startSiphon("-P \"" + location + "\" -C c0012001.ckp -T db_backup -N " + pipe, &run);
  EXPECT_NE(run.process, nullptr) << run.startError;
  if (run.process == nullptr) return STILL_ACTIVE;
  EXPECT_EQ(server.awaitClient(run.process), 0u);
  OidbMsg msg;
  DWORD bytes = 0;
  EXPECT_EQ(server.read(&msg, &bytes), 0u);
  EXPECT_EQ(server.read(&msg, &bytes), 0u);
  EXPECT_EQ(server.write(makeOidbMsg(OIDBMSGTYPE_END_BACKUP)), 0u);
  return run.exitCode();
}

TEST(SiphonTrace, DebugOneWritesEveryLineInFormat) {
  TestFolder folder("sx_trace");
  TestFolder location("sx_trace_loc");
  SettingsKey key("T1");
  ASSERT_EQ(key.setDll(folder.path() + "\\ferryman.dll"), ERROR_SUCCESS);
  ASSERT_EQ(key.setDebug(1), ERROR_SUCCESS);
  ASSERT_EQ(runEmptyBackup("T1", location.path()), 0u);

  std::vector<std::string> files = listFiles(folder.path(), "siphon*.trc");
  ASSERT_EQ(files.size(), 1u) << "trace files: " << files.size();
  EXPECT_TRUE(std::regex_match(files[0], std::regex(R"(siphon\d+\.trc)"))) << files[0];
  std::string pipe = extractorPipeName("T1", "sxdb");
  std::string loc = location.path();
  std::vector<std::string> expected = {
      "Module siphon Entered",
      "main: **** Path = " + loc,
      "main: **** Ckpdb_name = c0012001.ckp",
      "job type= db_backup",
      "pipename is: " + pipe,
      "db_backup: Function called",
      "db_backup: Ckpdb_name = c0012001.ckp",
      "pipeName=" + pipe,
      "db_backup:Ckpdbno = c0012",
      "db_backup: About to open the directory " + loc,
      "pipeName = " + pipe,
      "WaitNamedPipe() successful.",
      "CreateFile() for the pipe successful.",
      "WriteFile() successful",
      "No More Files..",
      "WriteFile() successful",
      "MsgType= 4 received.",
      "siphon.exe exit normally.",
  };
  EXPECT_EQ(traceMessages(readWholeFile(folder.path() + "\\" + files[0])), expected);
}

TEST(SiphonTrace, RejectedLineIsTraced) {
  TestFolder folder("sx_trace_bad");
  SettingsKey key("T2");
  ASSERT_EQ(key.setDll(folder.path() + "\\ferryman.dll"), ERROR_SUCCESS);
  ASSERT_EQ(key.setDebug(7), ERROR_SUCCESS);
  std::string pipe = extractorPipeName("T2", "sxdb");
  SiphonRun run;
  startSiphon("-P \"C:\\x\" -C c1 -T db_backup -N " + pipe + " -Z", &run);
  ASSERT_NE(run.process, nullptr) << run.startError;
  EXPECT_EQ(run.exitCode(), 1u);
  std::vector<std::string> files = listFiles(folder.path(), "siphon*.trc");
  ASSERT_EQ(files.size(), 1u);
  std::vector<std::string> messages = traceMessages(readWholeFile(folder.path() + "\\" + files[0]));
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), "Error : siphon-main() : Invalid options.");
}

TEST(SiphonTrace, SettingsThatSwitchTracingOff) {
  struct Case {
    const char* code;
    const char* title;
    bool setDll;
    bool bareDll;
    bool setDebug;
    DWORD debug;
  } cases[] = {
      {"T3", "debug 100", true, false, true, 100},   {"T4", "debug 0", true, false, true, 0},
      {"T5", "debug absent", true, false, false, 0}, {"T6", "dll bare name", true, true, true, 1},
      {"T7", "dll absent", false, false, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    TestFolder folder("sx_trace_off");
    TestFolder location("sx_trace_off_loc");
    SettingsKey key(c.code);
    if (c.setDll) {
      ASSERT_EQ(key.setDll(c.bareDll ? "ferryman.dll" : folder.path() + "\\ferryman.dll"),
                ERROR_SUCCESS);
    }
    if (c.setDebug) {
      ASSERT_EQ(key.setDebug(c.debug), ERROR_SUCCESS);
    }
    EXPECT_EQ(runEmptyBackup(c.code, location.path()), 0u);
    EXPECT_EQ(listFiles(folder.path(), "*.trc").size(), 0u);
    EXPECT_EQ(listFiles(binDir(), "siphon*.trc").size(), 0u) << "trace file beside siphon";
  }
}

}  // namespace
}  // namespace ferry::test
