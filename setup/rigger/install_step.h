// The installation step that the installer package (PostInstall) and the master setup (Install)
// share, the accounts it takes, and the setup mutex that lets one setup of the agent run at a
// time on a machine.
#pragma once

#include <windows.h>

#include <msi.h>

#include <string>
#include <vector>

#include "held_lock.h"
#include "product_registry.h"
#include "setup_files.h"
#include "unique_handle.h"

namespace ferry::setup {

inline constexpr char kSetupMutexName[] = "TidewellINGDBAgentSetupAppInstMutex";

// Created with initial ownership; the setup goes on only when owned() (another setup that holds
// it makes a zero wait fail). Released and closed when the object goes.
class SetupMutex {
 public:
  SetupMutex();
  bool owned() const { return held_.held(); }

 private:
  UniqueHandleNull mutex_;
  HeldLock held_;  // given back before the handle closes
};

// The accounts of the silent profile, each for an installation of `codes` (the codes take the
// machine's spelling). "" or the reason.
std::string profileAccounts(const SilentProfile& profile, const std::vector<std::string>& codes,
                            std::vector<ProfileInstallation>* accounts);

// One account per installation of `codes`, starting from the account an agent key holds.
std::vector<ProfileInstallation> existingAccounts(const CMesquiteRegistry& registry,
                                                  const std::vector<std::string>& codes);

struct InstallRequest {
  std::string agentFolder;  // without trailing backslash
  std::string tallyPath;    // the version stamp of the files installed
  DWORD prodSubType = 0;
  bool upgrade = false;            // keep the agent keys found and rewrite their version values
  std::string remotePipeAccounts;  // the REMOTEPIPEACCOUNTS property, for new agent keys
  std::vector<ProfileInstallation> accounts;
};

// Writes (or on upgrade rewrites) the agent keys, "DbaIngPath" and the product descriptors.
std::string registerAgent(const CMesquiteRegistry& registry, const InstallRequest& request,
                          MSIHANDLE install);

}  // namespace ferry::setup
