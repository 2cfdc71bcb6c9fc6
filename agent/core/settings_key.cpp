#include "settings_key.h"

namespace ferry::agent {

std::string agentSettingsKey(std::string_view root, std::string_view subKey,
                             std::string_view instance) {
  std::string key(root);
  key += kSettingsBranch;
  key += '\\';
  key += subKey;
  if (!instance.empty()) {
    key += '\\';
    key += instance;
  }
  return key;
}

std::string agentInstanceName(std::string_view installationCode) {
  return "ferryman@" + std::string(installationCode);
}

bool isAgentInstanceKey(std::string_view name) { return name.substr(0, 8) == "ferryman"; }

}  // namespace ferry::agent
