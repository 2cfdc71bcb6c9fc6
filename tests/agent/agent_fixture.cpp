#include "agent_fixture.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "registry_root.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

std::string companionSource(const std::string& source) {
  std::string testbed = binDir() + "\\testbed\\" + source;
  if (GetFileAttributesA(testbed.c_str()) != INVALID_FILE_ATTRIBUTES) return testbed;
  return binDir() + "\\" + source;
}

template <typename Fn>
bool bindExport(HMODULE module, const char* name, Fn& target) {
  target = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return target != nullptr;
}

}  // namespace

std::vector<Companion> catalogCompanions() {
  return {{"sounder26.dll", "sounder26.dll"}, {"sounder30.dll", "sounder30.dll"}};
}

std::vector<Companion> agentCompanions() {
  std::vector<Companion> companions = catalogCompanions();
  companions.push_back({"ferryres.dll", "ferryres.dll"});
  return companions;
}

ScopedTestDirectory::ScopedTestDirectory() {
  char directory[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof directory, directory);
  saved_ = directory;
  CreateDirectoryA("C:\\ferrytest", nullptr);  // usually there already
  SetCurrentDirectoryA("C:\\ferrytest");
}

ScopedTestDirectory::~ScopedTestDirectory() { SetCurrentDirectoryA(saved_.c_str()); }

AgentCopy::AgentCopy(const std::string& caseName, const std::vector<Companion>& companions,
                     const std::string& fileName)
    : folder_("C:\\ferrytest\\ag_" + caseName), fileName_(fileName) {
  removeTree(folder_);
  CreateDirectoryA("C:\\ferrytest", nullptr);  // usually there already
  if (!CreateDirectoryA(folder_.c_str(), nullptr)) {
    setupError_ = "cannot create " + folder_ + ": error " + std::to_string(GetLastError());
    return;
  }
  std::vector<Companion> files = companions;
  files.push_back({"ferryman.dll", fileName});
  for (const Companion& file : files) {
    std::string from = file.source == "ferryman.dll" ? binDir() + "\\testbed\\ferryman.dll"
                                                     : companionSource(file.source);
    if (!CopyFileA(from.c_str(), path(file.name).c_str(), /*failIfExists=*/FALSE)) {
      setupError_ += "cannot copy " + from + ": error " + std::to_string(GetLastError()) + "; ";
    }
  }
}

AgentCopy::~AgentCopy() {
  unload();
  removeTree(folder_);
}

DWORD AgentCopy::load() {
  SetLastError(0xdeadbeef);
  module_ = LoadLibraryA(path(fileName_).c_str());
  return module_ != nullptr ? 0 : GetLastError();
}

void AgentCopy::unload() {
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
  api_ = AgentApi{};
}

std::string AgentCopy::bind() {
  std::string missing;
  auto need = [&](const char* name, auto& target) {
    if (!bindExport(module_, name, target)) missing += std::string(" ") + name;
  };
  need("FerryTestCreateRecord", api_.CreateRecord);
  need("FerryTestDestroyRecord", api_.DestroyRecord);
  need("FerryTestRecordSize", api_.RecordSize);
  need("FerryTestAllocateConnection", api_.AllocateConnection);
  need("FerryTestReleaseConnection", api_.ReleaseConnection);
  need("FerryTestFindConnection", api_.FindConnection);
  need("FerryTestSlotMapHandles", api_.SlotMapHandles);
  need("FerryTestTrace", api_.Trace);
  need("FerryTestTraceBanner", api_.TraceBanner);
  need("FerryTestLogAct", api_.LogAct);
  need("FerryTestMessageText", api_.MessageText);
  need("FerryTestHasMessageLibrary", api_.HasMessageLibrary);
  need("FerryTestGetDestDir", api_.GetDestDir);
  need("FerryTestAgentDirectory", api_.AgentDirectory);
  need("FerryTestSavedPath", api_.SavedPath);
  need("FerryTestCatalogBound", api_.CatalogBound);
  need("FerryTestRegistryRoot", api_.RegistryRoot);
  need("FerryTestReadAgentSetting", api_.ReadAgentSetting);
  need("FerryTestGetBuildNumber", api_.GetBuildNumber);
  need("FerryTestSetAllPrivilege", api_.SetAllPrivilege);
  need("FerryTestSharedErrorText", api_.SharedErrorText);
  need("FerryTestActAsAccount", api_.ActAsAccount);
  need("FerryTestRevertToSelf", api_.RevertToSelf);
  need("FerryTestCurrentUserName", api_.CurrentUserName);
  return missing;
}

ScopedAgentSettings::ScopedAgentSettings(const std::string& code)
    : keyName_(std::string(kProductRegistryRoot) + "\\DSAgent\\CurrentVersion\\agent\\ferryman@" +
               code) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, keyName_.c_str());  // leftovers of an interrupted run
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyName_.c_str());
}

ScopedAgentSettings::~ScopedAgentSettings() {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, keyName_.c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyName_.c_str());
}

LONG ScopedAgentSettings::setValue(const char* name, DWORD type, const void* data, DWORD size) {
  UniqueKey key;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName_.c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.put(), nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  return RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), size);
}

LONG ScopedAgentSettings::setDebug(DWORD value) {
  return setValue("debug", REG_DWORD, &value, sizeof value);
}

LONG ScopedAgentSettings::setBuildNumber(const std::string& text) {
  return setValue("BuildNumber", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

LONG ScopedAgentSettings::setDll(const std::string& path) {
  return setValue("dll", REG_SZ, path.c_str(), static_cast<DWORD>(path.size() + 1));
}

LONG ScopedAgentSettings::setText(const char* name, const std::string& text) {
  return setValue(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

std::vector<std::string> filesBelow(const std::string& folder) {
  std::vector<std::string> files;
  WIN32_FIND_DATAA entry;
  UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &entry));
  if (!find) return files;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      std::vector<std::string> below = filesBelow(path);
      files.insert(files.end(), below.begin(), below.end());
    } else {
      files.push_back(path);
    }
  } while (FindNextFileA(find.get(), &entry));
  return files;
}

