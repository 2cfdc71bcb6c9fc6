#include "agent_registration.h"

#include <vector>

#include "credential.h"
#include "setup_trace.h"
#include "unique_handle.h"

namespace ferry::setup {
namespace {

constexpr char kDescriptorsKey[] = "ProductDescriptors";

std::string failure(const std::string& what, LONG rc) {
  return what + " (error " + std::to_string(rc) + ")";
}

std::string stampValue(const std::vector<char>& data, const std::string& block, const char* name) {
  void* text = nullptr;
  UINT length = 0;
  const std::string query = "\\StringFileInfo\\" + block + "\\" + name;
  if (!VerQueryValueA(data.data(), query.c_str(), &text, &length) || length == 0) return "";
  std::string value(static_cast<const char*>(text), length);
  while (!value.empty() && value.back() == '\0') value.pop_back();
  return value.size() <= kMaxStoredText ? value : "";
}

bool isOwnAgentKey(const std::string& name) { return name.rfind("ferryman", 0) == 0; }

void traceReaders(const std::string& keyName, HKEY key) {
  setupTrace(0, "Agent key %s may be read by: %s", keyName.c_str(),
             CMesquiteRegistry::readersOf(key).c_str());
}

// An account an earlier agent enciphered without the product's entropy is enciphered anew with
// it. One that does not decipher at all is left as it is (the trace says so): the administrator
// enters it again.
void upgradeAccountSecret(const std::string& keyName, HKEY key) {
  std::string secret, name, password;
  if (CMesquiteRegistry::readBytes(key, "Es", &secret, kMaxEnciphered) != ERROR_SUCCESS) return;
  bool legacy = false;
  DWORD rc = decipherAccount(secret, &name, &password, &legacy);
  if (rc != ERROR_SUCCESS) {
    setupTrace(0, "%s: the account does not decipher (error %lu); kept as it is", keyName.c_str(),
               rc);
    return;
  }
  if (legacy) {
    std::string fresh;
    rc = encipherAccount(name, password, &fresh);
    if (rc == ERROR_SUCCESS) rc = CMesquiteRegistry::setBytes(key, "Es", fresh);
    setupTrace(0, "%s: the earlier agent's account enciphered anew with the entropy: %lu",
               keyName.c_str(), rc);
  }
  SecureZeroMemory(password.data(), password.size());
}

}  // namespace

VersionStamp readVersionStamp(const std::string& tallyPath) {
  VersionStamp stamp;
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(tallyPath.c_str(), &handle);
  if (size == 0) return stamp;
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(tallyPath.c_str(), 0, size, data.data())) return stamp;
  struct Translation {
    WORD language;
    WORD codePage;
  }* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof *translation) {
    return stamp;
  }
  char block[16];
  wsprintfA(block, "%04x%04x", translation->language, translation->codePage);
  stamp.buildNumber = stampValue(data, block, "BuildNumber");
  stamp.version = stampValue(data, block, "Version");
  return stamp;
}

std::string writeAgentKey(const CMesquiteRegistry& registry, const AgentKeyFacts& facts,
                          const std::string& account, const std::string& password) {
  const std::string keyName = agentKeyName(facts.code);
  std::vector<AgentValue> values = agentKeyValues(facts);
  for (const AgentValue& value : values) {
    if (value.kind == AgentValue::Kind::kText && value.text.size() > kMaxStoredText) {
      return "the value " + value.name + " of " + keyName + " would be longer than " +
             std::to_string(kMaxStoredText) + " characters";
    }
  }
  std::string secret;
  if (!registry.isRemote()) {
    DWORD rc = encipherAccount(account, password, &secret);
    if (rc != ERROR_SUCCESS)
      return failure("the account of " + keyName + " cannot be enciphered", rc);
  }
  UniqueKey key;
  LONG rc = registry.createSecretKey(keyName, &key);
  if (rc != ERROR_SUCCESS) return failure("cannot create " + registry.fullName(keyName), rc);
  setupTrace(0, "lpProdRootKey = %s", registry.productRoot().c_str());
  std::string written;  // the names in the order they went in, for the trace
  for (const AgentValue& value : values) {
    switch (value.kind) {
      case AgentValue::Kind::kText:
        rc = CMesquiteRegistry::setText(key.get(), value.name.c_str(), value.text);
        break;
      case AgentValue::Kind::kNumber:
        rc = CMesquiteRegistry::setNumber(key.get(), value.name.c_str(), value.number);
        break;
      case AgentValue::Kind::kBytes:
        if (registry.isRemote()) {
          setupTrace(0, "%s: no Es on a remote machine; enter the account on that machine",
                     keyName.c_str());
          continue;
        }
        rc = CMesquiteRegistry::setBytes(key.get(), value.name.c_str(), secret);
        break;
    }
    if (rc != ERROR_SUCCESS) return failure("cannot write " + value.name + " of " + keyName, rc);
    written += " " + value.name;
  }
  setupTrace(0, "Agent key %s written for %s:%s", keyName.c_str(), account.c_str(),
             written.c_str());
  traceReaders(keyName, key.get());
  return "";
}

