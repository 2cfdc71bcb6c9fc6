// rigger.dll's registration work against installations made by ingsim: the installation list,
// the agent keys and their values, the configured test, removal, the setup mutex and the
// dialogs.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "held_lock.h"
#include "ingsim/installation.h"
#include "installations.h"
#include "product_registry.h"
#include "resource.h"
#include "rules/setup_text.h"
#include "scoped_installation.h"
#include "setup_fixture.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

using setup::CMesquiteRegistry;

std::string agentKey(const std::string& code) {
  return std::string(kAgentsKey) + (code.empty() ? "\\ferryman" : "\\ferryman@" + code);
}

class Rigger : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(rigger_.load(binDir() + "\\rigger.dll"), "");
    CreateDirectoryA("C:\\ferrytest", nullptr);  // usually there already
    removeTree(folder_);
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << GetLastError();
    SetEnvironmentVariableA("DBAGUI_LOG_PATH", folder_.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableA("DBAGUI_LOG_PATH", nullptr);
    removeTree(folder_);
  }
  // An installation of the test's own, made by ingsim.
  std::unique_ptr<ingsim::test::ScopedInstallation> install(const std::string& code) {
    auto made = std::make_unique<ingsim::test::ScopedInstallation>(code);
    ingsim::InstallationOptions options = made->options(2);
    options.addToMachinePath = false;
    std::string error = ingsim::createInstallation(options);
    EXPECT_EQ(error, "") << code;
    return made;
  }
  std::string setupLog() { return readFile(folder_ + "\\IngresDBASetup.log"); }

  ScopedProductBranch branch_;
  RiggerApi rigger_;
  const std::string folder_ = "C:\\ferrytest\\st_rigger";
};

