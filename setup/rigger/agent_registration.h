// The agent's registration below the product's root key: the agent keys with their values, the
// agent folder value, the product descriptors, and their removal.
//
// Conventions: functions return "" or the reason; a key is either written whole or reported as
// failed; passwords are never traced.
#pragma once

#include <windows.h>

#include <msi.h>

#include <string>

#include "product_registry.h"
#include "rules/setup_text.h"

namespace ferry::setup {

inline constexpr char kProductDescriptor[] = "OpenIngres_DBagent";
inline constexpr char kOwnProductDescriptor[] = "HTB_IngresAgent";

struct VersionStamp {
  std::string buildNumber;  // empty: none read
  std::string version;
};
// "BuildNumber" and "Version" of the version resource of `tallyPath` (its first translation).
VersionStamp readVersionStamp(const std::string& tallyPath);

// Writes the agent key of facts.code with every value in order. "Es" holds the account
// enciphered for this machine; on a remote machine it is left out (an account enciphered here
// could not be deciphered there) and the trace says so. The key is readable by SYSTEM and the
// Administrators only (its DACL is set before any value goes in), and the setup log says so.
std::string writeAgentKey(const CMesquiteRegistry& registry, const AgentKeyFacts& facts,
                          const std::string& account, const std::string& password);
// "Dll", "Version", "BuildNumber" and "ProdSubType" of every agent key of this agent, for the
// library in `agentFolder`; *count gets the number of keys rewritten. Each key is given the
// agent key's DACL and an earlier agent's account is enciphered anew with the entropy.
std::string rewriteAgentKeys(const CMesquiteRegistry& registry, const std::string& agentFolder,
                             const VersionStamp& stamp, DWORD prodSubType, int* count);
// The agent key's DACL and the entropy of its account for every agent key of this agent, as
// rewriteAgentKeys gives them: for keys whose values an upgrade put back.
std::string secureAgentKeys(const CMesquiteRegistry& registry);
// The account of an agent key ("" code: the single-installation key), deciphered.
std::string readAgentAccount(const CMesquiteRegistry& registry, const std::string& code,
                             std::string* name, std::string* password);
// "DSAgent\Path" "DbaIngPath".
std::string writeAgentFolder(const CMesquiteRegistry& registry, const std::string& folder);
std::string registerProductDescriptors(const CMesquiteRegistry& registry, const std::string& folder,
                                       const std::string& version);

// Every agent key of this agent, "DbaIngPath", the product descriptors; then "DSAgent" when no
// other database agent remains, and the product's root key when it is left empty.
std::string removeAgentRegistration(const CMesquiteRegistry& registry, MSIHANDLE install);

}  // namespace ferry::setup
