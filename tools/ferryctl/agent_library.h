// The agent library as the backup server's host process uses it: loaded by full path with
// LoadLibraryA, every entry point the console needs bound by name with GetProcAddress.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ferryman.h"
#include "unique_handle.h"

namespace ferry::ctl {

// The session entry points every command needs are bound at load; the others are bound when
// the library has them, and a command checks for the ones it calls (requireEntryPoints) before
// it calls anything, so that an older agent still serves the commands it can.
struct AgentEntryPoints {
  PFN_DSAConnectAgent connectAgent = nullptr;
  PFN_DSADisconnectAgent disconnectAgent = nullptr;
  PFN_DSAGetError getError = nullptr;
  PFN_DSAGetAgentInfo getAgentInfo = nullptr;
  PFN_DSAEnumObjects enumObjects = nullptr;
  PFN_DSAGetExcludedFiles getExcludedFiles = nullptr;
  PFN_DSABeginBackup beginBackup = nullptr;
  PFN_DSARead read = nullptr;
  PFN_DSAEndBackup endBackup = nullptr;
  PFN_DSABeginRestore beginRestore = nullptr;
  PFN_DSAWrite write = nullptr;
  PFN_DSAEndRestore endRestore = nullptr;
  PFN_DSASetRestorePointInTime setRestorePointInTime = nullptr;
};

// Entry points beyond the session's, by the command that needs them.
enum class EntryPointSet { kCatalogue, kBackup, kRestore, kPointInTime };

class AgentLibrary {
 public:
  // Loads `path` and binds every entry point: "" on success, else the line to print (the path,
  // the missing entry point if that is what failed, and the Windows error with its text).
  std::string load(const std::string& path);
  // The Windows error of the failed load or lookup, 0 after a load that succeeded.
  DWORD loadError() const { return loadError_; }

  const AgentEntryPoints& entryPoints() const { return entryPoints_; }

  // "" when the library exports every entry point of `set`, else the line to print.
  std::string requireEntryPoints(EntryPointSet set) const;

 private:
  std::string path_;
  DWORD loadError_ = 0;
  UniqueModule module_;
  AgentEntryPoints entryPoints_;
};

// The full path of the library to load: `requested` made absolute, or ferryman.dll beside the
// console program when nothing was requested. A full path, because the agent finds its
// companions in its own folder, and so that the messages show which file was meant.
std::string agentLibraryPath(const std::string& requested);

// The system's text for a Windows error, without its trailing line break; "" when it has none.
std::string systemErrorText(DWORD error);

}  // namespace ferry::ctl
