// The installer package's custom actions.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <memory>

#include "agent_registration.h"
#include "dialogs.h"
#include "install_step.h"
#include "installations.h"
#include "registry_root.h"
#include "resource.h"
#include "rigger.h"
#include "rules/setup_text.h"
#include "service.h"
#include "settings.h"
#include "setup_trace.h"

namespace ferry::setup {
namespace {

constexpr DWORD kServiceWaitMs = 30000;
constexpr size_t kMaxFolder = kMaxStoredText - sizeof kAgentLibrary;

bool isSilent(MSIHANDLE install) { return property(install, "UILevel") == "2"; }

std::string withoutTrailingBackslash(std::string folder) {
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  return folder;
}

std::string setupFolder(MSIHANDLE install) {
  std::string folder = property(install, "SETUPDIR");
  if (folder.empty()) folder = property(install, "SOURCEDIR");
  return withoutTrailingBackslash(folder);
}

std::string productName() { return messageText(IDS_PRODUCT_NAME); }

void setProductProperties(MSIHANDLE install) {
  setProperty(install, "REGBSROOTKEY", kProductRegistryRoot);
  setProperty(install, "PRODSHORTNAME", messageText(IDS_PRODUCT_SHORT_NAME));
  setProperty(install, "PRODINITNAME", messageText(IDS_PRODUCT_INIT_NAME));
  setProperty(install, "PRODUCTNAME", productName() + messageText(IDS_PRODUCT_SUFFIX));
}

// A refusal: the text in ERRORMSG, the traces, and the installer's own error report (shown in
// a full user interface, logged in a silent one).
void refuse(MSIHANDLE install, const char* step, const std::string& text) {
  setProperty(install, "ERRORMSG", text);
  setupTrace(install, "%s() - %s", step, text.c_str());
  PMSIHANDLE record = MsiCreateRecord(1);
  if (record != 0) {
    MsiRecordSetStringA(record, 0, text.c_str());
    MsiProcessMessage(install, static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ERROR | MB_OK), record);
  }
}

// What the checks found, for the step that follows them.
struct InstallPlan {
  std::vector<std::string> codes;
  std::vector<ProfileInstallation> accounts;  // silent runs: from the profile
  EarlierAgent earlier;
  std::string folder;  // without trailing backslash
};

std::string defaultFolder(MSIHANDLE install) {
#if defined(_WIN64)
  // A 64-bit agent belongs in the 64-bit program-files folder.
  std::string programFiles = property(install, "ProgramFiles64Folder");
  if (programFiles.empty()) programFiles = property(install, "ProgramFilesFolder");
#else
  // A 32-bit agent belongs in the 32-bit one ("Program Files (x86)" on 64-bit Windows).
  std::string programFiles = property(install, "ProgramFilesFolder");
#endif
  if (programFiles.empty()) return "";
  if (programFiles.back() != '\\') programFiles += '\\';
  return programFiles + kAgentFolderName;
}

// The checks of AllowInstall and PreInstall: "" or the refusal's text.
std::string installChecks(MSIHANDLE install, const CMesquiteRegistry& registry, InstallPlan* plan) {
  std::string error = findInstallations(registry, &plan->codes);
  if (!error.empty()) return error;
  setupTrace(install, "%u Ingres installation(s) found", static_cast<unsigned>(plan->codes.size()));
  plan->earlier = findEarlierAgent(registry);
  if (!plan->earlier.found && !isIngresPresent(registry, "", plan->codes))
    return messageText(IDS_NO_INGRES);
  SilentProfile profile;
  if (isSilent(install)) {
    const std::string path = property(install, "ICFPATH");
    if (path.empty()) return messageText(IDS_NO_PROFILE);
    error = CSetupIcf::read(path, &profile);
    if (error.empty()) error = profileAccounts(profile, plan->codes, &plan->accounts);
    if (!error.empty()) return error;
  }
  if (plan->earlier.found) {
    plan->folder = plan->earlier.folder;
  } else if (isSilent(install) && !profile.agentPath.empty()) {
    plan->folder = profile.agentPath;
  } else {
    plan->folder = defaultFolder(install);
  }
  plan->folder = withoutTrailingBackslash(plan->folder);
  if (!isAgentFolderAcceptable(plan->folder, kMaxFolder)) {
    return messageText(IDS_BAD_FOLDER) + " (" + plan->folder + ")";
  }
  return "";
}

std::string upgradeMarkerKey() {
  return std::string(kProductRegistryRoot) + "\\" + kAgentsKey + "\\Oldferryman";
}

// The installation step of PostInstall: "" or the reason.
std::string installationStep(MSIHANDLE install) {
  CMesquiteRegistry registry(kProductRegistryRoot);
  InstallPlan plan;
  std::string error = installChecks(install, registry, &plan);
  if (!error.empty()) return error;
  InstallRequest request;
  request.agentFolder = withoutTrailingBackslash(property(install, "INSTALLDIR"));
  if (!isAgentFolderAcceptable(request.agentFolder, kMaxFolder)) {
    return messageText(IDS_BAD_FOLDER) + " (" + request.agentFolder + ")";
  }
  request.tallyPath = request.agentFolder + "\\tally.dll";
  request.prodSubType = CSetupInf::read(setupFolder(install)).prodSubType;
  request.upgrade = property(install, "ISUPGRADE") == "1";
  request.remotePipeAccounts = property(install, "REMOTEPIPEACCOUNTS");
  setupTrace(install, "PostInstall() - INSTALLDIR = %s, ISUPGRADE = %s, ProdSubType = %lu",
             request.agentFolder.c_str(), request.upgrade ? "1" : "0", request.prodSubType);
  if (isSilent(install)) {
    request.accounts = plan.accounts;
  } else {
    request.accounts = existingAccounts(registry, plan.codes);
    if (!accountPropertySheet(nullptr, "", &request.accounts)) {
      return "no accounts were given for the Ingres installations";
    }
  }
  SetupMutex mutex;
  if (!mutex.owned()) return messageText(IDS_SETUP_RUNNING);
  return registerAgent(registry, request, install);
}

// The files the agent itself writes into its folder: its logs, the extractor's traces and the
// Ingres utilities' output. The package cannot name them (wixl has no RemoveFile element), so
// the removal deletes them here and the installer can then remove the emptied folder.
void removeAgentOutput(MSIHANDLE install, const std::string& folder) {
  if (folder.empty()) return;
  for (const char* pattern : {"ferryman.log", "ferryman.trc", "siphon*.trc", "*.out"}) {
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA((folder + "\\" + pattern).c_str(), &entry));
    if (!find) continue;
    do {
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
      const std::string path = folder + "\\" + entry.cFileName;
      if (!DeleteFileA(path.c_str())) {
        setupTrace(install, "PreUninstall() - %s stays (error %lu)", path.c_str(), GetLastError());
      }
    } while (FindNextFileA(find.get(), &entry));
  }
}