TEST_F(Rigger, InstallationCodesAgentKeysAndTheirValues) {
  auto ii = install("II");
  auto i2 = install("I2");
  CMesquiteRegistry registry(kProductRoot);
  {
    SCOPED_TRACE("the services Ingres_Database_II and Ingres_Database_I2 give II and I2");
    std::vector<std::string> codes;
    ASSERT_EQ(setup::findInstallations(registry, &codes), "");
    EXPECT_EQ(std::count(codes.begin(), codes.end(), "II"), 1);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), "I2"), 1);
    EXPECT_TRUE(setup::hasInstallation(registry, "I2"));
    EXPECT_FALSE(setup::hasInstallation(registry, "Q9"));
  }
  {
    SCOPED_TRACE("one agent key per installation, every value in its order");
    ASSERT_EQ(rigger_.CreateDBAgentSubKeys("", "II", "ingres", "pw-ii", "C:\\Agent Folder", 4), 1);
    ASSERT_EQ(rigger_.CreateDBAgentSubKeys(nullptr, "I2", "dba\\ops", "", "C:\\Agent Folder\\", 0),
              1);
    // Wine's registry enumerates values sorted by name, so the order in which they went in is
    // read from the setup log's line for each key.
    const std::string order =
        ": Name Type Dll Server BuildNumber Version RestoreDir Debug ProdSubType Em Es ProdSubType "
        "RemotePipeAccounts";
    for (const char* code : {"II", "I2"}) {
      SCOPED_TRACE(code);
      EXPECT_NE(setupLog().find(std::string("Agent key DSAgent\\CurrentVersion\\agent\\ferryman@") +
                                code + " written for "),
                std::string::npos)
          << setupLog();
      std::vector<StoredValue> values = storedValues(agentKey(code));
      ASSERT_EQ(values.size(), 12u) << valueNames(values);
      auto text = [&](const char* name) {
        const StoredValue* value = findValue(values, name);
        return value != nullptr && value->type == REG_SZ ? value->text() : "<not text>";
      };
      auto number = [&](const char* name) {
        const StoredValue* value = findValue(values, name);
        return value != nullptr && value->type == REG_DWORD ? value->number() : 0xbdbdbdbdu;
      };
      EXPECT_EQ(text("Name"), std::string("Keelson Ingres Database Server-") + code);
      EXPECT_EQ(text("Type"), "database");
      EXPECT_EQ(text("Dll"), "C:\\Agent Folder\\ferryman.dll");
      EXPECT_EQ(text("Server"), "Ingres II");
      EXPECT_EQ(text("BuildNumber"), FERRY_BUILD_NUMBER) << "tally.dll beside rigger.dll";
      EXPECT_EQ(text("Version"), FERRY_AGENT_VERSION);
      EXPECT_EQ(text("RestoreDir"), "");
      EXPECT_EQ(text("RemotePipeAccounts"), "") << "none named at installation";
      EXPECT_EQ(number("Debug"), 0u);
      EXPECT_EQ(number("Em"), 3u);
      EXPECT_EQ(number("ProdSubType"), std::string(code) == "II" ? 4u : 0u)
          << "the caller's sub-type replaced the 0";
      const StoredValue* secret = findValue(values, "Es");
      ASSERT_NE(secret, nullptr);
      EXPECT_EQ(secret->type, static_cast<DWORD>(REG_BINARY));
      EXPECT_LE(secret->data.size(), 1560u);
      EXPECT_EQ(decipheredAccount(secret->data),
                std::string(code) == "II" ? "ingres|pw-ii" : "dba\\ops|");
      EXPECT_EQ(decipheredAccount(secret->data, Entropy::kNone), "<error 13>")
          << "without the product's entropy the machine's key alone does not decipher it";
      EXPECT_EQ(keyDacl(agentKey(code)), kSecretKeyDacl)
          << "nothing inherited from HKLM\\SOFTWARE, which lets BUILTIN\\Users read";
      EXPECT_NE(
          setupLog().find(std::string("ferryman@") + code +
                          " may be read by: NT AUTHORITY\\SYSTEM, BUILTIN\\Administrators\r\n"),
          std::string::npos)
          << setupLog();
    }
    const std::string log = setupLog();
    size_t first = log.find("ferryman@II written for ingres" + order + "\r\n");
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find("ferryman@I2 written for dba\\ops" + order + "\r\n", first),
              std::string::npos)
        << log;
  }
  {
    SCOPED_TRACE("the account read back through the export");
    RiggerSetupInfo info = {};
    strcpy(info.installationCode, "II");
    memset(info.accountPassword, 0xbd, sizeof info.accountPassword - 1);
    ASSERT_EQ(rigger_.GetExistDBAgentSysInformation(&info), 1);
    EXPECT_STREQ(info.accountName, "ingres");
    EXPECT_STREQ(info.accountPassword, "pw-ii");
    strcpy(info.installationCode, "Q9");
    EXPECT_EQ(rigger_.GetExistDBAgentSysInformation(&info), 0);
    EXPECT_STREQ(info.accountName, "") << "a failed read leaves no account behind";
  }
  {
    SCOPED_TRACE("the single-installation layout and refused values");
    ASSERT_EQ(rigger_.CreateDBAgentSubKeys("", nullptr, "sa", "x", "C:\\Single", 0), 1);
    std::vector<StoredValue> values = storedValues(agentKey(""));
    ASSERT_EQ(values.size(), 12u) << valueNames(values);
    ASSERT_NE(findValue(values, "Name"), nullptr);
    EXPECT_EQ(findValue(values, "Name")->text(), "Keelson Ingres Database Server");
    ASSERT_NE(findValue(values, "Em"), nullptr);
    EXPECT_EQ(findValue(values, "Em")->number(), 1u);
    EXPECT_EQ(rigger_.CreateDBAgentSubKeys("", "LG", "", "x", "C:\\A", 0), 0) << "no account";
    EXPECT_EQ(rigger_.CreateDBAgentSubKeys("", "LG", "a", "x",
                                           ("C:\\" + std::string(250, 'a')).c_str(), 0),
              0)
        << "a Dll path the agent could not read back";
    EXPECT_FALSE(keyExists(agentKey("LG"))) << "a refused key is not written at all";
  }
}

