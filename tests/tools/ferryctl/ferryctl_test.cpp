// ferryctl.exe as a user runs it: a process with its exit code and output, against the testbed
// agent library and simulated installations of the test's own.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "agent/agent_fixture.h"
#include "ingsim/installation.h"
#include "scoped_installation.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

std::string testbedAgent() { return binDir() + "\\testbed\\ferryman.dll"; }

// Console output ends its lines with CR LF; the tests compare the text.
std::string withoutCarriageReturns(std::string text) {
  std::erase(text, '\r');
  return text;
}

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

CtlRun ferryctl(const std::string& arguments) {
  CtlRun run;
  run.process = runProcess("\"" + binDir() + "\\ferryctl.exe\" " + arguments);
  run.out = withoutCarriageReturns(run.process.out);
  run.err = withoutCarriageReturns(run.process.err);
  return run;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string systemText(DWORD error) {
  char buffer[1300] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

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

TEST(FerryctlError, AgentAndSystemTexts) {
  {
    SCOPED_TRACE("agent code 18: the message library's text");
    HMODULE messages = LoadLibraryA((binDir() + "\\ferryres.dll").c_str());
    ASSERT_NE(messages, nullptr) << "ferryres.dll: error " << GetLastError();
    char buffer[256];
    int n = LoadStringA(messages, 18, buffer, sizeof buffer);
    FreeLibrary(messages);
    ASSERT_GT(n, 0) << "string 18: error " << GetLastError();
    const std::string expected = "18: " + std::string(buffer, n) + "\n";

    CtlRun run = ferryctl("--agent " + quoted(testbedAgent()) + " error 18");
    EXPECT_EQ(run.process.exitCode, 0u) << run.describe();
    EXPECT_EQ(run.out, expected) << run.describe();
    EXPECT_EQ(run.err, "") << run.describe();
  }
  {
    SCOPED_TRACE("system code 10002: the text of Windows error 2");
    const std::string text = systemText(ERROR_FILE_NOT_FOUND);
    ASSERT_NE(text, "") << "FormatMessageA(2): error " << GetLastError();
    CtlRun run = ferryctl("--agent " + quoted(testbedAgent()) + " error 10002");
    EXPECT_EQ(run.process.exitCode, 0u) << run.describe();
    EXPECT_EQ(run.out, "10002: " + text + "\n") << run.describe();
  }
}

TEST(FerryctlUsage, HelpAndMalformedCommandLines) {
  {
    SCOPED_TRACE("--help: usage on standard output, success");
    CtlRun run = ferryctl("--help");
    EXPECT_EQ(run.process.exitCode, 0u) << run.describe();
    EXPECT_NE(run.out.find("usage: ferryctl"), std::string::npos) << run.describe();
  }
  {
    SCOPED_TRACE("no arguments: usage on standard error, usage error");
    CtlRun run = ferryctl("");
    EXPECT_EQ(run.process.exitCode, 2u) << run.describe();
    EXPECT_NE(run.err.find("usage: ferryctl"), std::string::npos) << run.describe();
  }
  {
    SCOPED_TRACE("a bad code is refused before any library is loaded");
    CtlRun run = ferryctl("--agent C:\\nowhere\\ferryman.dll error 12x");
    EXPECT_EQ(run.process.exitCode, 2u) << run.describe();
    EXPECT_NE(run.err.find("'12x' is not a decimal number"), std::string::npos) << run.describe();
  }
}

TEST(FerryctlLoad, MissingLibraryAndMissingEntryPoint) {
  {
    SCOPED_TRACE("a file that does not exist");
    const std::string path = "C:\\ferrytest\\ctl_none\\ferryman.dll";
    CtlRun run = ferryctl("--agent " + path + " error 18");
    EXPECT_EQ(run.process.exitCode, 3u) << run.describe();
    EXPECT_NE(run.err.find("cannot load agent library " + path + ": error "), std::string::npos)
        << run.describe();
    EXPECT_EQ(run.out, "") << run.describe();
  }
  {
    SCOPED_TRACE("a relative path is shown made absolute");
    char directory[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof directory, directory);  // the child's, too
    CtlRun run = ferryctl("--agent ctl_absent.dll error 18");
    EXPECT_EQ(run.process.exitCode, 3u) << run.describe();
    EXPECT_NE(run.err.find(std::string(directory) + "\\ctl_absent.dll: error "), std::string::npos)
        << "current directory " << directory << "; " << run.describe();
  }
  {
    SCOPED_TRACE("a library without the agent's exports");
    const std::string path = binDir() + "\\sounder26.dll";
    CtlRun run = ferryctl("--agent " + quoted(path) + " error 18");
    EXPECT_EQ(run.process.exitCode, 3u) << run.describe();
    EXPECT_NE(run.err.find("agent library " + path + " lacks entry point DSAConnectAgent"),
              std::string::npos)
        << run.describe();
    EXPECT_NE(run.err.find("error 127"), std::string::npos)
        << "ERROR_PROC_NOT_FOUND expected; " << run.describe();
  }
  {
    SCOPED_TRACE("a library with only some of the entry points the console needs");
    const std::string path = binDir() + "\\ctl_partial_agent.dll";
    CtlRun run = ferryctl("--agent " + quoted(path) + " error 18");
    EXPECT_EQ(run.process.exitCode, 3u) << run.describe();
    EXPECT_NE(run.err.find("lacks entry point DSADisconnectAgent"), std::string::npos)
        << run.describe();
    EXPECT_EQ(run.out, "") << "nothing may run before every entry point is bound; "
                           << run.describe();
  }
}

constexpr char kMachineEnvironment[] =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// Connecting sets the machine-wide II_SYSTEM, and the agent's utility runs write their output
// files on the root of the current drive, which a child inherits: the test keeps its own
// current directory on C: while it runs and puts both back afterwards.
class FerryctlConnect : public testing::Test {
 protected:
  void SetUp() override {
    char buffer[1024] = {};
    DWORD size = sizeof buffer;
    hadMachineRoot_ = RegGetValueA(HKEY_LOCAL_MACHINE, kMachineEnvironment, "II_SYSTEM",
                                   RRF_RT_REG_SZ, nullptr, buffer, &size) == ERROR_SUCCESS;
    savedMachineRoot_ = hadMachineRoot_ ? buffer : "";
    GetCurrentDirectoryA(sizeof buffer, buffer);
    savedDirectory_ = buffer;
    CreateDirectoryA("C:\\ferrytest", nullptr);  // usually there already
    SetCurrentDirectoryA("C:\\ferrytest");
  }
  void TearDown() override {
    SetCurrentDirectoryA(savedDirectory_.c_str());
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMachineEnvironment, 0, KEY_WRITE, &key) == 0) {
      if (hadMachineRoot_) {
        RegSetValueExA(key, "II_SYSTEM", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(savedMachineRoot_.c_str()),
                       static_cast<DWORD>(savedMachineRoot_.size() + 1));
      } else {
        RegDeleteValueA(key, "II_SYSTEM");
      }
      RegCloseKey(key);
    }
    for (const char* stem : {"env", "ingprenv", "infodb"}) {
      DeleteFileA((std::string("C:\\") + stem + kCode + ".out").c_str());
    }
  }

  static constexpr char kCode[] = "FC";
  bool hadMachineRoot_ = false;
  std::string savedMachineRoot_;
  std::string savedDirectory_;
};

