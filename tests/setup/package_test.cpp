// The installer package as an administrator uses it: msiexec installs the test-bed package
// silently with a silent profile against installations made by ingsim, the installed agent
// connects and backs up through ferryctl, an upgrade over an earlier agent rewrites its key, and
// msiexec /x takes everything away again.
#include <windows.h>

#include <gtest/gtest.h>
#include <msi.h>

#include <memory>
#include <string>

#include "ingsim/installation.h"
#include "scoped_installation.h"
#include "setup_fixture.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

constexpr char kFolder[] = "C:\\ferrytest\\st_pkg";
constexpr char kAgentFolder[] = "C:\\ferrytest\\st_pkg\\Agent Folder";
constexpr char kMachineEnvironment[] =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char* const kInstalledFiles[] = {"ferryman.dll",  "ferryres.dll", "sounder26.dll",
                                       "sounder30.dll", "siphon.exe",   "basetool.dll",
                                       "mooring.exe",   "tally.dll"};

// This build's test-bed package (ferryman-x86-testbed.msi in the x86 tree) and its service.
std::string testbedPackage() { return binDir() + "\\..\\package\\" FERRY_TESTBED_PACKAGE; }
constexpr char kAgentService[] = FERRY_AGENT_SERVICE;

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string describe(const ProcessResult& run) {
  return "started " + std::to_string(run.started) + " (error " + std::to_string(run.error) +
         "), timed out " + std::to_string(run.timedOut) + ", exit " + std::to_string(run.exitCode) +
         "\nstdout: " + run.out + "\nstderr: " + run.err;
}

DWORD serviceState(const char* name) {
  UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return 0;
  UniqueService service(OpenServiceA(manager.get(), name, SERVICE_QUERY_STATUS));
  SERVICE_STATUS status = {};
  DWORD state = 0;  // 0: no such service
  if (service && QueryServiceStatus(service.get(), &status)) state = status.dwCurrentState;
  return state;
}

std::string agentKey(const std::string& code) {
  return std::string(kAgentsKey) + "\\ferryman@" + code;
}

std::string textOf(const std::vector<StoredValue>& values, const char* name) {
  const StoredValue* value = findValue(values, name);
  return value != nullptr && value->type == REG_SZ ? value->text()
                                                   : "<no text " + std::string(name) + ">";
}

DWORD numberOf(const std::vector<StoredValue>& values, const char* name) {
  const StoredValue* value = findValue(values, name);
  return value != nullptr && value->type == REG_DWORD ? value->number() : 0xbdbdbdbdu;
}

class SetupPackage : public testing::Test {
 protected:
  void SetUp() override {
    removeInstalledPackages();
    ScopedProductBranch::clear();
    char buffer[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof buffer, buffer);
    savedDirectory_ = buffer;
    DWORD size = sizeof buffer;
    hadMachineRoot_ = RegGetValueA(HKEY_LOCAL_MACHINE, kMachineEnvironment, "II_SYSTEM",
                                   RRF_RT_REG_SZ, nullptr, buffer, &size) == ERROR_SUCCESS;
    savedMachineRoot_ = hadMachineRoot_ ? buffer : "";
    removeTree(kFolder);
    CreateDirectoryA("C:\\ferrytest", nullptr);  // usually there already
    ASSERT_TRUE(CreateDirectoryA(kFolder, nullptr)) << GetLastError();
    // Whatever a utility writes relative to the current drive lands on C:.
    SetCurrentDirectoryA("C:\\ferrytest");
    SetEnvironmentVariableA("DBAGUI_LOG_PATH", kFolder);
  }

