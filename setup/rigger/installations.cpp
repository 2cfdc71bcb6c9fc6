#include "installations.h"

#include <windows.h>

#include "rules/setup_text.h"
#include "setup_trace.h"
#include "unique_handle.h"

namespace ferry::setup {
namespace {

constexpr char kMachineEnvironment[] =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr char kIngresUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ingres";
// config.dat is a few kilobytes; a file far beyond that is not one.
constexpr DWORD kMaxConfigDat = 4u << 20;

std::string readSmallFile(const std::string& path, bool* opened) {
  *opened = false;
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              /*security=*/nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              /*template=*/nullptr));
  if (!file) return "";
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxConfigDat) return "";
  std::string text(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!text.empty() &&
      !ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr)) {
    return "";
  }
  text.resize(got);
  *opened = true;
  return text;
}

bool hasConfiguredLine(const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (isConfiguredDbmsLine(std::string_view(text).substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

bool serviceExists(const CMesquiteRegistry& registry, const char* name) {
  return registry.absoluteKeyExists(std::string(kServicesKey) + "\\" + name);
}

std::string machineRoot(const CMesquiteRegistry& registry) {
  UniqueKey environment;
  std::string root;
  if (registry.openAbsolute(kMachineEnvironment, &environment) != ERROR_SUCCESS ||
      CMesquiteRegistry::readText(environment.get(), "II_SYSTEM", &root, MAX_PATH) !=
          ERROR_SUCCESS) {
    return "";
  }
  return root;
}

EarlierAgent agentKeyBelow(const CMesquiteRegistry& registry, const std::string& root) {
  EarlierAgent agent;
  const std::string agents = root + "\\" + kAgentsKey;
  setupTrace(0, "Find sqlserver related sub key... %s", agents.c_str());
  for (const std::string& name : registry.absoluteSubKeys(agents)) {
    if (name.rfind("ferryman", 0) != 0) continue;
    UniqueKey key;
    if (registry.openAbsolute(agents + "\\" + name, &key) != ERROR_SUCCESS) continue;
    setupTrace(0, "Open sub key success.");
    std::string dll;
    if (CMesquiteRegistry::readText(key.get(), "Dll", &dll) != ERROR_SUCCESS) continue;
    setupTrace(0, "strPreInstalledPath = %s", dll.c_str());
    std::optional<std::string> folder = folderOfLibrary(dll);
    if (!folder) continue;
    setupTrace(0, "nPos = %d, strPreInstalledPath = %s", static_cast<int>(folder->size() - 1),
               folder->c_str());
    agent.found = true;
    agent.folder = *folder;
    CMesquiteRegistry::readText(key.get(), "Version", &agent.version);
    return agent;
  }
  return agent;
}

}  // namespace

std::string findInstallations(const CMesquiteRegistry& registry, std::vector<std::string>* codes) {
  UniqueKey services;
  LONG rc = registry.openAbsolute(kServicesKey, &services);
  if (rc != ERROR_SUCCESS) {
    return "the services key of the machine cannot be opened (error " + std::to_string(rc) + ")";
  }
  std::vector<std::string> found;
  for (const std::string& name : registry.absoluteSubKeys(kServicesKey)) {
    std::optional<std::string> code = installationCodeOf(name);
    if (!code) continue;
    if (found.size() == kMaxInstallations) {
      return "the machine has more than " + std::to_string(kMaxInstallations) +
             " Ingres installations";
    }
    found.push_back(*code);
  }
  *codes = std::move(found);
  return "";
}

bool hasInstallation(const CMesquiteRegistry& registry, const std::string& code) {
  return serviceExists(registry, (std::string(kIngresServicePrefix) + code).c_str());
}

bool isRootConfigured(const CMesquiteRegistry& registry, const std::string& machine,
                      const std::string& root) {
  std::string path = root + "\\ingres\\files\\config.dat";
  if (registry.isRemote()) {
    std::optional<std::string> share = administrativeSharePath(machine, path);
    if (!share) {
      setupTrace(0, "config.dat file(%s) is not accessed", path.c_str());
      return false;
    }
    path = *share;
  }
  bool opened = false;
  std::string text = readSmallFile(path, &opened);
  if (!opened) {
    setupTrace(0, "config.dat file(%s) is not accessed", path.c_str());
    return false;
  }
  setupTrace(0, "config.dat file(%s) is opened successfully", path.c_str());
  return hasConfiguredLine(text);
}

bool isMachineInstallationConfigured(const CMesquiteRegistry& registry,
                                     const std::string& machine) {
  std::string root = machineRoot(registry);
  if (root.empty()) {
    setupTrace(0, "II_SYSTEM is not set in the machine environment");
    return false;
  }
  return isRootConfigured(registry, machine, root);
}

bool isInstallationConfigured(const CMesquiteRegistry& registry, const std::string& machine,
                              const std::string& code) {
  UniqueKey key;
  std::string root;
  if (registry.openAbsolute("SOFTWARE\\Norvane\\IngresII\\" + code + "_Installation", &key) !=
          ERROR_SUCCESS ||
      CMesquiteRegistry::readText(key.get(), "II_SYSTEM", &root, MAX_PATH) != ERROR_SUCCESS ||
      root.empty()) {
    return false;
  }
  return isRootConfigured(registry, machine, root);
}

bool isIngresPresent(const CMesquiteRegistry& registry, const std::string& machine,
                     const std::vector<std::string>& codes) {
  bool anyService = false;
  for (const std::string& name : registry.absoluteSubKeys(kServicesKey)) {
    if (name.find("Ingres_Database") != std::string::npos) anyService = true;
  }
  if (anyService) {
    if (isMachineInstallationConfigured(registry, machine)) return true;
    for (const std::string& code : codes) {
      if (isInstallationConfigured(registry, machine, code)) return true;
    }
  }
  if (serviceExists(registry, "Ingres_Database_II") || serviceExists(registry, "Ingres_Database")) {
    return true;
  }
  return !machineRoot(registry).empty() && registry.absoluteKeyExists(kIngresUninstallKey);
}

EarlierAgent findEarlierAgent(const CMesquiteRegistry& registry) {
  for (const std::string& root :
       {registry.productRoot(), std::string("SOFTWARE\\Norvane\\TidewellIT")}) {
    EarlierAgent agent = agentKeyBelow(registry, root);
    if (agent.found) return agent;
  }
  for (const std::string& root :
       {registry.productRoot(), std::string("SOFTWARE\\Norvane\\Halyard Tidewell Backup"),
        std::string("SOFTWARE\\Norvane\\Halyard Enterprise Backup")}) {
    UniqueKey key;
    std::string folder;
    if (registry.openAbsolute(root + "\\" + kPathKey, &key) != ERROR_SUCCESS ||
        CMesquiteRegistry::readText(key.get(), kPathValue, &folder, MAX_PATH) != ERROR_SUCCESS ||
        folder.empty()) {
      continue;
    }
    if (folder.back() != '\\') folder += '\\';
    setupTrace(0, "Preinstalled Path = %s", folder.c_str());
    EarlierAgent agent;
    agent.found = true;
    agent.folder = folder;
    return agent;
  }
  return {};
}

}  // namespace ferry::setup
