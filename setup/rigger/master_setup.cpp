// The entry points the product's master setup calls directly.
#include <windows.h>

#include <memory>

#include "agent_registration.h"
#include "dialogs.h"
#include "install_step.h"
#include "installations.h"
#include "process_information.h"
#include "registry_root.h"
#include "remote_connection.h"
#include "resource.h"
#include "rigger.h"
#include "rules/setup_text.h"
#include "service.h"
#include "settings.h"
#include "setup_trace.h"

namespace ferry::setup {
namespace {

constexpr DWORD kServiceWaitMs = 30000;
// An old agent's own uninstaller, and the configuration wizard, are waited for this long at
// most: long enough for a person at the wizard, short of hanging a setup for good.
constexpr DWORD kUninstallerWaitMs = 10 * 60 * 1000;
constexpr DWORD kWizardWaitMs = 4 * 60 * 60 * 1000;
constexpr char kOldUninstaller[] = "uninst.exe";
constexpr char kConfigurationFile[] = "setup.icf";

std::string field(const char* text) { return text == nullptr ? "" : text; }

std::string setupFolderOf(const RiggerSetupInfo* info) {
  std::string folder = info != nullptr ? field(info->setupFolder) : "";
  return folder.empty() ? riggerFolder() : folder;
}

bool showMessages(const RiggerSetupInfo* info) { return info == nullptr || !info->readProfile; }

void tell(HWND parent, UINT id, UINT style) {
  MessageBoxA(parent, messageText(id).c_str(), messageText(IDS_PRODUCT_NAME).c_str(), style);
}

// Runs a program and waits for it (at most waitMs): its exit code, or ~0u with *error set.
DWORD runAndWait(const std::string& program, std::string commandLine, DWORD waitMs, DWORD* error) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  UniqueProcessInformation process;
  *error = 0;
  if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr,
                      /*inheritHandles=*/FALSE, 0, nullptr, nullptr, &startup, process.put())) {
    *error = GetLastError();
    return ~0u;
  }
  if (WaitForSingleObject(process.process(), waitMs) != WAIT_OBJECT_0) {
    *error = WAIT_TIMEOUT;
    return ~0u;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.process(), &code);
  return code;
}

std::string systemText(DWORD error) {
  char buffer[1024] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text.empty() ? "error " + std::to_string(error) : text;
}

void copyCut(char* buffer, uint32_t size, const std::string& text) {
  if (buffer == nullptr || size == 0) return;
  size_t n = text.size() < size ? text.size() : size - 1;
  memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

// The start of Install and Uninstall: the record given, the setup mutex owned (else the
// message `busyMessage`, which is also the result), the target's registry reached.
DWORD beginMasterStep(const char* step, const RiggerSetupInfo* info, const SetupMutex& mutex,
                      UINT busyMessage, HWND parent, CMesquiteRegistry* registry) {
  if (info == nullptr) return ERROR_INVALID_PARAMETER;
  if (!mutex.owned()) {
    if (showMessages(info)) tell(parent, busyMessage, MB_OK | MB_ICONSTOP);
    setupTrace(0, "%s(): %s", step, messageText(busyMessage).c_str());
    return busyMessage;
  }
  LONG rc = registry->open(info->machine);
  if (rc != ERROR_SUCCESS)
    setupTrace(0, "%s(): the registry of %s: error %ld", step, info->machine, rc);
  return static_cast<DWORD>(rc);
}

// Removes an agent older than version 8 through its own uninstaller, a newer one through the
// installer (its package, when one is registered) and the registration.
DWORD removeEarlierAgent(const CMesquiteRegistry& registry, const EarlierAgent& agent) {
  std::optional<int> major = majorVersionOf(agent.version);
  if (major && *major < 8) {
    const std::string program = agent.folder + kOldUninstaller;
    DWORD error = 0;
    DWORD code =
        runAndWait(program, "\"" + program + "\" -SMSUninstall", kUninstallerWaitMs, &error);
    setupTrace(0, "BeforeUpgrade(): %s -SMSUninstall ended with %lu (error %lu)", program.c_str(),
               code, error);
    return error == 0 && code == 0 ? ERROR_SUCCESS : RIGGER_UPGRADE_FAILED;
  }
  char product[39] = {};
  for (DWORD index = 0;
       MsiEnumRelatedProductsA(FERRY_UPGRADE_CODE, 0, index, product) == ERROR_SUCCESS; ++index) {
    UINT rc = MsiConfigureProductExA(product, INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT,
                                     "REBOOT=ReallySuppress MASTERSETUP=1");
    setupTrace(0, "BeforeUpgrade(): removing package %s: %u", product, rc);
    if (rc != ERROR_SUCCESS && rc != ERROR_SUCCESS_REBOOT_REQUIRED) return RIGGER_UPGRADE_FAILED;
    index = ~0u;  // the list changed: start again
  }
  return removeAgentRegistration(registry, 0).empty() ? ERROR_SUCCESS : RIGGER_UPGRADE_FAILED;
}

// A named CALLBACK, not a lambda: on x86 EnumWindows calls it as __stdcall.
BOOL CALLBACK postCloseMessage(HWND window, LPARAM) {
  PostMessageA(window, 1124, 0, 0);  // a window that is gone meanwhile misses nothing
  return TRUE;
}

}  // namespace
}  // namespace ferry::setup

