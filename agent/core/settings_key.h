// Key names of the agent's settings below the product's registry root.
//
// Conventions: platform-free; no exceptions.
#pragma once

#include <string>
#include <string_view>

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

}  // namespace ferry::agent