void handleReboot(MSIHANDLE install) {
  const std::string reboot = property(install, "REBOOT");
  if (reboot.find("Force") == std::string::npos) return;
  setupTrace(install, "PostInstall() - REBOOT flag is < %s >", reboot.c_str());
  if (MsiGetMode(install, MSIRUNMODE_REBOOTATEND) || MsiGetMode(install, MSIRUNMODE_REBOOTNOW)) {
    return;
  }
  setupTrace(install, "Need to Reboot");
  MsiSetMode(install, MSIRUNMODE_REBOOTATEND, FALSE);
  MsiSetMode(install, MSIRUNMODE_REBOOTNOW, FALSE);
  CMesquiteRegistry registry(kProductRegistryRoot);
  UniqueKey root;
  if (registry.createKey("", &root) != ERROR_SUCCESS ||
      CMesquiteRegistry::setNumber(root.get(), "Reboot", 1) != ERROR_SUCCESS) {
    setupTrace(install, "PostInstall() - Open registry %s when need reboot system!",
               kProductRegistryRoot);
  }
}

}  // namespace
}  // namespace ferry::setup

using namespace ferry::setup;
using ferry::kProductRegistryRoot;

extern "C" UINT __stdcall AllowInstall(MSIHANDLE hInstall) {
  setupTrace(hInstall, "AllowInstall() - Start");
  setProperty(hInstall, "ERRORMSG", "NONE");
  setProductProperties(hInstall);
  setProperty(hInstall, "PRODSUBTYPE",
              std::to_string(CSetupInf::read(setupFolder(hInstall)).prodSubType));
  CMesquiteRegistry registry(kProductRegistryRoot);
  InstallPlan plan;
  std::string error = installChecks(hInstall, registry, &plan);
  if (!error.empty()) {
    refuse(hInstall, "AllowInstall", error);
    setupTrace(hInstall, "AllowInstall ended with ERROR_INSTALL_USEREXIT");
    return ERROR_INSTALL_USEREXIT;
  }
  setProperty(hInstall, "INSTALLDIR", plan.folder + "\\");
  const bool upgrade = plan.earlier.found || registry.absoluteKeyExists(upgradeMarkerKey());
  if (upgrade) setProperty(hInstall, "ISUPGRADE", "1");
  setupTrace(hInstall, "AllowInstall() - INSTALLDIR = %s\\, ISUPGRADE = %s", plan.folder.c_str(),
             upgrade ? "1" : "0");
  setupTrace(hInstall, "AllowInstall() - End");
  return ERROR_SUCCESS;
}

