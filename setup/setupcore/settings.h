// CSettings: what the setup knows about an agent that is already on the target machine: whether
// the new one may replace it, where a fresh one goes, and the old agent keys' settings kept
// across an upgrade.
//
// Conventions: results are Win32 error codes where a function returns LONG; no exceptions.
#pragma once

#include <windows.h>

#include <string>

#include "product_registry.h"

namespace ferry::setup {

inline constexpr char kAgentFolderName[] =
    "NV\\Halyard Tidewell Backup Enterprise Option for Keelson Ingres";

enum InstallState : int {
  kUpgradeExisting = 0,  // an agent of this or an older version: upgrade it in its folder
  kFreshInstall = 2,     // no agent
  kNewerInstalled = 3,   // the installed agent is newer than this setup's
};

class CSettings {
 public:
  // Dotted numbers compared field by field; an installed version that is not a number counts
  // as older. An empty `installedVersion` means no agent.
  static InstallState installState(const std::string& installedVersion,
                                   const std::string& newVersion);
  // The target's program-files folder followed by kAgentFolderName.
  static std::string defaultAgentPath(const CMesquiteRegistry& registry);
  // Copies every agent key below "<root>\SetupSavedSettings" (an earlier copy is replaced), with
  // the agent keys' DACL on the copy (it holds their accounts).
  static LONG save(const CMesquiteRegistry& registry);
  // Puts each saved value back into the agent key of the same name (created when missing), but
  // "Dll", "Version", "BuildNumber" and "ProdSubType", which describe the new files; then
  // removes the saved copy. Nothing saved is success. A key made here gets the agent keys' DACL
  // before a value goes in.
  static LONG recreate(const CMesquiteRegistry& registry);
};

}  // namespace ferry::setup