using namespace ferry::setup;
using ferry::kProductRegistryRoot;

extern "C" int __stdcall CloseSetupWindows(void) {
  EnumWindows(postCloseMessage, 0);
  return 0;
}

extern "C" DWORD __stdcall StartComponent(void) {
  DWORD rc = CService(kAgentServiceName).start(kServiceWaitMs);
  setupTrace(0, "StartComponent(): %s: %lu", kAgentServiceName, rc);
  return rc;
}

extern "C" DWORD __stdcall StopComponent(void) {
  DWORD rc = CService(kAgentServiceName).stop(kServiceWaitMs);
  setupTrace(0, "StopComponent(): %s: %lu", kAgentServiceName, rc);
  return rc;
}

extern "C" int __stdcall CheckInstallInfo(RiggerSetupInfo* info, char* reason,
                                          uint32_t reasonSize) {
  copyCut(reason, reasonSize, "");
  if (info == nullptr) return 0;
  const std::string folder = setupFolderOf(info);
  setupTrace(0, "CheckInstallInfo(): machine = %s, user = %s, %s\\setup.inf, %s\\tally.dll",
             info->machine, info->user, folder.c_str(), folder.c_str());
  info->installFolder[0] = '\0';
  info->agentFolderFound = 0;
  info->prodSubType = CSetupInf::read(folder).prodSubType;
  CMesquiteRegistry registry(kProductRegistryRoot);
  LONG rc = registry.open(info->machine);
  if (rc != ERROR_SUCCESS) {
    copyCut(reason, reasonSize, messageText(IDS_NO_INGRES));
    setupTrace(0, "CheckInstallInfo(): the registry of %s cannot be reached (%ld)", info->machine,
               rc);
    return 0;
  }
  const EarlierAgent agent = findEarlierAgent(registry);
  const VersionStamp stamp = readVersionStamp(folder + "\\tally.dll");
  const InstallState state = CSettings::installState(
      agent.found ? (agent.version.empty() ? "0" : agent.version) : "", stamp.version);
  setupTrace(0, "CheckInstallInfo(): install state %d", static_cast<int>(state));
  std::string chosen;
  if (state == kUpgradeExisting) {
    chosen = agent.folder;
    info->agentFolderFound = 1;
  } else if (state == kFreshInstall) {
    std::vector<std::string> codes;
    if (!findInstallations(registry, &codes).empty() ||
        !isIngresPresent(registry, info->machine, codes)) {
      copyCut(reason, reasonSize, messageText(IDS_NO_INGRES));
      return 0;
    }
    chosen = CSettings::defaultAgentPath(registry);
  } else {
    copyCut(reason, reasonSize, messageText(IDS_NEWER_INSTALLED));
    return 0;
  }
  while (chosen.size() > 3 && chosen.back() == '\\') chosen.pop_back();
  if (!copyField(info->installFolder, sizeof info->installFolder, chosen)) {
    copyCut(reason, reasonSize, messageText(IDS_BAD_FOLDER));
    return 0;
  }
  return 1;
}

