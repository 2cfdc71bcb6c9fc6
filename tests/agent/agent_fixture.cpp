#include "agent_fixture.h"

#include <fstream>
#include <sstream>

#include "registry_root.h"
#include "support/win_process.h"

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
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName_.c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  return rc;
}

LONG ScopedAgentSettings::setDebug(DWORD value) {
  return setValue("debug", REG_DWORD, &value, sizeof value);
}

LONG ScopedAgentSettings::setBuildNumber(const std::string& text) {
  return setValue("BuildNumber", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
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

}  // namespace ferry::test