extern "C" UINT __stdcall PreInstall(MSIHANDLE hInstall) {
  setupTrace(hInstall, "PreInstall()");
  CMesquiteRegistry registry(kProductRegistryRoot);
  InstallPlan plan;
  std::string error = installChecks(hInstall, registry, &plan);
  if (error.empty()) {
    const std::string folder = withoutTrailingBackslash(property(hInstall, "INSTALLDIR"));
    if (!isAgentFolderAcceptable(folder, kMaxFolder)) {
      error = messageText(IDS_BAD_FOLDER) + " (" + folder + ")";
    }
  }
  if (!error.empty()) {
    refuse(hInstall, "PreInstall", error);
    setupTrace(hInstall, "PreInstall ended with ERROR_INSTALL_USEREXIT");
    return ERROR_INSTALL_USEREXIT;
  }
  return ERROR_SUCCESS;
}

extern "C" UINT __stdcall PostInstall(MSIHANDLE hInstall) {
  setupTrace(hInstall, "PostInstall() - Start");
  std::string error;
  if (!property(hInstall, "PATCH").empty() || property(hInstall, "REINSTALL") == "ALL") {
    setupTrace(hInstall, "PostInstall() - patch or reinstall: the registration stays as it is");
  } else if (property(hInstall, "MASTERSETUP") == "1") {
    setupTrace(hInstall, "PostInstall() - the master setup registers the agent");
  } else {
    error = installationStep(hInstall);
  }
  handleReboot(hInstall);
  if (error.empty()) {
    const CService service(kAgentServiceName);
    DWORD rc = service.setDisplay(messageText(IDS_SERVICE_DISPLAY_NAME),
                                  messageText(IDS_SERVICE_DESCRIPTION));
    if (rc != ERROR_SUCCESS)
      error = "the agent's service cannot be described (error " + std::to_string(rc) + ")";
  }
  if (!error.empty()) {
    refuse(hInstall, "PostInstall", error);
    setupTrace(hInstall, "PostInstall ended with an ERROR");
    return ERROR_INSTALL_FAILURE;
  }
  setupTrace(hInstall, "PostInstall ended with ERROR_SUCCESS");
  return ERROR_SUCCESS;
}

extern "C" UINT __stdcall AllowModify(MSIHANDLE hInstall) {
  setupTrace(hInstall, "AllowModify()");
  setProductProperties(hInstall);
  return ERROR_SUCCESS;
}

extern "C" UINT __stdcall AllowUninstall(MSIHANDLE hInstall) {
  setupTrace(hInstall, "AllowUninstall()");
  setProductProperties(hInstall);
  return ERROR_SUCCESS;
}

extern "C" UINT __stdcall PreUninstall(MSIHANDLE hInstall) {
  setupTrace(hInstall, "PreUninstall() - Start");
  {
    std::unique_ptr<StatusWindow> notice;
    if (!isSilent(hInstall)) {
      notice = std::make_unique<StatusWindow>(StatusWindow::Kind::kNotice, nullptr,
                                              messageText(IDS_UNINSTALL_NOTICE));
    }
    const CService service(kAgentServiceName);
    DWORD error = 0;
    if (service.state(&error) == SERVICE_RUNNING) {
      DWORD rc = service.stop(kServiceWaitMs);
      setupTrace(hInstall, "PreUninstall() - %s stopped: %lu", kAgentServiceName, rc);
      // The service reports "stopped" before its process has gone; give it that moment.
      Sleep(1000);
    }
  }
  CMesquiteRegistry registry(kProductRegistryRoot);
  std::string error = removeAgentRegistration(registry, hInstall);
  if (!error.empty()) {
    refuse(hInstall, "PreUninstall", error);
    return ERROR_INSTALL_FAILURE;
  }
  removeAgentOutput(hInstall, withoutTrailingBackslash(property(hInstall, "INSTALLDIR")));
  setupTrace(hInstall, "PreUninstall() ended.");
  return ERROR_SUCCESS;
}