TEST_F(FerryctlConnect, WrongPasswordThenRightPassword) {
  // The agent in a folder of the test's own, with its companions, so that its logs and
  // connection state are the test's alone.
  AgentCopy agentCopy("ctl_connect", {{"sounder26.dll", "sounder26.dll"},
                                      {"sounder30.dll", "sounder30.dll"},
                                      {"ferryres.dll", "ferryres.dll"},
                                      {"basetool.dll", "basetool.dll"}});
  ASSERT_EQ(agentCopy.setupError(), "");
  ingsim::test::ScopedInstallation installation(kCode);
  ingsim::InstallationOptions options = installation.options(2);
  options.addToMachinePath = false;
  ASSERT_EQ(ingsim::createInstallation(options), "");
  ScopedAccount stranger({"ctl_stranger", "right-one", ""});
  ASSERT_EQ(stranger.error(), "");
  ScopedAccount owner({"ingres", "ctl-ingres-pw", ""});  // the owner of a version 2 installation
  ASSERT_EQ(owner.error(), "");
  const std::string agent = "--agent " + quoted(agentCopy.path("ferryman.dll"));
  const std::string instance = std::string(" ingres@") + kCode + " ";
  {
    SCOPED_TRACE("wrong password: logon failure 85 with its text, no password shown");
    CtlRun run = ferryctl(agent + " connect" + instance + "ctl_stranger wrong-one");
    EXPECT_EQ(run.process.exitCode, 1u) << run.describe();
    EXPECT_NE(run.err.find("DSAConnectAgent failed: 85: "), std::string::npos) << run.describe();
    EXPECT_EQ(run.err.find("(no text)"), std::string::npos) << run.describe();
    EXPECT_EQ((run.out + run.err).find("wrong-one"), std::string::npos) << run.describe();
  }
  {
    SCOPED_TRACE("right password of the installation's owner");
    CtlRun run = ferryctl(agent + " connect" + instance + "ingres ctl-ingres-pw");
    EXPECT_EQ(run.process.exitCode, 0u) << run.describe();
    EXPECT_NE(run.out.find("connected: connection id "), std::string::npos) << run.describe();
    EXPECT_NE(run.out.find("\ndisconnected\n"), std::string::npos) << run.describe();
    EXPECT_EQ(run.out.find("connection id 0\n"), std::string::npos)
        << "id 0 means no connection; " << run.describe();
    EXPECT_EQ((run.out + run.err).find("ctl-ingres-pw"), std::string::npos) << run.describe();
  }
}

}  // namespace
}  // namespace ferry::test
