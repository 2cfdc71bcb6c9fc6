// The agent's settings in the registry, below the product's registry root followed by
// "\DSAgent\CurrentVersion".
//
// Conventions:
// - Plain functions, no exceptions; a setting that cannot be read yields the caller's default.
// - Read as the host process's account, whatever account the thread acts as: setup closes the
//   agent keys to every account but SYSTEM and the Administrators.
// - The registry root comes from basetool.dll's ordinal 1261 (loaded from the agent directory
//   first, then the normal search) and is taken once per process. When basetool.dll is missing
//   or fails, the agent uses the same root text from registry_root.h, so the settings stay
//   readable on a machine where the product library is absent.
#pragma once

#include <windows.h>

#include <string>

namespace ferry::agent {

// The product's registry root below HKEY_LOCAL_MACHINE.
const char* registryRoot();

// The 32-bit value `valueName` in <root>\DSAgent\CurrentVersion\<subKey>[\<instance>], or
// `defaultValue` when the key does not open or the value does not read. The type is not
// checked; up to 4 bytes are read.
DWORD readAgentSetting(const char* subKey, const char* instance, const char* valueName,
                       DWORD defaultValue);

// The text value `valueName` in the same key, or "" when it is missing, not a text or longer
// than kAgentTextLimit bytes.
inline constexpr DWORD kAgentTextLimit = 4096;
std::string readAgentText(const char* subKey, const char* instance, const char* valueName);

// The "BuildNumber" text of the first sub-key of <root>\DSAgent\CurrentVersion\agent whose name
// begins with "ferryman", into `buffer` (`size` bytes, 256 by default), NUL-terminated. Returns
// 1 when found, 0 otherwise (buffer then unchanged).
int getBuildNumber(char* buffer, DWORD size = 256);

}  // namespace ferry::agent
