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

std::vector<std::string> remotePipeAccounts(std::string_view value, bool* tooMany) {
  *tooMany = false;
  std::vector<std::string> accounts;
  while (!value.empty()) {
    const size_t end = value.find(';');
    std::string_view name = value.substr(0, end);
    value = end == std::string_view::npos ? std::string_view() : value.substr(end + 1);
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    if (name.empty()) continue;
    if (accounts.size() == kMostRemotePipeAccounts) {
      *tooMany = true;
      break;
    }
    accounts.emplace_back(name);
  }
  return accounts;
}

}  // namespace ferry::agent
