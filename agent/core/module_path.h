// The agent directory, found from the path of the loaded agent library.
//
// Conventions: platform-free; no exceptions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ferry::agent {

inline constexpr char kAgentFileName[] = "ferryman.dll";

// The folder that holds the agent library, without trailing backslash, or nothing when the
// module path does not name a file "ferryman.dll" (exact case). The name must start a path
// component, so that a library named, say, "oldferryman.dll" is refused instead of yielding a
// wrong directory.
std::optional<std::string> agentDirectoryFromModulePath(std::string_view modulePath);

}  // namespace ferry::agent
