#include "agent_library.h"

#include <vector>

#include "core/output_format.h"

namespace ferry::ctl {
namespace {

// The console's buffer sizes are the ones the agent's interface states.
static_assert(kSystemErrorBase == DSA_SYSTEM_ERROR_BASE);

template <typename Fn>
bool bindEntryPoint(HMODULE module, const char* name, Fn& target) {
  // GetProcAddress returns a generic function pointer; the cast through void* is how every
  // dynamic-binding host converts it to the entry point's own type.
  target = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return target != nullptr;
}

}  // namespace

std::string AgentLibrary::load(const std::string& path) {
  SetLastError(0);
  module_ = UniqueModule(LoadLibraryA(path.c_str()));
  if (!module_) {
    loadError_ = GetLastError();
    return loadFailureLine(path, loadError_, systemErrorText(loadError_));
  }
  AgentEntryPoints bound;
  const char* missing = nullptr;
  DWORD missingError = 0;
  // Every entry point the console calls, by the name the agent exports it under; the first one
  // missing is reported with the error of its own lookup.
  auto need = [&](const char* name, auto& target) {
    if (missing != nullptr) return;
    SetLastError(0);
    if (!bindEntryPoint(module_.get(), name, target)) {
      missing = name;
      missingError = GetLastError();
    }
  };
  need("DSAConnectAgent", bound.connectAgent);
  need("DSADisconnectAgent", bound.disconnectAgent);
  need("DSAGetError", bound.getError);
  if (missing != nullptr) {
    module_.reset();
    loadError_ = missingError;
    return missingEntryPointLine(path, missing, missingError, systemErrorText(missingError));
  }
  // Bound when present; requireEntryPoints reports what a command misses.
  bindEntryPoint(module_.get(), "DSAGetAgentInfo", bound.getAgentInfo);
  bindEntryPoint(module_.get(), "DSAEnumObjects", bound.enumObjects);
  bindEntryPoint(module_.get(), "DSAGetExcludedFiles", bound.getExcludedFiles);
  bindEntryPoint(module_.get(), "DSABeginBackup", bound.beginBackup);
  bindEntryPoint(module_.get(), "DSARead", bound.read);
  bindEntryPoint(module_.get(), "DSAEndBackup", bound.endBackup);
  bindEntryPoint(module_.get(), "DSABeginRestore", bound.beginRestore);
  bindEntryPoint(module_.get(), "DSAWrite", bound.write);
  bindEntryPoint(module_.get(), "DSAEndRestore", bound.endRestore);
  bindEntryPoint(module_.get(), "DSASetRestorePointInTime", bound.setRestorePointInTime);
  entryPoints_ = bound;
  path_ = path;
  return "";
}

std::string AgentLibrary::requireEntryPoints(EntryPointSet set) const {
  struct Need {
    const char* name;
    bool present;
  };
  const AgentEntryPoints& e = entryPoints_;
  std::vector<Need> needs;
  switch (set) {
    case EntryPointSet::kCatalogue:
      needs = {{"DSAGetAgentInfo", e.getAgentInfo != nullptr},
               {"DSAEnumObjects", e.enumObjects != nullptr},
               {"DSAGetExcludedFiles", e.getExcludedFiles != nullptr}};
      break;
    case EntryPointSet::kBackup:
      needs = {{"DSAGetAgentInfo", e.getAgentInfo != nullptr},
               {"DSAEnumObjects", e.enumObjects != nullptr},
               {"DSABeginBackup", e.beginBackup != nullptr},
               {"DSARead", e.read != nullptr},
               {"DSAEndBackup", e.endBackup != nullptr}};
      break;
    case EntryPointSet::kRestore:
      needs = {{"DSABeginRestore", e.beginRestore != nullptr},
               {"DSAWrite", e.write != nullptr},
               {"DSAEndRestore", e.endRestore != nullptr}};
      break;
    case EntryPointSet::kPointInTime:
      needs = {{"DSASetRestorePointInTime", e.setRestorePointInTime != nullptr}};
      break;
  }
  for (const Need& need : needs) {
    if (!need.present) {
      return missingEntryPointLine(path_, need.name, ERROR_PROC_NOT_FOUND,
                                   systemErrorText(ERROR_PROC_NOT_FOUND));
    }
  }
  return "";
}

std::string agentLibraryPath(const std::string& requested) {
  if (requested.empty()) {
    char program[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(/*module=*/nullptr, program, sizeof program);
    if (n == 0 || n >= sizeof program) return "ferryman.dll";  // the load reports the failure
    return besideProgram(std::string(program, n), "ferryman.dll");
  }
  char full[MAX_PATH * 4];
  DWORD n = GetFullPathNameA(requested.c_str(), sizeof full, full, /*filePart=*/nullptr);
  // A path that cannot be made absolute is loaded as given; the load then reports the error.
  if (n == 0 || n >= sizeof full) return requested;
  return std::string(full, n);
}

std::string systemErrorText(DWORD error) {
  char buffer[kSystemTextBufferSize] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           /*source=*/nullptr, error, /*language=*/0, buffer, sizeof buffer,
                           /*arguments=*/nullptr);
  return systemTextFromBuffer(buffer, n);
}

}  // namespace ferry::ctl