  void TearDown() override {
    removeInstalledPackages();
    ScopedProductBranch::clear();
    SetEnvironmentVariableA("DBAGUI_LOG_PATH", nullptr);
    SetCurrentDirectoryA(savedDirectory_.c_str());
    if (hadMachineRoot_) {
      writeText(kMachineEnvironment, "II_SYSTEM", savedMachineRoot_);
    } else {
      UniqueKey key;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMachineEnvironment, 0, KEY_WRITE, key.put()) == 0) {
        RegDeleteValueA(key.get(), "II_SYSTEM");
      }
    }
    ingsim::removeAccount("ingres");
    for (auto& installation : installations_) {
      // Disconnecting starts ingunset and does not wait for it: a running program cannot be
      // deleted, so wait (bounded) until it has gone.
      const std::string ingunset = installation->bin() + "\\ingunset.exe";
      for (int i = 0; i < 50 && !DeleteFileA(ingunset.c_str()); ++i) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) break;
        Sleep(200);
      }
      for (const char* stem : {"env", "ingprenv", "infodb"}) {
        DeleteFileA(
            (std::string("C:\\ferrytest\\") + stem + installation->code() + ".out").c_str());
        DeleteFileA(
            (std::string("C:\\ferrytest\\") + stem + installation->code() + "shop.out").c_str());
      }
    }
    installations_.clear();
    removeTree(kFolder);
  }

  // Whatever an earlier run or the demo left installed of this product.
  static void removeInstalledPackages() {
    char product[39] = {};
    for (DWORD index = 0; MsiEnumRelatedProductsA("{5B7E2C94-1A3D-4E8F-9C21-7D4B6A8E3F10}", 0,
                                                  index, product) == ERROR_SUCCESS;
         ++index) {
      runProcess(std::string("msiexec /x ") + product + " /qn", 120000);
    }
  }

  void addInstallation(const std::string& code) {
    installations_.push_back(std::make_unique<ingsim::test::ScopedInstallation>(code));
    ingsim::InstallationOptions options = installations_.back()->options(2);
    options.addToMachinePath = false;
    ASSERT_EQ(ingsim::createInstallation(options), "") << code;
  }

  static ProcessResult msiexec(const std::string& arguments) {
    return runProcess("msiexec " + arguments, 180000);
  }

  std::string setupLog() { return readFile(std::string(kFolder) + "\\IngresDBASetup.log"); }

  std::string savedDirectory_;
  bool hadMachineRoot_ = false;
  std::string savedMachineRoot_;
  std::vector<std::unique_ptr<ingsim::test::ScopedInstallation>> installations_;
};

