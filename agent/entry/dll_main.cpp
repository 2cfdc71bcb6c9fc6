// The agent library's load and unload steps.
//
// Load, in this order: the PATH refresh; on the first notification the agent lock and the saved
// PATH; the agent directory from the library's own path; the catalog libraries; ferryres.dll.
// The load fails when the library's path does not name "ferryman.dll" or neither catalog
// library binds completely. Every later notification (thread attach and detach included) runs
// the PATH refresh again. Unload releases what the load took.
#include <windows.h>

#include <string>

#include "catalog_binding/catalog_binding.h"
#include "connection/connection_table.h"
#include "core/module_path.h"
#include "entry/path_refresh.h"
#include "library/agent_state.h"

namespace ferry::agent {
namespace {

bool g_firstNotificationDone = false;

void releaseLoadedLibraries() {
  setMessageLibrary(nullptr);
  unbindCatalogLibraries();
}

BOOL processAttach(HMODULE self) {
  if (!g_firstNotificationDone) {
    initialiseAgentLock();
    saveProcessPath();
    g_firstNotificationDone = true;
  }
  char modulePath[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(self, modulePath, MAX_PATH);
  // A cut path (length == MAX_PATH) would give a wrong agent directory.
  if (length == 0 || length >= MAX_PATH) return FALSE;
  std::optional<std::string> directory = agentDirectoryFromModulePath(modulePath);
  if (!directory) return FALSE;
  setAgentDirectory(directory->c_str());

  std::string prefix = *directory + "\\";
  if (bindCatalogLibraries(prefix.c_str()) != 0) return FALSE;

  // Without the texts the agent still works; its activity entries and error texts are empty.
  std::string texts = prefix + "ferryres.dll";
  setMessageLibrary(LoadLibraryA(texts.c_str()));
  return TRUE;
}

void processDetach(bool processEnding) {
  // At process end other threads are gone and may have held the slot-map mutex; the map's
  // words die with the last process anyway. On FreeLibrary, give back the ids still held.
  if (!processEnding) {
    releaseAllConnections();
    closeSlotMap();
  }
  releaseLoadedLibraries();
  deleteAgentLock();
}

}  // namespace
}  // namespace ferry::agent

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  using namespace ferry::agent;
  refreshPath();
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      if (!processAttach(instance)) {
        // The loader does not always send a detach after a failed attach; undo it here.
        releaseLoadedLibraries();
        deleteAgentLock();
        return FALSE;
      }
      return TRUE;
    case DLL_PROCESS_DETACH:
      processDetach(reserved != nullptr);
      return TRUE;
    default:
      return TRUE;
  }
}
