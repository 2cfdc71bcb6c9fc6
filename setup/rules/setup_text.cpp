#include "rules/setup_text.h"

#include <cctype>

namespace ferry::setup {
namespace {

constexpr char kDefaultBuildNumber[] = "012";
constexpr char kDefaultVersion[] = "6.62";

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

size_t findNoCase(std::string_view text, std::string_view what) {
  if (what.size() > text.size()) return std::string_view::npos;
  for (size_t at = 0; at + what.size() <= text.size(); ++at) {
    size_t i = 0;
    while (i < what.size() && lower(text[at + i]) == lower(what[i])) ++i;
    if (i == what.size()) return at;
  }
  return std::string_view::npos;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool isDriveRooted(std::string_view path) {
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         path[2] == '\\';
}

AgentValue textValue(const char* name, std::string text) {
  AgentValue value;
  value.name = name;
  value.kind = AgentValue::Kind::kText;
  value.text = std::move(text);
  return value;
}

AgentValue numberValue(const char* name, uint32_t number) {
  AgentValue value;
  value.name = name;
  value.kind = AgentValue::Kind::kNumber;
  value.number = number;
  return value;
}

}  // namespace

std::optional<std::string> installationCodeOf(std::string_view serviceName) {
  constexpr std::string_view prefix = kIngresServicePrefix;
  size_t at = findNoCase(serviceName, prefix);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view code = serviceName.substr(at + prefix.size());
  if (code.empty()) return std::nullopt;
  return std::string(code);
}

bool isConfiguredDbmsLine(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  if (line.substr(0, colon).find(".config.dbms.") == std::string_view::npos) return false;
  return trimmed(line.substr(colon + 1)) == "COMPLETE";
}

std::optional<std::string> administrativeSharePath(std::string_view machine,
                                                   std::string_view localPath) {
  if (machine.empty() || !isDriveRooted(localPath)) return std::nullopt;
  std::string path = "\\\\";
  path += machine;
  path += '\\';
  path += localPath[0];
  path += '$';
  path += localPath.substr(2);
  return path;
}

std::string agentKeyName(std::string_view code) {
  std::string name = std::string(kAgentsKey) + "\\ferryman";
  if (!code.empty()) {
    name += '@';
    name += code;
  }
  return name;
}

std::optional<std::string> folderOfLibrary(std::string_view dllPath) {
  size_t slash = dllPath.find_last_of('\\');
  if (slash == std::string_view::npos) return std::nullopt;
  return std::string(dllPath.substr(0, slash + 1));
}

std::string agentLibraryPath(std::string_view folder) {
  std::string path(folder);
  if (path.empty() || path.back() != '\\') path += '\\';
  return path + kAgentLibrary;
}

std::vector<AgentValue> agentKeyValues(const AgentKeyFacts& facts) {
  const bool perInstallation = !facts.code.empty();
  std::string name = "Keelson Ingres Database Server";
  if (perInstallation) name += "-" + facts.code;
  std::vector<AgentValue> values;
  values.push_back(textValue("Name", name));
  values.push_back(textValue("Type", "database"));
  values.push_back(textValue("Dll", agentLibraryPath(facts.agentFolder)));
  values.push_back(textValue("Server", "Ingres II"));
  values.push_back(textValue("BuildNumber",
                             facts.buildNumber.empty() ? kDefaultBuildNumber : facts.buildNumber));
  values.push_back(textValue("Version", facts.version.empty() ? kDefaultVersion : facts.version));
  values.push_back(textValue("RestoreDir", ""));
  values.push_back(numberValue("Debug", 0));
  values.push_back(numberValue("ProdSubType", 0));
  values.push_back(numberValue("Em", perInstallation ? 3 : 1));
  AgentValue secret;
  secret.name = "Es";
  secret.kind = AgentValue::Kind::kBytes;
  values.push_back(secret);
  values.push_back(numberValue("ProdSubType", facts.prodSubType));
  values.push_back(textValue("RemotePipeAccounts", facts.remotePipeAccounts));
  return values;
}

bool accountText(std::string_view name, std::string_view password, std::string* text) {
  if (name.empty() || name.size() > kMaxAccountText || password.size() > kMaxAccountText) {
    return false;
  }
  if (name.find('\0') != std::string_view::npos || password.find('\0') != std::string_view::npos) {
    return false;
  }
  std::string joined(name);
  joined += '\0';
  joined += password;
  *text = std::move(joined);
  return true;
}

bool splitAccountText(std::string_view text, std::string* name, std::string* password) {
  if (!text.empty() && text.back() == '\0') text.remove_suffix(1);
  size_t zero = text.find('\0');
  if (zero == std::string_view::npos || zero == 0) return false;
  std::string_view rest = text.substr(zero + 1);
  if (rest.find('\0') != std::string_view::npos) return false;
  *name = std::string(text.substr(0, zero));
  *password = std::string(rest);
  return true;
}

std::optional<int> majorVersionOf(std::string_view version) {
  version = trimmed(version);
  if (version.empty() || !std::isdigit(static_cast<unsigned char>(version[0]))) {
    return std::nullopt;
  }
  int major = 0;
  for (char c : version) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    if (major > 100000) return std::nullopt;
    major = major * 10 + (c - '0');
  }
  return major;
}

std::string configurationProgramName(std::string_view pattern, std::string_view languageId) {
  size_t at = pattern.find("%s");
  std::string_view before = at == std::string_view::npos ? pattern : pattern.substr(0, at);
  std::string_view after = at == std::string_view::npos ? "" : pattern.substr(at + 2);
  if (before.find('%') != std::string_view::npos || after.find('%') != std::string_view::npos) {
    return "";
  }
  std::string name(before);
  if (at != std::string_view::npos) name += languageId;
  name += after;
  return name;
}

std::string configurationCommandLine(std::string_view program, std::string_view configFile,
                                     std::string_view machine, int setupType) {
  std::string line = "\"";
  line += program;
  line += "\" /r:";
  line += configFile;
  line += " /w:";
  line += configFile;
  line += " /p:0 /m:";
  line += machine;
  line += " /s:";
  line += std::to_string(setupType);
  return line;
}

std::string profileCodeKey(int position) { return "SID" + std::to_string(position); }
std::string profileLoginKey(int position) { return "LoginID" + std::to_string(position); }
std::string profilePasswordKey(int position) { return "Password" + std::to_string(position); }

std::string toHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (char c : bytes) {
    unsigned char byte = static_cast<unsigned char>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

bool fromHex(std::string_view hex, std::string* bytes) {
  if (hex.size() % 2 != 0) return false;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    int high = digit(hex[i]), low = digit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high << 4 | low);
  }
  *bytes = std::move(out);
  return true;
}

bool isAgentFolderAcceptable(std::string_view folder, size_t maxLength) {
  if (!isDriveRooted(folder) || folder.size() > maxLength) return false;
  for (size_t i = 2; i < folder.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(folder[i]);
    if (c < 32 ||
        std::string_view("<>:\"/|?*").find(static_cast<char>(c)) != std::string_view::npos) {
      return false;
    }
    if (c == '\\' && i + 1 < folder.size() && folder[i + 1] == '\\') return false;
  }
  return true;
}

}  // namespace ferry::setup
