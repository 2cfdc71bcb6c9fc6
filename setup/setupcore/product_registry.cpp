#include "product_registry.h"

#include <sddl.h>

#include <cstring>

namespace ferry::setup {
namespace {

// SYSTEM and the Administrators full control of the key and, through container inheritance, of
// every sub-key; protected, so that nothing is inherited from HKLM\SOFTWARE (which lets
// BUILTIN\Users read).
constexpr char kSecretKeyDacl[] = "D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)";

UniqueLocalMemory<void> secretKeyDescriptor() {
  UniqueLocalMemory<void> descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kSecretKeyDacl, SDDL_REVISION_1,
                                                            descriptor.put(), /*size=*/nullptr)) {
    return UniqueLocalMemory<void>();
  }
  return descriptor;
}

std::string accountName(PSID sid) {
  char name[256], domain[256];
  DWORD nameSize = sizeof name, domainSize = sizeof domain;
  SID_NAME_USE use;
  if (LookupAccountSidA(/*system=*/nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
    return domain[0] != '\0' ? std::string(domain) + "\\" + name : std::string(name);
  }
  UniqueLocalMemory<char> text;
  return ConvertSidToStringSidA(sid, text.put()) ? std::string(text.get()) : "<unknown SID>";
}

std::vector<std::string> enumerateSubKeys(HKEY key) {
  std::vector<std::string> names;
  char name[256];  // the longest key name the registry allows, and its NUL
  for (DWORD index = 0;; ++index) {
    DWORD size = sizeof name;
    LONG rc = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(name, size);
  }
  return names;
}

bool isEmptyKey(HKEY key) {
  DWORD subKeys = 0, values = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                       nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return subKeys == 0 && values == 0;
}

bool deleteEmpty(HKEY machine, const std::string& keyName) {
  UniqueKey key;
  if (RegOpenKeyExA(machine, keyName.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return false;
  }
  if (!isEmptyKey(key.get())) return false;
  key.reset();
  return RegDeleteKeyA(machine, keyName.c_str()) == ERROR_SUCCESS;
}

}  // namespace

bool isLocalMachine(const std::string& machine) {
  if (machine.empty() || machine == "." || _stricmp(machine.c_str(), "localhost") == 0) {
    return true;
  }
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  std::string bare = machine.rfind("\\\\", 0) == 0 ? machine.substr(2) : machine;
  return GetComputerNameA(name, &size) && _stricmp(bare.c_str(), name) == 0;
}

CMesquiteRegistry::CMesquiteRegistry(std::string productRoot)
    : productRoot_(std::move(productRoot)) {}

LONG CMesquiteRegistry::open(const std::string& machine) {
  remote_.reset();
  if (isLocalMachine(machine)) return ERROR_SUCCESS;
  std::string target = machine.rfind("\\\\", 0) == 0 ? machine : "\\\\" + machine;
  return RegConnectRegistryA(target.c_str(), HKEY_LOCAL_MACHINE, remote_.put());
}

std::string CMesquiteRegistry::fullName(const std::string& subKey) const {
  return subKey.empty() ? productRoot_ : productRoot_ + "\\" + subKey;
}

LONG CMesquiteRegistry::createKey(const std::string& subKey, UniqueKey* key) const {
  UniqueKey made;
  LONG rc = RegCreateKeyExA(machineKey(), fullName(subKey).c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, /*security=*/nullptr,
                            made.put(), /*disposition=*/nullptr);
  if (rc == ERROR_SUCCESS) *key = std::move(made);
  return rc;
}

LONG CMesquiteRegistry::createSecretKey(const std::string& subKey, UniqueKey* key) const {
  UniqueLocalMemory<void> descriptor = secretKeyDescriptor();
  if (!descriptor) return static_cast<LONG>(GetLastError());
  // Made with the DACL, so that no moment passes in which the key is readable by others. An
  // existing key gets it too, and so does a new one where RegCreateKeyEx leaves the security
  // attributes aside (Wine does).
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor.get(), /*inherit=*/FALSE};
  UniqueKey made;
  LONG rc = RegCreateKeyExA(machineKey(), fullName(subKey).c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE | WRITE_DAC, &security,
                            made.put(), /*disposition=*/nullptr);
  if (rc == ERROR_SUCCESS) rc = protectSecretKey(made.get());
  if (rc == ERROR_SUCCESS) *key = std::move(made);
  return rc;
}

LONG CMesquiteRegistry::protectSecretKey(HKEY key) {
  UniqueLocalMemory<void> descriptor = secretKeyDescriptor();
  if (!descriptor) return static_cast<LONG>(GetLastError());
  return RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.get());
}