TEST_F(SetupPackage, SilentInstallConnectBackUpRemoveAndUpgradeOverAnEarlierAgent) {
  ASSERT_NO_FATAL_FAILURE(addInstallation("P1"));
  ASSERT_NO_FATAL_FAILURE(addInstallation("P2"));
  ingsim::DatabaseOptions shop;
  shop.name = "shop";
  shop.journaled = true;
  shop.journalFiles = 1;
  shop.locations = {{"", {{"aaaaaaab.t00", 70000}}}};
  ASSERT_EQ(ingsim::addDatabase("P1", shop), "");
  ingsim::removeAccount("ingres");
  ASSERT_EQ(ingsim::addAccount({"ingres", "pw-pkg", ""}), "");
  const std::string profile = std::string(kFolder) + "\\silent.ini";
  writeFile(profile,
            std::string("[DBAINGRES]\r\nTotalSID=2\r\nSID1=P1\r\nLoginID1=ingres\r\n"
                        "Password1=pw-pkg\r\nSID2=p2\r\nLoginID2=ops\r\nPassword2=pw-p2\r\n"
                        "AgentPath=") +
                kAgentFolder + "\r\n[UserInfo]\r\nFullName=Backup Admin\r\n");
  const std::string install = "/i " + quoted(testbedPackage()) + " /qn ICFPATH=" + quoted(profile);
  {
    SCOPED_TRACE("silent without a profile: refused before anything changes");
    ProcessResult run = msiexec("/i " + quoted(testbedPackage()) + " /qn");
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_INSTALL_USEREXIT)) << describe(run);
    EXPECT_NE(setupLog().find("AllowInstall() - A silent installation needs the property ICFPATH"),
              std::string::npos)
        << setupLog();
    EXPECT_NE(setupLog().find("AllowInstall ended with ERROR_INSTALL_USEREXIT"), std::string::npos);
    EXPECT_EQ(serviceState(kAgentService), 0u);
    EXPECT_FALSE(keyExists(std::string(kProductRoot) + "\\DSAgent"));
  }
  {
    SCOPED_TRACE("msiexec /i /qn with the silent profile");
    ProcessResult run = msiexec(install + " REMOTEPIPEACCOUNTS=" + quoted("MEDIA\\tape;ops"));
    ASSERT_EQ(run.exitCode, 0u) << describe(run) << setupLog();
    for (const char* file : kInstalledFiles) {
      EXPECT_TRUE(ingsim::test::exists(std::string(kAgentFolder) + "\\" + file)) << file;
    }
    EXPECT_NE(setupLog().find("ISUPGRADE = 0"), std::string::npos) << setupLog();
    const std::string order =
        ": Name Type Dll Server BuildNumber Version RestoreDir Debug ProdSubType Em Es "
        "ProdSubType RemotePipeAccounts\r\n";
    for (const auto& [code, account] :
         {std::pair<std::string, std::string>{"P1", "ingres|pw-pkg"}, {"P2", "ops|pw-p2"}}) {
      SCOPED_TRACE(code);
      EXPECT_NE(setupLog().find("ferryman@" + code + " written for " +
                                account.substr(0, account.find('|')) + order),
                std::string::npos)
          << setupLog();
      std::vector<StoredValue> values = storedValues(agentKey(code));
      ASSERT_EQ(values.size(), 12u) << valueNames(values);
      EXPECT_EQ(textOf(values, "Name"), "Keelson Ingres Database Server-" + code);
      EXPECT_EQ(textOf(values, "Type"), "database");
      EXPECT_EQ(textOf(values, "Dll"), std::string(kAgentFolder) + "\\ferryman.dll");
      EXPECT_EQ(textOf(values, "Server"), "Ingres II");
      EXPECT_EQ(textOf(values, "BuildNumber"), FERRY_BUILD_NUMBER);
      EXPECT_EQ(textOf(values, "Version"), FERRY_AGENT_VERSION);
      EXPECT_EQ(textOf(values, "RestoreDir"), "");
      EXPECT_EQ(numberOf(values, "Debug"), 0u);
      EXPECT_EQ(numberOf(values, "ProdSubType"), 0u) << "setup.inf beside the package says 0";
      EXPECT_EQ(numberOf(values, "Em"), 3u);
      ASSERT_NE(findValue(values, "Es"), nullptr);
      EXPECT_EQ(decipheredAccount(findValue(values, "Es")->data), account);
      EXPECT_EQ(decipheredAccount(findValue(values, "Es")->data, Entropy::kNone), "<error 13>");
      EXPECT_EQ(textOf(values, "RemotePipeAccounts"), "MEDIA\\tape;ops");
      EXPECT_EQ(keyDacl(agentKey(code)), kSecretKeyDacl)
          << "readable by SYSTEM and the Administrators only, not by BUILTIN\\Users";
      EXPECT_NE(setupLog().find("ferryman@" + code +
                                " may be read by: NT AUTHORITY\\SYSTEM, BUILTIN\\Administrators"),
                std::string::npos)
          << setupLog();
    }
    EXPECT_EQ(textOf(storedValues(std::string(kProductRoot) + "\\DSAgent\\Path"), "DbaIngPath"),
              kAgentFolder);
    EXPECT_EQ(serviceState(kAgentService), static_cast<DWORD>(SERVICE_RUNNING));
  }
  {
    SCOPED_TRACE("StopComponent and StartComponent: the service stops and starts when asked");
    HMODULE rigger = LoadLibraryA((binDir() + "\\rigger.dll").c_str());
    ASSERT_NE(rigger, nullptr) << GetLastError();
    auto stop = reinterpret_cast<DWORD(__stdcall*)()>(
        reinterpret_cast<void*>(GetProcAddress(rigger, "StopComponent")));
    auto start = reinterpret_cast<DWORD(__stdcall*)()>(
        reinterpret_cast<void*>(GetProcAddress(rigger, "StartComponent")));
    ASSERT_TRUE(stop != nullptr && start != nullptr);
    EXPECT_EQ(stop(), 0u);
    EXPECT_EQ(serviceState(kAgentService), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(stop(), 0u) << "a stopped service is stopped";
    EXPECT_EQ(start(), 0u);
    EXPECT_EQ(serviceState(kAgentService), static_cast<DWORD>(SERVICE_RUNNING));
    FreeLibrary(rigger);
  }
  const std::string dll = textOf(storedValues(agentKey("P1")), "Dll");
  {
    SCOPED_TRACE("the agent that the registry names connects and backs up");
    const std::string ctl = quoted(binDir() + "\\ferryctl.exe") + " --agent " + quoted(dll);
    SetEnvironmentVariableA("FERRYCTL_PASSWORD", "pw-pkg");  // never on the command line
    ProcessResult info = runProcess(ctl + " info server@P1 ingres", 60000);
    EXPECT_EQ(info.exitCode, 0u) << describe(info);
    EXPECT_NE(info.out.find("build number    " FERRY_BUILD_NUMBER), std::string::npos)
        << describe(info);
    const std::string archive = std::string(kFolder) + "\\shop.fya";
    ProcessResult backup = runProcess(
        ctl + " backup server@P1 ingres " + quoted(archive) + " --database shop", 120000);
    SetEnvironmentVariableA("FERRYCTL_PASSWORD", nullptr);
    EXPECT_EQ(backup.exitCode, 0u) << describe(backup);
    EXPECT_NE(backup.out.find("saved shop.DATA: 1 file, 70000 bytes"), std::string::npos)
        << describe(backup);
    EXPECT_TRUE(ingsim::test::exists(archive));
  }
  {
    SCOPED_TRACE("msiexec /x removes the files, the keys and the service");
    ProcessResult run = msiexec("/x " + quoted(testbedPackage()) + " /qn");
    ASSERT_EQ(run.exitCode, 0u) << describe(run) << setupLog();
    for (const char* file : kInstalledFiles) {
      EXPECT_FALSE(ingsim::test::exists(std::string(kAgentFolder) + "\\" + file)) << file;
    }
    // What stays is what the agent wrote there itself (its logs and the utilities' output).
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA((std::string(kAgentFolder) + "\\*").c_str(), &entry));
    std::string left;
    if (find) {
      do {
        const std::string name = entry.cFileName;
        if (name != "." && name != "..") left += name + " ";
      } while (FindNextFileA(find.get(), &entry));
    }
    EXPECT_EQ(left, "") << "left in the agent folder";
    EXPECT_FALSE(keyExists(std::string(kProductRoot) + "\\DSAgent"));
    EXPECT_FALSE(keyExists(kProductRoot)) << "nothing else was below it";
    EXPECT_EQ(serviceState(kAgentService), 0u);
    EXPECT_NE(setupLog().find("PreUninstall() ended."), std::string::npos);
  }
  {
    SCOPED_TRACE("an upgrade over an earlier agent that an older setup registered");
    const std::string old = std::string(kFolder) + "\\old";
    const std::string key = agentKey("P1");
    ASSERT_EQ(writeText(key, "Name", "Keelson Ingres Database Server-P1"), ERROR_SUCCESS);
    writeText(key, "Dll", old + "\\ferryman_v6.dll");
    writeText(key, "BuildNumber", "012");
    writeText(key, "Version", "6.62");
    writeNumber(key, "ProdSubType", 0);
    writeNumber(key, "debug", 1);  // an administrator's setting, kept
    const std::string blob = enciphered(std::string("olduser\0oldpw", 13));
    HKEY handle = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_WRITE, &handle), 0);
    UniqueKey owned(handle);
    RegSetValueExA(handle, "Es", 0, REG_BINARY, reinterpret_cast<const BYTE*>(blob.data()),
                   static_cast<DWORD>(blob.size()));
    ASSERT_NE(keyDacl(key), kSecretKeyDacl) << "the earlier agent's key inherited its DACL";
    // The package from a folder of its own, whose setup.inf names product sub-type 1.
    const std::string media = std::string(kFolder) + "\\media";
    ASSERT_TRUE(CreateDirectoryA(media.c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(testbedPackage().c_str(), (media + "\\agent.msi").c_str(), FALSE));
    writeFile(media + "\\setup.inf", "[Product]\r\nSubType=1\r\n");
    ProcessResult run =
        msiexec("/i " + quoted(media + "\\agent.msi") + " /qn ICFPATH=" + quoted(profile));
    ASSERT_EQ(run.exitCode, 0u) << describe(run) << setupLog();
    EXPECT_NE(setupLog().find("INSTALLDIR = " + old + "\\, ISUPGRADE = 1"), std::string::npos)
        << "the earlier agent's folder stays the agent folder; " << setupLog();
    EXPECT_TRUE(ingsim::test::exists(old + "\\ferryman.dll"));
    std::vector<StoredValue> values = storedValues(key);
    EXPECT_EQ(textOf(values, "Dll"), old + "\\ferryman.dll");
    EXPECT_EQ(textOf(values, "Version"), FERRY_AGENT_VERSION);
    EXPECT_EQ(textOf(values, "BuildNumber"), FERRY_BUILD_NUMBER);
    EXPECT_EQ(numberOf(values, "ProdSubType"), 1u);
    EXPECT_EQ(numberOf(values, "debug"), 1u);
    ASSERT_NE(findValue(values, "Es"), nullptr);
    EXPECT_EQ(decipheredAccount(findValue(values, "Es")->data), "olduser|oldpw")
        << "the earlier agent's account is kept, enciphered anew with the entropy";
    EXPECT_EQ(decipheredAccount(findValue(values, "Es")->data, Entropy::kNone), "<error 13>");
    EXPECT_EQ(keyDacl(key), kSecretKeyDacl) << "the upgrade closed the earlier agent's key";
    EXPECT_EQ(keyDacl(agentKey("P2")), kSecretKeyDacl);
    std::vector<StoredValue> fresh = storedValues(agentKey("P2"));
    EXPECT_EQ(numberOf(fresh, "ProdSubType"), 1u);
    ASSERT_NE(findValue(fresh, "Es"), nullptr);
    EXPECT_EQ(decipheredAccount(findValue(fresh, "Es")->data), "ops|pw-p2");
    EXPECT_EQ(serviceState(kAgentService), static_cast<DWORD>(SERVICE_RUNNING));
  }
}

}  // namespace
}  // namespace ferry::test