TEST_F(Rigger, MoreThanAHundredInstallationsAreRefused) {
  const std::string services = "SYSTEM\\CurrentControlSet\\Services\\Ingres_Database_Z";
  for (int i = 0; i < 101; ++i) {
    ASSERT_EQ(writeNumber(services + std::to_string(100 + i), "Start", 3), ERROR_SUCCESS);
  }
  CMesquiteRegistry registry(kProductRoot);
  std::vector<std::string> codes = {"unchanged"};
  const std::string error = setup::findInstallations(registry, &codes);
  for (int i = 0; i < 101; ++i) deleteKeyTree(services + std::to_string(100 + i));
  EXPECT_NE(error.find("more than 100 Ingres installations"), std::string::npos) << error;
  EXPECT_EQ(codes, std::vector<std::string>{"unchanged"});
}

TEST_F(Rigger, ConfigDatDbmsLineMakesAnInstallationConfigured) {
  auto cf = install("CF");
  CMesquiteRegistry registry(kProductRoot);
  const std::string configDat = cf->root() + "\\ingres\\files\\config.dat";
  {
    SCOPED_TRACE("ingsim's own config.dat, its value padded to a column");
    EXPECT_TRUE(setup::isInstallationConfigured(registry, "", "CF")) << readFile(configDat);
  }
  {
    SCOPED_TRACE("exactly the line ii.host.config.dbms.260: COMPLETE");
    writeFile(configDat,
              "ii.host.config.net.260: COMPLETE\r\nii.host.config.dbms.260: COMPLETE\r\n");
    EXPECT_TRUE(setup::isInstallationConfigured(registry, "", "CF"));
  }
  for (const char* other :
       {"ii.host.config.dbms.260: INCOMPLETE\n", "ii.host.config.dbms.260: NOT_CONFIGURED\n",
        "ii.host.config.net.260: COMPLETE\nii.host.dbms.*.connect: COMPLETE\n"}) {
    SCOPED_TRACE(other);
    writeFile(configDat, other);
    EXPECT_FALSE(setup::isInstallationConfigured(registry, "", "CF"));
  }
  {
    SCOPED_TRACE("II_SYSTEM of the machine environment names it");
    writeFile(configDat, "ii.host.config.dbms.260:   COMPLETE\n");
    const char* env = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    char saved[1024] = {};
    DWORD size = sizeof saved;
    bool had = RegGetValueA(HKEY_LOCAL_MACHINE, env, "II_SYSTEM", RRF_RT_REG_SZ, nullptr, saved,
                            &size) == ERROR_SUCCESS;
    ASSERT_EQ(writeText(env, "II_SYSTEM", cf->root()), ERROR_SUCCESS);
    EXPECT_TRUE(setup::isMachineInstallationConfigured(registry, ""));
    writeFile(configDat, "ii.host.config.dbms.260: INCOMPLETE\n");
    EXPECT_FALSE(setup::isMachineInstallationConfigured(registry, ""));
    if (had) {
      writeText(env, "II_SYSTEM", saved);
    } else {
      UniqueKey key;
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, env, 0, KEY_WRITE, key.put());
      RegDeleteValueA(key.get(), "II_SYSTEM");
    }
  }
  {
    SCOPED_TRACE("an installation without config.dat");
    DeleteFileA(configDat.c_str());
    EXPECT_FALSE(setup::isInstallationConfigured(registry, "", "CF"));
    EXPECT_NE(setupLog().find("config.dat file(" + configDat + ") is not accessed"),
              std::string::npos);
  }
}

