#include "core/install_text.h"

namespace ingsim::core {
namespace {

// config.dat aligns values in one column after "key:", as the configuration tools write it.
void appendConfigLine(std::string* out, const std::string& key, const std::string& value) {
  std::string line = key + ":";
  if (line.size() < 56)
    line.append(56 - line.size(), ' ');
  else
    line.push_back(' ');
  *out += line + value + "\n";
}

}  // namespace

std::string toLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string releaseId(int majorVersion) {
  if (majorVersion >= 3) return "II " + std::to_string(majorVersion) + ".0.3 (int.w32/109)";
  return "II " + std::to_string(majorVersion) + ".6/0305 (int.w32/00)";
}

std::string versionRelText(int majorVersion) {
  return releaseId(majorVersion) + "\nBuild 10832, simulated installation\n";
}

std::string installLogText(const InstallLogFacts& facts) {
  std::string out;
  out += "Ingres installation log\n";
  out += "DATE=" + facts.timestamp + "\n";
  out += "RELEASE=" + releaseId(facts.majorVersion) + "\n";
  out += "II_SYSTEM=" + facts.root + "\n";
  out += "II_INSTALLATION=" + facts.code + "\n";
  if (!facts.owner.empty()) out += "USERNAME=" + facts.owner + "\n";
  out += "COMPONENTS=dbms,net,star\n";
  out += "STATUS=Installation completed successfully.\n";
  return out;
}

std::string privilegeKeyPrefix(std::string_view host) {
  return "ii." + toLower(host) + ".privileges.user.";
}

std::string configDatText(const ConfigDatFacts& facts) {
  const std::string host = "ii." + toLower(facts.host);
  std::string out;
  appendConfigLine(&out, host + ".config.dbms." + releaseId(facts.majorVersion), "COMPLETE");
  appendConfigLine(&out, host + ".config.net." + releaseId(facts.majorVersion), "COMPLETE");
  appendConfigLine(&out, host + ".dbms.*.connect_limit", "64");
  appendConfigLine(&out, host + ".dbms.*.dmf_cache_size", "2000");
  appendConfigLine(&out, host + ".dbms.*.server_class", "INGRES");
  appendConfigLine(&out, host + ".gcn.local_vnode", toLower(facts.host));
  appendConfigLine(&out, host + ".ingstart.*.dbms", "1");
  appendConfigLine(&out, host + ".lnm.installation", facts.code);
  const std::string prefix = privilegeKeyPrefix(facts.host);
  for (const std::string& user : facts.privilegedUsers) {
    appendConfigLine(&out, prefix + user, kOwnerPrivileges);
  }
  appendConfigLine(&out, host + ".setup.ii_installation", facts.code);
  return out;
}

}  // namespace ingsim::core
