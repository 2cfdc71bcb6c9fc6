// Key names of the agent's settings below the product's registry root.
//
// Conventions: platform-free; no exceptions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ferry::agent {

inline constexpr char kSettingsBranch[] = "\\DSAgent\\CurrentVersion";

// <root>\DSAgent\CurrentVersion\<subKey>, then "\<instance>" when `instance` is not empty.
std::string agentSettingsKey(std::string_view root, std::string_view subKey,
                             std::string_view instance);

// The instance key of a connection's settings: "ferryman@<installation code>".
std::string agentInstanceName(std::string_view installationCode);

// True for a sub-key of <root>\DSAgent\CurrentVersion\agent that belongs to this agent: its name
// begins with "ferryman" (exact case).
bool isAgentInstanceKey(std::string_view name);

// The value of an instance key that names the accounts, besides SYSTEM, the Administrators and
// the connection's own, that may open the remote pipe (the media side's service account).
inline constexpr char kRemotePipeAccountsValue[] = "RemotePipeAccounts";
inline constexpr size_t kMostRemotePipeAccounts = 16;

// The account names of such a value: separated by ';', blanks around each name dropped, empty
// entries skipped; at most kMostRemotePipeAccounts (*tooMany set when there were more).
std::vector<std::string> remotePipeAccounts(std::string_view value, bool* tooMany);

}  // namespace ferry::agent
