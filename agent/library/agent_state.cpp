#include "library/agent_state.h"

#include "core/line_format.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

char g_agentDirectory[kAgentDirectorySize];
char g_savedPath[kSavedPathSize];
UniqueModule g_messageLibrary;
CRITICAL_SECTION g_agentLock;
bool g_agentLockInitialised = false;
char g_sharedErrorText[kSharedErrorTextSize];
// How often the current thread holds the agent lock.
thread_local int t_agentLockDepth = 0;

}  // namespace

const char* agentDirectory() { return g_agentDirectory; }

void setAgentDirectory(const char* directory) {
  formatMessage(g_agentDirectory, sizeof g_agentDirectory, "%s", directory);
}

const char* savedPath() { return g_savedPath; }

void saveProcessPath() {
  DWORD length = GetEnvironmentVariableA("PATH", g_savedPath, sizeof g_savedPath);
  // A PATH longer than the buffer (or none) leaves the saved PATH empty rather than cut.
  if (length == 0 || length >= sizeof g_savedPath) g_savedPath[0] = '\0';
}

HMODULE messageLibrary() { return g_messageLibrary.get(); }
void setMessageLibrary(HMODULE module) { g_messageLibrary.reset(module); }

void initialiseAgentLock() {
  if (g_agentLockInitialised) return;
  InitializeCriticalSection(&g_agentLock);
  g_agentLockInitialised = true;
}

void deleteAgentLock() {
  if (!g_agentLockInitialised) return;
  DeleteCriticalSection(&g_agentLock);
  g_agentLockInitialised = false;
}

bool agentLockInitialised() { return g_agentLockInitialised; }
void enterAgentLock() {
  EnterCriticalSection(&g_agentLock);
  ++t_agentLockDepth;
}

void leaveAgentLock() {
  --t_agentLockDepth;
  LeaveCriticalSection(&g_agentLock);
}

DWORD waitWithoutAgentLock(HANDLE handle, DWORD waitMs) {
  const int depth = t_agentLockDepth;
  for (int i = 0; i < depth; ++i) leaveAgentLock();
  const DWORD waited = WaitForSingleObject(handle, waitMs);
  for (int i = 0; i < depth; ++i) enterAgentLock();
  return waited;
}

char* sharedErrorText() { return g_sharedErrorText; }

}  // namespace ferry::agent