TEST_F(Rigger, UninstallKeepsDSAgentWhileAnotherDatabaseAgentRemains) {
  auto un = install("UN");
  RiggerSetupInfo info = {};
  info.readProfile = 1;  // no message boxes
  const std::string other = std::string(kAgentsKey) + "\\sqlagent";
  const std::string dsAgent = std::string(kProductRoot) + "\\DSAgent";
  {
    SCOPED_TRACE("one of two database agents removed: DSAgent stays");
    ASSERT_EQ(rigger_.CreateDBAgentSubKeys("", "UN", "ingres", "pw", "C:\\A", 0), 1);
    ASSERT_EQ(writeText(other, "Dll", "C:\\Other\\sqlagent.dll"), ERROR_SUCCESS);
    ASSERT_EQ(rigger_.Uninstall(&info), 0u);
    EXPECT_FALSE(keyExists(agentKey("UN")));
    EXPECT_TRUE(keyExists(other));
    EXPECT_TRUE(keyExists(dsAgent));
    EXPECT_NE(setupLog().find("Remove Registry Key ended."), std::string::npos);
  }
  {
    SCOPED_TRACE("the last one removed: DSAgent and the empty product root go");
    deleteKeyTree(other);
    ASSERT_EQ(rigger_.CreateDBAgentSubKeys("", "UN", "ingres", "pw", "C:\\A", 0), 1);
    ASSERT_EQ(rigger_.Uninstall(&info), 0u);
    EXPECT_FALSE(keyExists(dsAgent));
    EXPECT_FALSE(keyExists(kProductRoot));
  }
}

