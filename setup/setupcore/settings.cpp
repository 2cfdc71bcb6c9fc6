#include "settings.h"

#include <cstdlib>
#include <vector>

#include "rules/setup_text.h"

namespace ferry::setup {
namespace {

constexpr char kSavedKey[] = "SetupSavedSettings";

std::vector<long> versionFields(const std::string& text) {
  std::vector<long> fields;
  const char* at = text.c_str();
  while (*at >= '0' && *at <= '9' && fields.size() < 8) {
    char* end = nullptr;
    fields.push_back(std::strtol(at, &end, 10));
    at = end;
    if (*at != '.') break;
    ++at;
  }
  return fields;
}

// The values an upgrade sets for the new files; every other saved value is the old agent's
// setting and goes back.
bool describesNewFiles(const char* name) {
  for (const char* own : {"Dll", "Version", "BuildNumber", "ProdSubType"}) {
    if (_stricmp(name, own) == 0) return true;
  }
  return false;
}

LONG restoreSavedValues(HKEY from, HKEY to) {
  std::vector<BYTE> data(65536);
  char name[16384];
  for (DWORD index = 0;; ++index) {
    DWORD nameSize = sizeof name, dataSize = static_cast<DWORD>(data.size()), type = 0;
    LONG rc = RegEnumValueA(from, index, name, &nameSize, nullptr, &type, data.data(), &dataSize);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    if (describesNewFiles(name)) continue;
    rc = RegSetValueExA(to, name, 0, type, data.data(), dataSize);
    if (rc != ERROR_SUCCESS) return rc;
  }
}

}  // namespace

InstallState CSettings::installState(const std::string& installedVersion,
                                     const std::string& newVersion) {
  if (installedVersion.empty()) return kFreshInstall;
  std::vector<long> installed = versionFields(installedVersion);
  std::vector<long> offered = versionFields(newVersion);
  for (size_t i = 0; i < installed.size() || i < offered.size(); ++i) {
    long a = i < installed.size() ? installed[i] : 0;
    long b = i < offered.size() ? offered[i] : 0;
    if (a != b) return a > b ? kNewerInstalled : kUpgradeExisting;
  }
  return kUpgradeExisting;
}

std::string CSettings::defaultAgentPath(const CMesquiteRegistry& registry) {
  std::string programFiles = "C:\\Program Files";
  UniqueKey key;
  if (registry.openAbsolute("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", &key) ==
      ERROR_SUCCESS) {
    std::string value;
    if (CMesquiteRegistry::readText(key.get(), "ProgramFilesDir", &value, MAX_PATH) ==
            ERROR_SUCCESS &&
        !value.empty()) {
      programFiles = value;
    }
  }
  if (programFiles.back() != '\\') programFiles += '\\';
  return programFiles + kAgentFolderName;
}

LONG CSettings::save(const CMesquiteRegistry& registry) {
  LONG rc = registry.deleteTree(kSavedKey);
  if (rc != ERROR_SUCCESS) return rc;
  UniqueKey agents;
  if (registry.openKey(kAgentsKey, &agents) != ERROR_SUCCESS) return ERROR_SUCCESS;
  // The copy holds the accounts of the agent keys: it is as closed to others as they are.
  UniqueKey saved;
  rc = registry.createSecretKey(kSavedKey, &saved);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegCopyTreeA(agents.get(), nullptr, saved.get());
  // The copies take the saved key's DACL by inheritance; they are given it outright as well, for
  // a registry that does not pass it on (Wine's).
  for (const std::string& name : registry.subKeys(kSavedKey)) {
    UniqueKey copy;
    if (rc == ERROR_SUCCESS)
      rc = registry.createSecretKey(std::string(kSavedKey) + "\\" + name, &copy);
  }
  return rc;
}

LONG CSettings::recreate(const CMesquiteRegistry& registry) {
  if (!registry.keyExists(kSavedKey)) return ERROR_SUCCESS;
  for (const std::string& name : registry.subKeys(kSavedKey)) {
    UniqueKey from, to;
    LONG rc = registry.openKey(std::string(kSavedKey) + "\\" + name, &from);
    if (rc == ERROR_SUCCESS) {
      rc = registry.createSecretKey(std::string(kAgentsKey) + "\\" + name, &to);
    }
    if (rc == ERROR_SUCCESS) rc = restoreSavedValues(from.get(), to.get());
    if (rc != ERROR_SUCCESS) return rc;
  }
  return registry.deleteTree(kSavedKey);
}

}  // namespace ferry::setup
