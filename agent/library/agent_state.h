// Process-wide state of the agent library: what the load step finds and what every connection
// shares.
//
// Conventions:
// - Filled by the load step (process attach) under the loader lock and read-only afterwards,
//   except the shared error text buffer, which callers use under the agent lock.
// - No exceptions cross any function here.
#pragma once

#include <windows.h>

#include <cstddef>

#include "core/result_codes.h"

namespace ferry::agent {

inline constexpr size_t kAgentDirectorySize = 261;
inline constexpr size_t kSavedPathSize = 32768;
inline constexpr size_t kSharedErrorTextSize = 1024;

// The folder the library was loaded from, without trailing backslash ("" before the load step).
const char* agentDirectory();
void setAgentDirectory(const char* directory);

// The process PATH as it was after the first PATH refresh.
const char* savedPath();
void saveProcessPath();

// ferryres.dll, or null when it did not load (texts are then empty). The agent owns it: setting
// another (or null) frees the one before.
HMODULE messageLibrary();
void setMessageLibrary(HMODULE module);

// The one process-wide lock that serialises every agent entry point.
void initialiseAgentLock();
void deleteAgentLock();
bool agentLockInitialised();
void enterAgentLock();
void leaveAgentLock();
// Waits for `handle` with the agent lock given up meanwhile (as often as this thread holds it)
// and taken again afterwards: for waits on a thread of the agent's own that needs the lock to
// finish. The caller must not rely on the record being unchanged across the wait.
DWORD waitWithoutAgentLock(HANDLE handle, DWORD waitMs);

class AgentLockGuard {
 public:
  AgentLockGuard() { enterAgentLock(); }
  ~AgentLockGuard() { leaveAgentLock(); }
  AgentLockGuard(const AgentLockGuard&) = delete;
  AgentLockGuard& operator=(const AgentLockGuard&) = delete;
};

// One message at a time, formatted by a routine before it traces or reports it.
char* sharedErrorText();

}  // namespace ferry::agent