std::vector<std::string> filesMatching(const std::string& pattern) {
  std::vector<std::string> files;
  const std::string folder = pattern.substr(0, pattern.find_last_of('\\') + 1);
  WIN32_FIND_DATAA entry;
  UniqueFind find(FindFirstFileA(pattern.c_str(), &entry));
  if (!find) return files;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      files.push_back(folder + entry.cFileName);
    }
  } while (FindNextFileA(find.get(), &entry));
  return files;
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool fileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {
constexpr char kMachineEnvironment[] =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
}  // namespace

std::string machineEnvironmentValue(const char* name) {
  char buffer[4096];
  DWORD size = sizeof buffer;
  LONG rc =
      RegGetValueA(HKEY_LOCAL_MACHINE, kMachineEnvironment, name,
                   RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer, &size);
  return rc == ERROR_SUCCESS ? buffer : "<missing>";
}

void setMachineEnvironmentValue(const char* name, const std::string& value) {
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMachineEnvironment, 0, KEY_WRITE, key.put()) != 0) return;
  if (value == "<missing>") {
    RegDeleteValueA(key.get(), name);
  } else {
    RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
  }
}

std::string processEnvironmentValue(const char* name) {
  std::vector<char> buffer(40000);
  DWORD length = GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return "<unset>";
  return std::string(buffer.data(), length);
}

void restoreProcessEnvironmentValue(const char* name, const std::string& value) {
  SetEnvironmentVariableA(name, value == "<unset>" ? nullptr : value.c_str());
  _putenv((std::string(name) + "=" + (value == "<unset>" ? "" : value)).c_str());
}

ingsim::InstallationOptions installationOptions(const std::string& code, int majorVersion) {
  ingsim::InstallationOptions options;
  options.code = code;
  options.majorVersion = majorVersion;
  return options;
}

TestInstallation::TestInstallation(ingsim::InstallationOptions options)
    : code_(options.code),
      root_(options.root.empty() ? "C:\\ferrytest\\" + options.code : options.root) {
  options.root = root_;
  options.addToMachinePath = false;
  options.overwrite = true;
  ingsim::removeInstallation(code_);  // leftovers of an interrupted run
  removeTree(root());
  error_ = ingsim::createInstallation(options);
}

TestInstallation::~TestInstallation() {
  ingsim::removeInstallation(code_);
  // A test may have removed the registry key that names the root: remove the folder itself.
  removeTree(root());
}

void removeAgentInstallation(std::unique_ptr<TestInstallation>* installation) {
  if (!*installation) return;
  const TestInstallation& made = **installation;
  const std::string ingunset = made.bin() + "\\ingunset.exe";
  for (int i = 0; i < 50 && !DeleteFileA(ingunset.c_str()); ++i) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) break;
    Sleep(200);
  }
  for (const char* stem : {"env", "ingprenv", "infodb"}) {
    const std::string pattern = std::string("C:\\") + stem + made.code() + "*.out";
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA(pattern.c_str(), &entry));
    if (!find) continue;
    do {
      DeleteFileA((std::string("C:\\") + entry.cFileName).c_str());
    } while (FindNextFileA(find.get(), &entry));
  }
  installation->reset();
}

std::string kernelObjectDacl(HANDLE object) {
  PACL dacl = nullptr;
  UniqueLocalMemory<void> descriptor;
  DWORD rc = GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                             &dacl, nullptr, descriptor.put());
  if (rc != ERROR_SUCCESS) return "<error " + std::to_string(rc) + ">";
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor.get(), &control, &revision);
  std::string text = (control & SE_DACL_PROTECTED) != 0 ? "P" : "-";
  for (DWORD index = 0; dacl != nullptr && index < dacl->AceCount; ++index) {
    void* entry = nullptr;
    if (!GetAce(dacl, index, &entry)) return "<no entry " + std::to_string(index) + ">";
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    UniqueLocalMemory<char> sid;
    ConvertSidToStringSidA(&ace->SidStart, sid.put());
    const std::string name = sid ? sid.get() : "?";
    text += " " + (name == "S-1-5-18" ? "SY" : name == "S-1-5-32-544" ? "BA" : name);
  }
  return text;
}

std::string agentObjectDacl() {
  UniqueHandleNull token;
  std::vector<BYTE> user(256);
  DWORD size = static_cast<DWORD>(user.size());
  UniqueLocalMemory<char> sid;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
      !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size) ||
      !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, sid.put())) {
    return "<no user: error " + std::to_string(GetLastError()) + ">";
  }
  return std::string("P SY BA ") + sid.get();
}

ForeignSecurity::ForeignSecurity() {
  // An account of a domain that is not this machine's.
  ConvertStringSecurityDescriptorToSecurityDescriptorA("O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)",
                                                       SDDL_REVISION_1,
                                                       &attributes_.lpSecurityDescriptor, nullptr);
}

ForeignSecurity::~ForeignSecurity() {
  UniqueLocalMemory<void> descriptor(attributes_.lpSecurityDescriptor);
}

ScopedAccount::ScopedAccount(const ingsim::Account& account) : name_(account.name) {
  ingsim::removeAccount(name_);  // "does not exist" is the normal case
  error_ = ingsim::addAccount(account);
}

ScopedAccount::~ScopedAccount() { ingsim::removeAccount(name_); }

}  // namespace ferry::test