std::string rewriteAgentKeys(const CMesquiteRegistry& registry, const std::string& agentFolder,
                             const VersionStamp& stamp, DWORD prodSubType, int* count) {
  *count = 0;
  AgentKeyFacts facts;
  facts.agentFolder = agentFolder;
  facts.buildNumber = stamp.buildNumber;
  facts.version = stamp.version;
  facts.prodSubType = prodSubType;
  // The same texts a fresh key gets, defaults included.
  std::vector<AgentValue> fresh = agentKeyValues(facts);
  for (const std::string& name : registry.subKeys(kAgentsKey)) {
    if (!isOwnAgentKey(name)) continue;
    UniqueKey key;
    const std::string keyName = std::string(kAgentsKey) + "\\" + name;
    LONG rc = registry.createSecretKey(keyName, &key);
    if (rc != ERROR_SUCCESS) return failure("cannot open agent key " + name, rc);
    upgradeAccountSecret(keyName, key.get());
    for (const AgentValue& value : fresh) {
      if (value.name == "Dll" || value.name == "Version" || value.name == "BuildNumber") {
        rc = CMesquiteRegistry::setText(key.get(), value.name.c_str(), value.text);
        if (rc != ERROR_SUCCESS) return failure("cannot write " + value.name + " of " + name, rc);
      }
    }
    rc = CMesquiteRegistry::setNumber(key.get(), "ProdSubType", prodSubType);
    if (rc != ERROR_SUCCESS) return failure("cannot write ProdSubType of " + name, rc);
    setupTrace(0, "Agent key %s rewritten for %s", name.c_str(), agentFolder.c_str());
    traceReaders(keyName, key.get());
    ++*count;
  }
  return "";
}

std::string secureAgentKeys(const CMesquiteRegistry& registry) {
  for (const std::string& name : registry.subKeys(kAgentsKey)) {
    if (!isOwnAgentKey(name)) continue;
    UniqueKey key;
    const std::string keyName = std::string(kAgentsKey) + "\\" + name;
    LONG rc = registry.createSecretKey(keyName, &key);
    if (rc != ERROR_SUCCESS) return failure("cannot protect agent key " + name, rc);
    upgradeAccountSecret(keyName, key.get());
    traceReaders(keyName, key.get());
  }
  return "";
}

std::string readAgentAccount(const CMesquiteRegistry& registry, const std::string& code,
                             std::string* name, std::string* password) {
  UniqueKey key;
  const std::string keyName = agentKeyName(code);
  LONG rc = registry.openKey(keyName, &key);
  if (rc != ERROR_SUCCESS) return failure("no agent key " + keyName, rc);
  std::string secret;
  rc = CMesquiteRegistry::readBytes(key.get(), "Es", &secret, kMaxEnciphered);
  if (rc != ERROR_SUCCESS) return failure("no account in " + keyName, rc);
  DWORD error = decipherAccount(secret, name, password);
  return error == ERROR_SUCCESS ? ""
                                : failure("the account of " + keyName + " does not decipher",
                                          static_cast<LONG>(error));
}

std::string writeAgentFolder(const CMesquiteRegistry& registry, const std::string& folder) {
  UniqueKey key;
  LONG rc = registry.createKey(kPathKey, &key);
  if (rc == ERROR_SUCCESS) rc = CMesquiteRegistry::setText(key.get(), kPathValue, folder);
  return rc == ERROR_SUCCESS ? "" : failure("cannot write " + std::string(kPathValue), rc);
}

std::string registerProductDescriptors(const CMesquiteRegistry& registry, const std::string& folder,
                                       const std::string& version) {
  for (const char* descriptor : {kProductDescriptor, kOwnProductDescriptor}) {
    UniqueKey key;
    LONG rc = registry.createKey(std::string(kDescriptorsKey) + "\\" + descriptor, &key);
    if (rc == ERROR_SUCCESS) rc = CMesquiteRegistry::setText(key.get(), "Path", folder);
    if (rc == ERROR_SUCCESS) rc = CMesquiteRegistry::setText(key.get(), "Version", version);
    if (rc != ERROR_SUCCESS) return failure("cannot register " + std::string(descriptor), rc);
  }
  return "";
}

std::string removeAgentRegistration(const CMesquiteRegistry& registry, MSIHANDLE install) {
  setupTrace(install, "Removing product descriptor");
  for (const char* descriptor : {kProductDescriptor, kOwnProductDescriptor}) {
    LONG rc = registry.deleteTree(std::string(kDescriptorsKey) + "\\" + descriptor);
    if (rc != ERROR_SUCCESS) return failure("cannot remove " + std::string(descriptor), rc);
  }
  registry.deleteIfEmpty(kDescriptorsKey);
  setupTrace(install, "Remove Registry Key Start.");
  for (const std::string& name : registry.subKeys(kAgentsKey)) {
    if (!isOwnAgentKey(name)) continue;
    LONG rc = registry.deleteTree(std::string(kAgentsKey) + "\\" + name);
    if (rc != ERROR_SUCCESS) return failure("cannot remove agent key " + name, rc);
  }
  UniqueKey path;
  if (registry.openKey(kPathKey, &path) == ERROR_SUCCESS) {
    path.reset();
    UniqueKey writable;
    if (registry.createKey(kPathKey, &writable) == ERROR_SUCCESS) {
      RegDeleteValueA(writable.get(), kPathValue);  // absent already is as good
    }
  }
  // Another database agent of the product keeps a key below "agent"; then DSAgent stays.
  const bool othersRemain = !registry.subKeys(kAgentsKey).empty();
  if (!othersRemain) {
    LONG rc = registry.deleteTree(kDsAgentKey);
    if (rc != ERROR_SUCCESS) return failure("cannot remove DSAgent", rc);
    setupTrace(install, "DSAgent removed: no other database agent remains");
  } else {
    registry.deleteIfEmpty(kPathKey);
    setupTrace(install, "DSAgent kept: another database agent remains");
  }
  if (registry.deleteIfEmpty("")) {
    setupTrace(install, "%s removed: it was empty", registry.productRoot().c_str());
  }
  setupTrace(install, "Remove Registry Key ended.");
  return "";
}

}  // namespace ferry::setup