extern "C" int __stdcall CreateSilentConfigIni(const char* machine, const char* user,
                                               const char* password, HWND parentWindow,
                                               const char* folder, RiggerSetupInfo* info) {
  CRemoteConnection connection;
  DWORD rc = connection.connect(field(machine), field(user), field(password));
  if (rc != ERROR_SUCCESS) {
    setupTrace(0, "CreateSilentConfigIni(): ADMIN$ of %s: error %lu", field(machine).c_str(), rc);
    return 0;
  }
  const std::string file = field(folder) + "\\" + kConfigurationFile;
  std::string agentFolder = CSetupIcf::agentPath(file);
  if (agentFolder.empty()) {
    CMesquiteRegistry registry(kProductRegistryRoot);
    registry.open(field(machine));  // unreachable: the default below names this machine's path
    agentFolder = CSettings::defaultAgentPath(registry);
  }
  if (!agentFolderDialog(parentWindow, &agentFolder)) return 2;
  if (GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
    const std::string source = setupFolderOf(info) + "\\" + kConfigurationFile;
    if (!CopyFileA(source.c_str(), file.c_str(), /*failIfExists=*/TRUE)) {
      setupTrace(0, "CreateSilentConfigIni(): %s not copied (error %lu); a new file is written",
                 source.c_str(), GetLastError());
    }
  }
  std::string error = CSetupIcf::writeAgentPath(file, agentFolder);
  setupTrace(0, "CreateSilentConfigIni(): AgentPath = %s %s", agentFolder.c_str(), error.c_str());
  if (info != nullptr && error.empty())
    copyField(info->installFolder, sizeof info->installFolder, agentFolder);
  return 1;
}

