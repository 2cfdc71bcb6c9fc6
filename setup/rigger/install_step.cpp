#include "install_step.h"

#include "agent_registration.h"
#include "rules/setup_text.h"
#include "setup_trace.h"

namespace ferry::setup {

SetupMutex::SetupMutex() {
  mutex_.reset(CreateMutexA(/*security=*/nullptr, /*initialOwner=*/TRUE, kSetupMutexName));
  if (!mutex_) return;
  if (GetLastError() != ERROR_ALREADY_EXISTS) {
    held_ = HeldLock::adopt(mutex_.get());
    return;
  }
  // Someone else made it: ours only if it is free now. An abandoned one is free too (its setup
  // died), and the machine state it left is what this setup repairs.
  held_ = HeldLock::wait(mutex_.get(), /*waitMs=*/0);
}

std::string profileAccounts(const SilentProfile& profile, const std::vector<std::string>& codes,
                            std::vector<ProfileInstallation>* accounts) {
  std::vector<ProfileInstallation> chosen;
  for (const ProfileInstallation& entry : profile.installations) {
    const std::string* machineCode = nullptr;
    for (const std::string& code : codes) {
      if (_stricmp(code.c_str(), entry.code.c_str()) == 0) machineCode = &code;
    }
    if (machineCode == nullptr) {
      return "the silent profile names the Ingres installation " + entry.code +
             ", which this machine does not have";
    }
    chosen.push_back({*machineCode, entry.login, entry.password});
  }
  *accounts = std::move(chosen);
  return "";
}

std::vector<ProfileInstallation> existingAccounts(const CMesquiteRegistry& registry,
                                                  const std::vector<std::string>& codes) {
  std::vector<ProfileInstallation> accounts;
  for (const std::string& code : codes) {
    ProfileInstallation entry{code, "", ""};
    // No key or no readable account: the page starts empty.
    readAgentAccount(registry, code, &entry.login, &entry.password);
    accounts.push_back(std::move(entry));
  }
  return accounts;
}

std::string registerAgent(const CMesquiteRegistry& registry, const InstallRequest& request,
                          MSIHANDLE install) {
  const VersionStamp stamp = readVersionStamp(request.tallyPath);
  setupTrace(install, "Version stamp %s: BuildNumber = %s, Version = %s", request.tallyPath.c_str(),
             stamp.buildNumber.c_str(), stamp.version.c_str());
  if (request.upgrade) {
    int rewritten = 0;
    std::string error =
        rewriteAgentKeys(registry, request.agentFolder, stamp, request.prodSubType, &rewritten);
    if (!error.empty()) return error;
    setupTrace(install, "Upgrade: %d agent key(s) rewritten", rewritten);
  }
  for (const ProfileInstallation& account : request.accounts) {
    if (request.upgrade && registry.keyExists(agentKeyName(account.code))) {
      setupTrace(install, "Agent key %s kept from the earlier agent",
                 agentKeyName(account.code).c_str());
      continue;
    }
    AgentKeyFacts facts;
    facts.code = account.code;
    facts.agentFolder = request.agentFolder;
    facts.buildNumber = stamp.buildNumber;
    facts.version = stamp.version;
    facts.prodSubType = request.prodSubType;
    facts.remotePipeAccounts = request.remotePipeAccounts;
    std::string error = writeAgentKey(registry, facts, account.login, account.password);
    if (!error.empty()) return error;
  }
  std::string error = writeAgentFolder(registry, request.agentFolder);
  if (error.empty()) {
    error = registerProductDescriptors(registry, request.agentFolder, stamp.version);
  }
  return error;
}

}  // namespace ferry::setup
