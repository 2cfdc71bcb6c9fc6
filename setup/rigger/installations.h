// The Ingres installations of the target machine, whether Ingres is there and configured, and
// the agent that an earlier setup left there.
//
// Conventions: the registry object names the machine (local or remote); functions that can
// refuse return "" or the reason; every step writes its setup trace line.
#pragma once

#include <string>
#include <vector>

#include "product_registry.h"

namespace ferry::setup {

// The codes of every service key whose name contains "Ingres_Database_", in enumeration order.
// Refused when the services key cannot be opened or the machine has more than 100.
std::string findInstallations(const CMesquiteRegistry& registry, std::vector<std::string>* codes);
// "SYSTEM\CurrentControlSet\Services\Ingres_Database_<code>" exists.
bool hasInstallation(const CMesquiteRegistry& registry, const std::string& code);

// The config.dat below `root` (an II_SYSTEM) has a configured DBMS line. A remote machine's
// file is read through its administrative share.
bool isRootConfigured(const CMesquiteRegistry& registry, const std::string& machine,
                      const std::string& root);
// II_SYSTEM of the machine environment names a configured installation.
bool isMachineInstallationConfigured(const CMesquiteRegistry& registry, const std::string& machine);
// The installation of `code`, found through the II_SYSTEM of its installation key, is
// configured: a machine with several installations names only one in its environment.
bool isInstallationConfigured(const CMesquiteRegistry& registry, const std::string& machine,
                              const std::string& code);
// Before a fresh installation: Ingres is installed on the machine (`codes`: its installations).
bool isIngresPresent(const CMesquiteRegistry& registry, const std::string& machine,
                     const std::vector<std::string>& codes);

struct EarlierAgent {
  bool found = false;
  std::string folder;   // with its trailing backslash
  std::string version;  // "Version" of its agent key; empty when it came from a path value
};
// The agent an earlier setup registered: the first "ferryman" key with a "Dll" value below the
// product's agent keys (this product's root, then the older "TidewellIT" root), else a
// "DbaIngPath" value (this product's root, then the two older products' roots).
EarlierAgent findEarlierAgent(const CMesquiteRegistry& registry);

}  // namespace ferry::setup