extern "C" DWORD __stdcall BeforeUpgrade(int quiet) {
  setupTrace(0, "BeforeUpgrade() - Start");
  CMesquiteRegistry registry(kProductRegistryRoot);
  const EarlierAgent agent = findEarlierAgent(registry);
  if (!agent.found) return ERROR_SUCCESS;
  const VersionStamp stamp = readVersionStamp(riggerFolder() + "\\tally.dll");
  if (CSettings::installState(agent.version.empty() ? "0" : agent.version, stamp.version) !=
      kUpgradeExisting) {
    if (!quiet) tell(nullptr, IDS_NO_UPGRADE, MB_OK | MB_ICONSTOP);
    setupTrace(0, "BeforeUpgrade(): the agent of version %s may not be upgraded",
               agent.version.c_str());
    return RIGGER_UPGRADE_FAILED;
  }
  std::unique_ptr<StatusWindow> progress;
  if (!quiet) {
    if (MessageBoxA(nullptr, messageText(IDS_CONFIRM_UPGRADE).c_str(),
                    messageText(IDS_PRODUCT_NAME).c_str(), MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
      return RIGGER_UPGRADE_FAILED;
    }
    progress = std::make_unique<StatusWindow>(StatusWindow::Kind::kProgress, nullptr,
                                              messageText(IDS_UPGRADE_PROGRESS));
  }
  LONG rc = CSettings::save(registry);
  if (rc != ERROR_SUCCESS) {
    setupTrace(0, "BeforeUpgrade(): the settings cannot be saved (%ld)", rc);
    return RIGGER_UPGRADE_FAILED;
  }
  DWORD result = removeEarlierAgent(registry, agent);
  setupTrace(0, "BeforeUpgrade() - End: %lu", result);
  return result;
}

extern "C" DWORD __stdcall AfterUpgrade(void) {
  setupTrace(0, "AfterUpgrade() - Start");
  CMesquiteRegistry registry(kProductRegistryRoot);
  const EarlierAgent agent = findEarlierAgent(registry);
  if (!agent.found) return ERROR_FILE_NOT_FOUND;
  const std::string folder = riggerFolder();
  int count = 0;
  std::string error =
      rewriteAgentKeys(registry, agent.folder, readVersionStamp(folder + "\\tally.dll"),
                       CSetupInf::read(folder).prodSubType, &count);
  LONG rc = error.empty() ? CSettings::recreate(registry) : ERROR_WRITE_FAULT;
  // The values put back carry the earlier agent's account as it enciphered it.
  if (rc == ERROR_SUCCESS) {
    error = secureAgentKeys(registry);
    if (!error.empty()) rc = ERROR_WRITE_FAULT;
  }
  setupTrace(0, "AfterUpgrade() - End: %d key(s) %s %ld", count, error.c_str(), rc);
  return static_cast<DWORD>(rc);
}

extern "C" DWORD __stdcall Install(RiggerSetupInfo* info, HWND parentWindow) {
  setupTrace(0, "Install() - Start");
  SetupMutex mutex;
  CMesquiteRegistry registry(kProductRegistryRoot);
  DWORD rc = beginMasterStep("Install", info, mutex, IDS_SETUP_RUNNING, parentWindow, &registry);
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<std::string> codes;
  std::string error = findInstallations(registry, &codes);
  if (!error.empty()) {
    setupTrace(0, "Install(): %s", error.c_str());
    return ERROR_INVALID_DATA;
  }
  if (codes.empty()) return RIGGER_MESSAGE_NO_INGRES;
  InstallRequest request;
  if (info->readProfile) {
    setupTrace(0, "Install() : /r is set, ICF = %s", info->profilePath);
    SilentProfile profile;
    error = CSetupIcf::read(info->profilePath, &profile);
    if (error.empty()) error = profileAccounts(profile, codes, &request.accounts);
    if (!error.empty()) {
      setupTrace(0, "Install(): %s", error.c_str());
      return ERROR_INVALID_DATA;
    }
  } else {
    setupTrace(0, "Install() : Not silent");
    request.accounts = existingAccounts(registry, codes);
    if (!accountPropertySheet(parentWindow, info->machine, &request.accounts)) {
      return ERROR_CANCELLED;
    }
  }
  if (info->writeProfile && info->profilePath[0] != '\0') {
    setupTrace(0, "Install() : /w is set ICF = %s", info->profilePath);
    const std::string path = info->profilePath;
    WritePrivateProfileStringA("DBAINGRES", "TotalSID",
                               std::to_string(request.accounts.size()).c_str(), path.c_str());
    for (size_t i = 0; i < request.accounts.size(); ++i) {
      const ProfileInstallation& entry = request.accounts[i];
      const int position = static_cast<int>(i + 1);
      WritePrivateProfileStringA("DBAINGRES", profileCodeKey(position).c_str(), entry.code.c_str(),
                                 path.c_str());
      WritePrivateProfileStringA("DBAINGRES", profileLoginKey(position).c_str(),
                                 entry.login.c_str(), path.c_str());
      WritePrivateProfileStringA("DBAINGRES", profilePasswordKey(position).c_str(),
                                 CSetupIcf::encipheredValue(entry.password).c_str(), path.c_str());
    }
  }
  const std::string setupFolder = setupFolderOf(info);
  request.agentFolder = info->installFolder;
  if (request.agentFolder.empty()) request.agentFolder = CSettings::defaultAgentPath(registry);
  request.tallyPath = setupFolder + "\\tally.dll";
  request.prodSubType = CSetupInf::read(setupFolder).prodSubType;
  error = registerAgent(registry, request, 0);
  setupTrace(0, "Install() - End %s", error.c_str());
  return error.empty() ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

extern "C" DWORD __stdcall Uninstall(RiggerSetupInfo* info) {
  setupTrace(0, "Uninstall() - Start");
  SetupMutex mutex;
  CMesquiteRegistry registry(kProductRegistryRoot);
  DWORD rc = beginMasterStep("Uninstall", info, mutex, IDS_UNINSTALL_RUNNING, nullptr, &registry);
  if (rc != ERROR_SUCCESS) return rc;
  DWORD stopped = CService(kAgentServiceName, info->machine).stop(kServiceWaitMs);
  if (stopped != ERROR_SUCCESS) {
    setupTrace(0, "Uninstall(): %s does not stop (%lu)", kAgentServiceName, stopped);
    return stopped;
  }
  std::string error = removeAgentRegistration(registry, 0);
  setupTrace(0, "Uninstall() - End %s", error.c_str());
  return error.empty() ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

extern "C" int __stdcall RiggerGetProductInfo(RiggerProductInfo* info) {
  if (info == nullptr) return 0;
  info->prodSubType = CSetupInf::read(riggerFolder()).prodSubType;
  std::string name = messageText(IDS_PRODUCT_NAME + info->prodSubType);
  if (name.empty() || info->prodSubType >= 100) name = messageText(IDS_PRODUCT_NAME);
  copyCut(info->productName, sizeof info->productName, name);
  return 1;
}

extern "C" int __stdcall GetPostConfigInfo(void) {
  setupTrace(0, "GetPostConfigInfo Start...");
  return 1;
}

extern "C" int __stdcall AllowInstallation(const char* machine, RiggerSetupInfo* info) {
  if (info == nullptr) return 0;
  CMesquiteRegistry registry(kProductRegistryRoot);
  EarlierAgent agent;
  if (registry.open(field(machine)) == ERROR_SUCCESS) agent = findEarlierAgent(registry);
  std::string folder = agent.found ? agent.folder : CSettings::defaultAgentPath(registry);
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  info->agentFolderFound = agent.found ? 1 : 0;
  copyField(info->installFolder, sizeof info->installFolder, folder);
  return 1;
}

extern "C" int __stdcall CreateDBAgentSubKeys(const char* machine, const char* code,
                                              const char* accountName, const char* password,
                                              const char* agentFolder, uint32_t prodSubType) {
  CMesquiteRegistry registry(kProductRegistryRoot);
  if (registry.open(field(machine)) != ERROR_SUCCESS) return 0;
  AgentKeyFacts facts;
  facts.code = field(code);
  facts.agentFolder = field(agentFolder);
  const VersionStamp stamp = readVersionStamp(riggerFolder() + "\\tally.dll");
  facts.buildNumber = stamp.buildNumber;
  facts.version = stamp.version;
  facts.prodSubType = prodSubType;
  std::string error = writeAgentKey(registry, facts, field(accountName), field(password));
  if (!error.empty()) setupTrace(0, "CreateDBAgentSubKeys(): %s", error.c_str());
  return error.empty() ? 1 : 0;
}

extern "C" int __stdcall GetExistDBAgentSysInformation(RiggerSetupInfo* info) {
  if (info == nullptr) return 0;
  info->accountName[0] = info->accountPassword[0] = '\0';
  CMesquiteRegistry registry(kProductRegistryRoot);
  if (registry.open(info->machine) != ERROR_SUCCESS) return 0;
  std::string name, password;
  std::string error = readAgentAccount(registry, info->installationCode, &name, &password);
  if (!error.empty()) {
    setupTrace(0, "GetExistDBAgentSysInformation(): %s", error.c_str());
    return 0;
  }
  bool fits = copyField(info->accountName, sizeof info->accountName, name) &&
              copyField(info->accountPassword, sizeof info->accountPassword, password);
  SecureZeroMemory(password.data(), password.size());
  if (!fits) info->accountName[0] = info->accountPassword[0] = '\0';
  return fits ? 1 : 0;
}

extern "C" int __stdcall ServerAccountDlg(HWND parent, const char* machine, int flag,
                                          RiggerSetupInfo* info) {
  if (info == nullptr) return 0;
  std::string name = flag ? info->accountName : "";
  std::string password = flag ? info->accountPassword : "";
  bool ok = accountDialog(parent, field(machine), info->installationCode, &name, &password) &&
            copyField(info->accountName, sizeof info->accountName, name) &&
            copyField(info->accountPassword, sizeof info->accountPassword, password);
  SecureZeroMemory(password.data(), password.size());
  return ok ? 1 : 0;
}

extern "C" int __stdcall CreateConfigProfile(const char* machine, char* errorText,
                                             uint32_t errorTextSize, RiggerSetupInfo* info,
                                             const char* icfFile, const char* infFolder) {
  copyCut(errorText, errorTextSize, "");
  const int setupType = info != nullptr ? static_cast<int>(info->setupType) : 0;
  CMesquiteRegistry registry(kProductRegistryRoot);
  const bool hasAgent =
      registry.open(field(machine)) == ERROR_SUCCESS && findEarlierAgent(registry).found;
  if (!hasAgent && setupType != 2) return 1;
  const std::string folder = field(infFolder);
  const std::string pattern = CSetupInf::read(folder).configProgram;
  std::string program = configurationProgramName(pattern, CSetupIcf::languageId(field(icfFile)));
  if (program.empty()) {
    copyCut(errorText, errorTextSize, "setup.inf in " + folder + " names no usable ConfigProgram");
    setupTrace(0, "Err - setup.inf names no usable ConfigProgram");
    return 0;
  }
  if (program.find('\\') == std::string::npos) program = folder + "\\" + program;
  const std::string command =
      configurationCommandLine(program, field(icfFile), field(machine), setupType);
  setupTrace(0, "Executable Path = %s", command.c_str());
  DWORD error = 0;
  DWORD code = runAndWait(program, command, kWizardWaitMs, &error);
  if (error != 0) {
    const std::string text = systemText(error);
    copyCut(errorText, errorTextSize, text);
    setupTrace(0, "Err - %s", text.c_str());
    return 0;
  }
  setupTrace(0, "DBA Configuration Complete!");
  return code == RIGGER_CONFIG_BACK ? 2 : 1;
}