TEST_F(Rigger, SecondSetupWhileTheMutexIsHeldEndsWith1636And1640) {
  auto mx = install("MX");
  const std::string profile = folder_ + "\\silent.ini";
  writeFile(profile,
            "[DBAINGRES]\r\nTotalSID=1\r\nSID1=mx\r\nLoginID1=ingres\r\nPassword1=pw-mx\r\n");
  RiggerSetupInfo info = {};
  info.readProfile = 1;
  strcpy(info.profilePath, profile.c_str());
  strcpy(info.installFolder, "C:\\ferrytest\\st_rigger\\agent");
  UniqueHandleNull heldEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  UniqueHandleNull releaseEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const HANDLE held = heldEvent.get();
  const HANDLE release = releaseEvent.get();
  std::thread other([&] {
    // Made with its creator's ownership: the other setup holds it until told to let go.
    UniqueHandleNull mutex(CreateMutexA(nullptr, TRUE, "TidewellINGDBAgentSetupAppInstMutex"));
    HeldLock hold = HeldLock::adopt(mutex.get());
    SetEvent(held);
    WaitForSingleObject(release, 30000);
  });
  ASSERT_EQ(WaitForSingleObject(held, 10000), WAIT_OBJECT_0);
  {
    SCOPED_TRACE("while another setup holds the mutex");
    EXPECT_EQ(rigger_.Install(&info, nullptr), 1636u);
    EXPECT_EQ(rigger_.Uninstall(&info), 1640u);
    EXPECT_FALSE(keyExists(agentKey("MX"))) << "nothing written";
  }
  SetEvent(release);
  other.join();
  {
    SCOPED_TRACE("once it is free: the profile's account, the code in the machine's spelling");
    ASSERT_EQ(rigger_.Install(&info, nullptr), 0u) << setupLog();
    std::vector<StoredValue> values = storedValues(agentKey("MX"));
    ASSERT_NE(findValue(values, "Es"), nullptr) << valueNames(values);
    EXPECT_EQ(decipheredAccount(findValue(values, "Es")->data), "ingres|pw-mx");
    EXPECT_NE(setupLog().find("Install() : /r is set, ICF = " + profile), std::string::npos);
  }
  {
    SCOPED_TRACE("/w: the answers recorded, the password enciphered, and read back");
    info.writeProfile = 1;
    ASSERT_EQ(rigger_.Install(&info, nullptr), 0u) << setupLog();
    const std::string text = readFile(profile);
    EXPECT_EQ(text.find("pw-mx"), std::string::npos) << text;
    EXPECT_NE(text.find("Password1=enc:"), std::string::npos) << text;
    info.writeProfile = 0;
    deleteKeyTree(agentKey("MX"));
    ASSERT_EQ(rigger_.Install(&info, nullptr), 0u) << setupLog();
    EXPECT_EQ(decipheredAccount(findValue(storedValues(agentKey("MX")), "Es")->data),
              "ingres|pw-mx");
  }
  {
    SCOPED_TRACE("a profile naming an installation the machine lacks writes nothing");
    writeFile(profile,
              "[DBAINGRES]\r\nTotalSID=2\r\nSID1=MX\r\nLoginID1=a\r\nSID2=Q7\r\nLoginID2=b\r\n");
    deleteKeyTree(agentKey("MX"));
    EXPECT_EQ(rigger_.Install(&info, nullptr), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_FALSE(keyExists(agentKey("MX")));
    EXPECT_NE(setupLog().find("names the Ingres installation Q7, which this machine does not have"),
              std::string::npos);
  }
}

// The build's Wine prefix uses the null window driver (wine-run), so the dialogs have windows.
TEST_F(Rigger, AccountAndFolderDialogsTakeWhatIsTyped) {
  {
    SCOPED_TRACE("account dialog: OK with what was typed");
    RiggerSetupInfo info = {};
    strcpy(info.installationCode, "DG");
    DialogAnswer answer(
        "Ingres database agent account",
        [](HWND dialog) {
          SetDlgItemTextA(dialog, IDC_ACCOUNT_NAME, "dba");
          SetDlgItemTextA(dialog, IDC_ACCOUNT_PASSWORD, "typed-pw");
        },
        IDOK);
    EXPECT_EQ(rigger_.ServerAccountDlg(nullptr, "", 0, &info), 1);
    EXPECT_EQ(answer.join(), "");
    EXPECT_STREQ(info.accountName, "dba");
    EXPECT_STREQ(info.accountPassword, "typed-pw");
  }
  {
    SCOPED_TRACE("account dialog: Cancel keeps the record");
    RiggerSetupInfo info = {};
    strcpy(info.accountName, "kept");
    DialogAnswer answer(
        "Ingres database agent account", [](HWND) {}, IDCANCEL);
    EXPECT_EQ(rigger_.ServerAccountDlg(nullptr, "", 1, &info), 0);
    EXPECT_EQ(answer.join(), "");
    EXPECT_STREQ(info.accountName, "kept");
  }
  {
    SCOPED_TRACE("agent folder dialog writes the folder into the configuration file");
    RiggerSetupInfo info = {};
    DialogAnswer answer(
        "Ingres database agent folder",
        [](HWND dialog) { SetDlgItemTextA(dialog, IDC_FOLDER, "D:\\Agents\\Ingres\\"); }, IDOK);
    EXPECT_EQ(rigger_.CreateSilentConfigIni("", "", "", nullptr, folder_.c_str(), &info), 1);
    EXPECT_EQ(answer.join(), "");
    char written[MAX_PATH] = {};
    GetPrivateProfileStringA("DBAINGRES", "AgentPath", "", written, sizeof written,
                             (folder_ + "\\setup.icf").c_str());
    EXPECT_STREQ(written, "D:\\Agents\\Ingres");
    EXPECT_STREQ(info.installFolder, "D:\\Agents\\Ingres");
  }
  {
    SCOPED_TRACE("agent folder dialog: Cancel gives 2 and writes nothing");
    RiggerSetupInfo info = {};
    DialogAnswer answer(
        "Ingres database agent folder",
        [](HWND dialog) { SetDlgItemTextA(dialog, IDC_FOLDER, "E:\\Elsewhere"); }, IDCANCEL);
    EXPECT_EQ(rigger_.CreateSilentConfigIni("", "", "", nullptr, folder_.c_str(), &info), 2);
    EXPECT_EQ(answer.join(), "");
    char written[MAX_PATH] = {};
    GetPrivateProfileStringA("DBAINGRES", "AgentPath", "", written, sizeof written,
                             (folder_ + "\\setup.icf").c_str());
    EXPECT_STREQ(written, "D:\\Agents\\Ingres");
  }
}

TEST_F(Rigger, MasterSetupChecksUpgradesAndConfigures) {
  auto mu = install("MU");
  const std::string key = agentKey("MU");
  const std::string old = folder_ + "\\old";
  ASSERT_TRUE(CreateDirectoryA(old.c_str(), nullptr));
  RiggerSetupInfo info = {};
  strcpy(info.setupFolder, binDir().c_str());
  char reason[64];
  {
    SCOPED_TRACE("no agent yet: a fresh installation into the default folder");
    memset(reason, 0xbd, sizeof reason);
    ASSERT_EQ(rigger_.CheckInstallInfo(&info, reason, sizeof reason), 1) << reason;
    EXPECT_STREQ(reason, "");
    EXPECT_NE(std::string(info.installFolder)
                  .find("\\NV\\Halyard Tidewell Backup Enterprise Option for Keelson Ingres"),
              std::string::npos)
        << info.installFolder;
    EXPECT_EQ(info.agentFolderFound, 0u);
  }
  {
    SCOPED_TRACE("an older agent: an upgrade in its own folder");
    ASSERT_EQ(writeText(key, "Dll", old + "\\ferryman.dll"), ERROR_SUCCESS);
    writeText(key, "Version", "6.62");
    ASSERT_EQ(rigger_.CheckInstallInfo(&info, reason, sizeof reason), 1) << reason;
    EXPECT_EQ(info.installFolder, old);
    EXPECT_EQ(info.agentFolderFound, 1u);
  }
  {
    SCOPED_TRACE("a newer agent: refused with the table's text, cut to the buffer");
    writeText(key, "Version", "9.1");
    memset(reason, 0xbd, sizeof reason);
    EXPECT_EQ(rigger_.CheckInstallInfo(&info, reason, sizeof reason), 0);
    EXPECT_EQ(strlen(reason), sizeof reason - 1) << reason;
    EXPECT_EQ(std::string(reason).find("A newer Ingres database agent"), 0u) << reason;
  }
  {
    SCOPED_TRACE("BeforeUpgrade: settings saved, an agent before version 8 by its uninstaller");
    writeText(key, "Version", "6.62");
    writeNumber(key, "debug", 1);
    // The old agent's account as its setup enciphered it: without the entropy, in a key that
    // inherited its DACL.
    const std::string legacy = enciphered(std::string("olduser\0oldpw", 13));
    {
      UniqueKey handle;
      ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_WRITE, handle.put()), 0);
      ASSERT_EQ(RegSetValueExA(handle.get(), "Es", 0, REG_BINARY,
                               reinterpret_cast<const BYTE*>(legacy.data()),
                               static_cast<DWORD>(legacy.size())),
                0);
    }
    ASSERT_NE(keyDacl(key), kSecretKeyDacl) << "the old key is open as HKLM\\SOFTWARE makes it";
    ASSERT_TRUE(CopyFileA((binDir() + "\\st_setup_stub.exe").c_str(),
                          (old + "\\uninst.exe").c_str(), FALSE));
    auto beforeUpgrade = reinterpret_cast<DWORD(__stdcall*)(int)>(
        reinterpret_cast<void*>(GetProcAddress(rigger_.module, "BeforeUpgrade")));
    auto afterUpgrade = reinterpret_cast<DWORD(__stdcall*)()>(
        reinterpret_cast<void*>(GetProcAddress(rigger_.module, "AfterUpgrade")));
    ASSERT_TRUE(beforeUpgrade != nullptr && afterUpgrade != nullptr);
    SetEnvironmentVariableA("ST_STUB_EXIT", "3");
    EXPECT_EQ(beforeUpgrade(1), 4113u) << "the old uninstaller failed";
    SetEnvironmentVariableA("ST_STUB_EXIT", nullptr);
    ASSERT_EQ(beforeUpgrade(1), 0u) << setupLog();
    EXPECT_NE(readFile(old + "\\calls.txt").find("uninst.exe\" -SMSUninstall"), std::string::npos)
        << readFile(old + "\\calls.txt");
    const std::string saved = std::string(kProductRoot) + "\\SetupSavedSettings";
    EXPECT_EQ(keyDacl(saved), kSecretKeyDacl) << "the saved copy holds the account too";
    EXPECT_EQ(keyDacl(saved + "\\ferryman@MU"), kSecretKeyDacl);
    // The old uninstaller took its key; the new setup writes the key afresh.
    deleteKeyTree(key);
    ASSERT_EQ(rigger_.CreateDBAgentSubKeys("", "MU", "ingres", "pw", old.c_str(), 0), 1);
    ASSERT_EQ(afterUpgrade(), 0u) << setupLog();
    std::vector<StoredValue> values = storedValues(key);
    ASSERT_NE(findValue(values, "debug"), nullptr) << "the saved setting is back";
    EXPECT_EQ(findValue(values, "debug")->number(), 1u);
    EXPECT_EQ(findValue(values, "Version")->text(), FERRY_AGENT_VERSION)
        << "the saved old version does not overwrite the new one";
    ASSERT_NE(findValue(values, "Es"), nullptr);
    EXPECT_EQ(decipheredAccount(findValue(values, "Es")->data), "olduser|oldpw")
        << "the saved account is back, enciphered anew with the entropy";
    EXPECT_EQ(decipheredAccount(findValue(values, "Es")->data, Entropy::kNone), "<error 13>");
    EXPECT_EQ(keyDacl(key), kSecretKeyDacl);
    EXPECT_FALSE(keyExists(std::string(kProductRoot) + "\\SetupSavedSettings"));
  }
  {
    SCOPED_TRACE("CreateConfigProfile: the wizard named by setup.inf, its Back button");
    const std::string media = folder_ + "\\media";
    ASSERT_TRUE(CreateDirectoryA(media.c_str(), nullptr));
    ASSERT_TRUE(CopyFileA((binDir() + "\\st_setup_stub.exe").c_str(),
                          (media + "\\cfg0407.exe").c_str(), FALSE));
    writeFile(media + "\\setup.inf", "[Product]\r\nConfigProgram=cfg%s.exe\r\n");
    const std::string icf = media + "\\setup.icf";
    writeFile(icf, "[Language]\r\nLangID=0407\r\n");
    char error[256];
    EXPECT_EQ(
        rigger_.CreateConfigProfile_("", error, sizeof error, &info, icf.c_str(), media.c_str()), 1)
        << error;
    EXPECT_NE(readFile(media + "\\calls.txt")
                  .find("cfg0407.exe\" /r:" + icf + " /w:" + icf + " /p:0 /m: /s:0"),
              std::string::npos)
        << readFile(media + "\\calls.txt");
    SetEnvironmentVariableA("ST_STUB_EXIT", "12323");
    EXPECT_EQ(
        rigger_.CreateConfigProfile_("", error, sizeof error, &info, icf.c_str(), media.c_str()),
        2);
    SetEnvironmentVariableA("ST_STUB_EXIT", nullptr);
    writeFile(media + "\\setup.inf", "[Product]\r\nConfigProgram=missing.exe\r\n");
    EXPECT_EQ(
        rigger_.CreateConfigProfile_("", error, sizeof error, &info, icf.c_str(), media.c_str()),
        0);
    EXPECT_NE(std::string(error), "") << "the system's text of the start failure";
    EXPECT_NE(setupLog().find(std::string("Err - ") + error), std::string::npos) << setupLog();
  }
  {
    SCOPED_TRACE("GetProductInfo: the name for setup.inf's sub-type");
    RiggerProductInfo product = {};
    memset(product.productName, 0xbd, sizeof product.productName);
    ASSERT_EQ(rigger_.GetProductInfo(&product), 1);
    EXPECT_EQ(product.prodSubType, 0u);
    EXPECT_STREQ(product.productName, "Halyard Tidewell Backup");
  }
}

}  // namespace
}  // namespace ferry::test