std::string CMesquiteRegistry::readersOf(HKEY key) {
  DWORD size = 0;
  if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size) !=
          ERROR_INSUFFICIENT_BUFFER ||
      size == 0) {
    return "";
  }
  std::vector<BYTE> buffer(size);
  if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, buffer.data(), &size) != ERROR_SUCCESS) {
    return "";
  }
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(buffer.data(), &present, &dacl, &defaulted)) return "";
  if (!present || dacl == nullptr) return "Everyone (the key has no DACL)";
  std::string readers;
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* entry = nullptr;
    if (!GetAce(dacl, index, &entry)) continue;
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    // An entry that applies to sub-keys only says nothing about this key.
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
        (ace->Header.AceFlags & INHERIT_ONLY_ACE) != 0 ||
        (ace->Mask & (KEY_QUERY_VALUE | GENERIC_READ | GENERIC_ALL)) == 0) {
      continue;
    }
    if (!readers.empty()) readers += ", ";
    readers += accountName(const_cast<DWORD*>(&ace->SidStart));
  }
  return readers;
}

LONG CMesquiteRegistry::openAbsolute(const std::string& keyName, UniqueKey* key) const {
  UniqueKey opened;
  LONG rc = RegOpenKeyExA(machineKey(), keyName.c_str(), 0, KEY_READ, opened.put());
  if (rc == ERROR_SUCCESS) *key = std::move(opened);
  return rc;
}

LONG CMesquiteRegistry::openKey(const std::string& subKey, UniqueKey* key) const {
  return openAbsolute(fullName(subKey), key);
}

bool CMesquiteRegistry::keyExists(const std::string& subKey) const {
  return absoluteKeyExists(fullName(subKey));
}

bool CMesquiteRegistry::absoluteKeyExists(const std::string& keyName) const {
  UniqueKey key;
  return openAbsolute(keyName, &key) == ERROR_SUCCESS;
}

LONG CMesquiteRegistry::setText(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

LONG CMesquiteRegistry::setNumber(HKEY key, const char* name, DWORD number) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                        sizeof number);
}

LONG CMesquiteRegistry::setBytes(HKEY key, const char* name, const std::string& bytes) {
  return RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()));
}

LONG CMesquiteRegistry::readText(HKEY key, const char* name, std::string* text, DWORD maxBytes) {
  std::string buffer(maxBytes + 1, '\0');
  DWORD size = maxBytes, type = 0;
  LONG rc =
      RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (rc != ERROR_SUCCESS) return rc;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATATYPE;
  buffer.resize(size);
  // A stored text need not end with its NUL; it must not carry one inside either.
  while (!buffer.empty() && buffer.back() == '\0') buffer.pop_back();
  *text = buffer.substr(0, std::strlen(buffer.c_str()));
  return ERROR_SUCCESS;
}

LONG CMesquiteRegistry::readNumber(HKEY key, const char* name, DWORD* number) {
  DWORD value = 0, size = sizeof value, type = 0;
  LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  if (rc != ERROR_SUCCESS) return rc;
  if (type != REG_DWORD || size != sizeof value) return ERROR_INVALID_DATATYPE;
  *number = value;
  return ERROR_SUCCESS;
}

LONG CMesquiteRegistry::readBytes(HKEY key, const char* name, std::string* bytes, DWORD maxBytes) {
  std::string buffer(maxBytes, '\0');
  DWORD size = maxBytes;
  LONG rc =
      RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (rc != ERROR_SUCCESS) return rc;
  buffer.resize(size);
  *bytes = std::move(buffer);
  return ERROR_SUCCESS;
}

std::vector<std::string> CMesquiteRegistry::subKeys(const std::string& subKey) const {
  return absoluteSubKeys(fullName(subKey));
}

std::vector<std::string> CMesquiteRegistry::absoluteSubKeys(const std::string& keyName) const {
  UniqueKey key;
  if (openAbsolute(keyName, &key) != ERROR_SUCCESS) return {};
  return enumerateSubKeys(key.get());
}

LONG CMesquiteRegistry::deleteTree(const std::string& subKey) const {
  const std::string name = fullName(subKey);
  LONG rc = RegDeleteTreeA(machineKey(), name.c_str());
  if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (rc != ERROR_SUCCESS) return rc;
  // RegDeleteTree empties the key; the key itself goes next.
  rc = RegDeleteKeyA(machineKey(), name.c_str());
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

bool CMesquiteRegistry::deleteIfEmpty(const std::string& subKey) const {
  return deleteEmpty(machineKey(), fullName(subKey));
}

bool CMesquiteRegistry::deleteAbsoluteIfEmpty(const std::string& keyName) const {
  return deleteEmpty(machineKey(), keyName);
}

}  // namespace ferry::setup
