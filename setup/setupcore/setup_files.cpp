#include "setup_files.h"

#include <cstdlib>

#include "credential.h"
#include "rules/setup_text.h"

namespace ferry::setup {
namespace {

constexpr char kSection[] = "DBAINGRES";
constexpr DWORD kValueSize = 1024;
// Marks a value that is absent, as opposed to one that is empty.
constexpr char kAbsent[] = "\x01";

// A profile value: false when it does not fit the buffer (it is then not used at all).
bool readValue(const std::string& path, const char* section, const std::string& key,
               const char* fallback, std::string* value) {
  char buffer[kValueSize] = {};
  DWORD n =
      GetPrivateProfileStringA(section, key.c_str(), fallback, buffer, sizeof buffer, path.c_str());
  if (n >= sizeof buffer - 2) return false;
  value->assign(buffer, n);
  return true;
}

// A value that may be enciphered: "" or the message.
std::string plainValue(const std::string& stored, std::string* plain) {
  constexpr std::string_view prefix = kEncipheredPrefix;
  if (stored.compare(0, prefix.size(), prefix) != 0) {
    *plain = stored;
    return "";
  }
  std::string blob;
  if (!fromHex(std::string_view(stored).substr(prefix.size()), &blob)) {
    return "is marked enciphered but is not hexadecimal";
  }
  DWORD rc = decipherText(blob, plain);
  return rc == ERROR_SUCCESS
             ? ""
             : "cannot be deciphered on this machine (error " + std::to_string(rc) + ")";
}

bool isFullPath(const std::string& path) {
  return (path.size() >= 3 && path[1] == ':' && path[2] == '\\') || path.rfind("\\\\", 0) == 0;
}

}  // namespace

SetupInfFacts CSetupInf::read(const std::string& folder) {
  SetupInfFacts facts;
  const std::string path = folder + "\\setup.inf";
  facts.prodSubType = GetPrivateProfileIntA("Product", "SubType", 0, path.c_str());
  std::string program;
  if (readValue(path, "Product", "ConfigProgram", "", &program)) facts.configProgram = program;
  return facts;
}

std::string CSetupIcf::read(const std::string& path, SilentProfile* profile) {
  if (!isFullPath(path)) return "the silent profile '" + path + "' is not a full path";
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return "the silent profile " + path + " cannot be read (error " +
           std::to_string(GetLastError()) + ")";
  }
  std::string countText;
  readValue(path, kSection, "TotalSID", kAbsent, &countText);
  char* end = nullptr;
  long count = std::strtol(countText.c_str(), &end, 10);
  if (countText == kAbsent || end == countText.c_str() || *end != '\0' || count < 1 ||
      count > static_cast<long>(kMaxInstallations)) {
    return "the silent profile's TotalSID must be a number from 1 to " +
           std::to_string(kMaxInstallations);
  }
  SilentProfile read;
  for (int i = 1; i <= count; ++i) {
    ProfileInstallation entry;
    std::string login, password;
    if (!readValue(path, kSection, profileCodeKey(i), "", &entry.code) || entry.code.empty()) {
      return "the silent profile names no installation code " + profileCodeKey(i);
    }
    if (!readValue(path, kSection, profileLoginKey(i), "", &login) ||
        !readValue(path, kSection, profilePasswordKey(i), "", &password)) {
      return "the silent profile's account of installation " + entry.code + " is too long";
    }
    if (std::string error = plainValue(login, &entry.login); !error.empty()) {
      return "the silent profile's " + profileLoginKey(i) + " " + error;
    }
    if (std::string error = plainValue(password, &entry.password); !error.empty()) {
      return "the silent profile's " + profilePasswordKey(i) + " " + error;
    }
    if (entry.login.empty()) {
      return "the silent profile names no account for installation " + entry.code;
    }
    for (const ProfileInstallation& earlier : read.installations) {
      if (_stricmp(earlier.code.c_str(), entry.code.c_str()) == 0) {
        return "the silent profile names installation " + entry.code + " twice";
      }
    }
    read.installations.push_back(std::move(entry));
  }
  readValue(path, kSection, "AgentPath", "", &read.agentPath);
  readValue(path, "UserInfo", "FullName", "", &read.fullName);
  readValue(path, "UserInfo", "CompanyName", "", &read.companyName);
  *profile = std::move(read);
  return "";
}

std::string CSetupIcf::agentPath(const std::string& path) {
  std::string folder;
  if (!readValue(path, kSection, "AgentPath", "", &folder)) return "";
  return folder;
}

std::string CSetupIcf::writeAgentPath(const std::string& path, const std::string& folder) {
  if (!WritePrivateProfileStringA(kSection, "AgentPath", folder.c_str(), path.c_str())) {
    return "cannot write the agent folder into " + path + " (error " +
           std::to_string(GetLastError()) + ")";
  }
  return "";
}

void CSetupIcf::accountInfo(const std::string& path, std::string* id, std::string* password) {
  std::string storedId = "sa", storedPassword;
  readValue(path, "Account Info", "ID", "sa", &storedId);
  readValue(path, "Account Info", "Password", "", &storedPassword);
  if (!plainValue(storedId, id).empty()) *id = "sa";
  if (!plainValue(storedPassword, password).empty()) password->clear();
}

std::string CSetupIcf::languageId(const std::string& path) {
  std::string id = "0409";
  readValue(path, "Language", "LangID", "0409", &id);
  return id;
}

std::string CSetupIcf::encipheredValue(const std::string& plain) {
  std::string blob;
  if (encipherText(plain, &blob) != ERROR_SUCCESS) return "";
  return kEncipheredPrefix + toHex(blob);
}

}  // namespace ferry::setup
