// Both agent families on one machine: the x64 test-bed package and the x86 one install side by
// side for one 32-bit installation (each family registering in its own registry view, into its
// own folder, with its own service), and removing one leaves the other whole.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "ingsim/installation.h"
#include "scoped_installation.h"
#include "setup_fixture.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

constexpr char kFolder[] = "C:\\ferrytest\\sbs";
constexpr char kCode[] = "SB";

// The x64 tree's test-bed package, reached from inside the prefix through drive Z:.
std::string x64Package() {
  std::string path = std::string("Z:") + FERRY_X64_TREE + "/package/ferryman-testbed.msi";
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}
std::string x86Package() { return binDir() + "\\..\\package\\ferryman-x86-testbed.msi"; }

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

ProcessResult msiexec(const std::string& arguments) {
  return runProcess("msiexec " + arguments, 180000);
}

bool fileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The agent key's "Dll" in one view of the registry; "" when there is none.
std::string agentDll(REGSAM view) {
  const std::string keyName = std::string(kAgentsKey) + "\\ferryman@" + kCode;
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ | view, key.put()) != 0) {
    return "";
  }
  char text[MAX_PATH + 1] = "";
  DWORD size = MAX_PATH;
  if (RegQueryValueExA(key.get(), "Dll", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) !=
      0) {
    return "";
  }
  return text;
}

bool serviceExists(const char* name) {
  UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  UniqueService service(manager ? OpenServiceA(manager.get(), name, SERVICE_QUERY_STATUS)
                                : nullptr);
  return static_cast<bool>(service);
}

std::string writeProfile(const std::string& name, const std::string& agentFolder) {
  const std::string path = std::string(kFolder) + "\\" + name;
  std::ofstream(path, std::ios::binary)
      << "[DBAINGRES]\r\nTotalSID=1\r\nSID1=" << kCode
      << "\r\nLoginID1=ingres\r\nPassword1=pw-sbs\r\nAgentPath=" << agentFolder << "\r\n";
  return path;
}

class SideBySide : public testing::Test {
 protected:
  void SetUp() override {
    removePackages();
    ScopedProductBranch::clear();
    CreateDirectoryA("C:\\ferrytest", nullptr);
    CreateDirectoryA(kFolder, nullptr);
    ingsim::InstallationOptions options = installation_.options(2);
    options.addToMachinePath = false;
    ASSERT_EQ(ingsim::createInstallation(options), "");
  }
  void TearDown() override {
    removePackages();
    ScopedProductBranch::clear();
    removeTree(kFolder);
  }
  static void removePackages() {
    msiexec("/x " + quoted(x86Package()) + " /qn");  // not installed: nothing to do
    msiexec("/x " + quoted(x64Package()) + " /qn");
  }
  ingsim::test::ScopedInstallation installation_{kCode};
};

TEST_F(SideBySide, BothFamiliesInstallTogetherAndEachRemovesOnlyItself) {
  ASSERT_TRUE(fileExists(x64Package())) << x64Package() << ": build the x64 tree first";
  const std::string x64Folder = std::string(kFolder) + "\\x64 agent";
  const std::string x86Folder = std::string(kFolder) + "\\x86 agent";
  {
    SCOPED_TRACE("the x64 package, then the x86 one");
    ProcessResult run = msiexec("/i " + quoted(x64Package()) +
                                " /qn ICFPATH=" + quoted(writeProfile("x64.ini", x64Folder)));
    ASSERT_EQ(run.exitCode, 0u) << run.out << run.err;
    run = msiexec("/i " + quoted(x86Package()) +
                  " /qn ICFPATH=" + quoted(writeProfile("x86.ini", x86Folder)));
    ASSERT_EQ(run.exitCode, 0u) << run.out << run.err;
  }
  {
    SCOPED_TRACE("each family in its own folder, view and service");
    EXPECT_TRUE(fileExists(x64Folder + "\\ferryman.dll"));
    EXPECT_TRUE(fileExists(x86Folder + "\\ferryman.dll"));
    EXPECT_EQ(agentDll(KEY_WOW64_64KEY), x64Folder + "\\ferryman.dll");
    EXPECT_EQ(agentDll(KEY_WOW64_32KEY), x86Folder + "\\ferryman.dll");
    EXPECT_TRUE(serviceExists("DbaRpcService"));
    EXPECT_TRUE(serviceExists("DbaRpcService32"));
  }
  {
    SCOPED_TRACE("removing the x86 family leaves the x64 one whole");
    ProcessResult run = msiexec("/x " + quoted(x86Package()) + " /qn");
    ASSERT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_FALSE(fileExists(x86Folder + "\\ferryman.dll"));
    EXPECT_EQ(agentDll(KEY_WOW64_32KEY), "");
    EXPECT_FALSE(serviceExists("DbaRpcService32"));
    EXPECT_TRUE(fileExists(x64Folder + "\\ferryman.dll"));
    EXPECT_EQ(agentDll(KEY_WOW64_64KEY), x64Folder + "\\ferryman.dll");
    EXPECT_TRUE(serviceExists("DbaRpcService"));
  }
  {
    SCOPED_TRACE("and the x64 one goes too");
    ProcessResult run = msiexec("/x " + quoted(x64Package()) + " /qn");
    ASSERT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_FALSE(fileExists(x64Folder + "\\ferryman.dll"));
    EXPECT_EQ(agentDll(KEY_WOW64_64KEY), "");
    EXPECT_FALSE(serviceExists("DbaRpcService"));
  }
}

}  // namespace
}  // namespace ferry::test
