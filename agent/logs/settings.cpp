#include "logs/settings.h"

#include <cstring>
#include <string>

#include "core/line_format.h"
#include "core/settings_key.h"
#include "library/agent_state.h"
#include "library/host_account.h"
#include "registry_root.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

char g_registryRoot[kRegistryRootBufferSize];
INIT_ONCE g_registryRootOnce = INIT_ONCE_STATIC_INIT;

UniqueModule loadBasetool() {
  std::string local = std::string(agentDirectory()) + "\\basetool.dll";
  UniqueModule module(LoadLibraryA(local.c_str()));
  if (!module) module.reset(LoadLibraryA("basetool.dll"));
  return module;
}

BOOL CALLBACK fillRegistryRoot(PINIT_ONCE, PVOID, PVOID*) {
  char buffer[kRegistryRootBufferSize] = {};
  UniqueModule basetool = loadBasetool();
  bool filled = false;
  if (basetool) {
    auto getRoot = reinterpret_cast<GetProductRegistryRootFn>(reinterpret_cast<void*>(
        GetProcAddress(basetool.get(), MAKEINTRESOURCEA(kRegistryRootOrdinal))));
    filled = getRoot != nullptr && getRoot(buffer, sizeof buffer) != 0 && buffer[0] != '\0';
  }
  const char* root = filled ? buffer : kProductRegistryRoot;
  formatMessage(g_registryRoot, sizeof g_registryRoot, "%s", root);
  return TRUE;
}

}  // namespace

const char* registryRoot() {
  InitOnceExecuteOnce(&g_registryRootOnce, fillRegistryRoot, nullptr, nullptr);
  return g_registryRoot;
}

DWORD readAgentSetting(const char* subKey, const char* instance, const char* valueName,
                       DWORD defaultValue) {
  std::string keyName =
      agentSettingsKey(registryRoot(), subKey ? subKey : "", instance ? instance : "");
  // The agent key is closed to every account but SYSTEM and the Administrators: it is read as
  // the host process, not as the connection's account.
  HostAccountScope host;
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return defaultValue;
  }
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(key.get(), valueName, /*reserved=*/nullptr, /*type=*/nullptr,
                       reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) {
    return defaultValue;
  }
  return value;
}

std::string readAgentText(const char* subKey, const char* instance, const char* valueName) {
  std::string keyName =
      agentSettingsKey(registryRoot(), subKey ? subKey : "", instance ? instance : "");
  HostAccountScope host;  // as readAgentSetting
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return {};
  }
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 || size > kAgentTextLimit) {
    return {};
  }
  // One byte more than the value: a stored text need not end with a NUL.
  std::string text(size + 1, '\0');
  if (RegQueryValueExA(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                       &size) != ERROR_SUCCESS) {
    return {};
  }
  text.resize(std::strlen(text.c_str()));
  return text;
}

int getBuildNumber(char* buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  std::string agentKey = agentSettingsKey(registryRoot(), "agent", "");
  HostAccountScope host;  // as readAgentSetting
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, agentKey.c_str(), 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS) {
    return 0;
  }
  char name[513];
  for (DWORD index = 0;; ++index) {
    DWORD nameSize = sizeof name;
    LONG rc = RegEnumKeyExA(key.get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA) continue;  // a name longer than 512 characters is not ours
    if (rc != ERROR_SUCCESS) return 0;
    if (!isAgentInstanceKey(name)) continue;
    UniqueKey instance;
    if (RegOpenKeyExA(key.get(), name, 0, KEY_READ, instance.put()) != ERROR_SUCCESS) return 0;
    // Read into our own buffer: a stored value need not end with a NUL, and a value that does
    // not fit must not touch the caller's buffer.
    char text[257] = {};
    DWORD textSize = 256;
    if (RegQueryValueExA(instance.get(), "BuildNumber", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(text), &textSize) != ERROR_SUCCESS) {
      return 0;
    }
    formatMessage(buffer, size, "%s", text);
    return 1;
  }
}

}  // namespace ferry::agent
