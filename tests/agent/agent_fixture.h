// A copy of the testbed agent library in a folder of the test's own (C:\ferrytest\ag_<case>),
// loaded from there, with its FerryTest exports bound; and the agent settings key of an
// installation code of the test's own.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "connection_record.h"

namespace ferry::test {

using agent::ConnectionRecord;

struct AgentApi {
  ConnectionRecord* (*CreateRecord)(const char*, int) = nullptr;
  void (*DestroyRecord)(ConnectionRecord*) = nullptr;
  int (*RecordSize)() = nullptr;
  int (*AllocateConnection)() = nullptr;
  void (*ReleaseConnection)(int) = nullptr;
  ConnectionRecord* (*FindConnection)(int) = nullptr;
  int (*SlotMapHandles)() = nullptr;
  void (*Trace)(ConnectionRecord*, const char*, ...) = nullptr;
  void (*TraceBanner)(ConnectionRecord*, const char*, int) = nullptr;
  int (*LogAct)(ConnectionRecord*, int, ...) = nullptr;
  int (*MessageText)(unsigned, char*, int) = nullptr;
  int (*HasMessageLibrary)() = nullptr;
  int (*GetDestDir)() = nullptr;
  const char* (*AgentDirectory)() = nullptr;
  const char* (*SavedPath)() = nullptr;
  int (*CatalogBound)(int) = nullptr;
  const char* (*RegistryRoot)() = nullptr;
  DWORD (*ReadAgentSetting)(const char*, const char*, const char*, DWORD) = nullptr;
  int (*GetBuildNumber)(char*, DWORD) = nullptr;
  int (*SetAllPrivilege)() = nullptr;
  const char* (*SharedErrorText)() = nullptr;
  DWORD (*ActAsAccount)(ConnectionRecord*, const char*, int) = nullptr;
  DWORD (*RevertToSelf)() = nullptr;
  DWORD (*CurrentUserName)(char*, DWORD*) = nullptr;
};

// A file to place beside the agent copy: source in bin\testbed (or bin\), name in the folder.
struct Companion {
  std::string source;
  std::string name;
};

std::vector<Companion> catalogCompanions();  // sounder26.dll and sounder30.dll

class AgentCopy {
 public:
  // Makes C:\ferrytest\ag_<caseName> afresh with the testbed library as `fileName` and the
  // companions beside it.
  AgentCopy(const std::string& caseName, const std::vector<Companion>& companions,
            const std::string& fileName = "ferryman.dll");
  ~AgentCopy();
  AgentCopy(const AgentCopy&) = delete;
  AgentCopy& operator=(const AgentCopy&) = delete;

  // "" or what could not be copied.
  const std::string& setupError() const { return setupError_; }
  // LoadLibrary of the copy: 0, or the system error of the failed load.
  DWORD load();
  void unload();
  // "" or the FerryTest names that did not bind.
  std::string bind();

  const std::string& folder() const { return folder_; }
  std::string path(const std::string& name) const { return folder_ + "\\" + name; }
  HMODULE module() const { return module_; }
  const AgentApi& api() const { return api_; }

 private:
  std::string folder_;
  std::string fileName_;
  std::string setupError_;
  HMODULE module_ = nullptr;
  AgentApi api_;
};

// HKLM\<root>\DSAgent\CurrentVersion\agent\ferryman@<code>, removed at both ends of the test.
class ScopedAgentSettings {
 public:
  explicit ScopedAgentSettings(const std::string& code);
  ~ScopedAgentSettings();
  ScopedAgentSettings(const ScopedAgentSettings&) = delete;
  ScopedAgentSettings& operator=(const ScopedAgentSettings&) = delete;
  // 0 or the registry error.
  LONG setDebug(DWORD value);
  LONG setBuildNumber(const std::string& text);
  const std::string& keyName() const { return keyName_; }

 private:
  LONG setValue(const char* name, DWORD type, const void* data, DWORD size);
  std::string keyName_;
};

std::string readWholeFile(const std::string& path);
bool fileExists(const std::string& path);

}  // namespace ferry::test
