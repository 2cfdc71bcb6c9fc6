// A copy of the testbed agent library in a folder of the test's own (C:\ferrytest\ag_<case>),
// loaded from there, with its FerryTest exports bound; and the agent settings key of an
// installation code of the test's own.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "connection/connection_record.h"
#include "ingsim/installation.h"

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
std::vector<Companion> agentCompanions();    // those and ferryres.dll (the texts)

// C:\ferrytest as the current directory while it lives, the earlier one afterwards: whatever
// a utility writes relative to the current drive lands on C: and not on the root of the Linux
// file system.
class ScopedTestDirectory {
 public:
  ScopedTestDirectory();
  ~ScopedTestDirectory();
  ScopedTestDirectory(const ScopedTestDirectory&) = delete;
  ScopedTestDirectory& operator=(const ScopedTestDirectory&) = delete;

 private:
  std::string saved_;
};

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
  // The "dll" value: the agent library's path, whose folder the extractor traces into.
  LONG setDll(const std::string& path);
  LONG setText(const char* name, const std::string& text);
  const std::string& keyName() const { return keyName_; }

 private:
  LONG setValue(const char* name, DWORD type, const void* data, DWORD size);
  std::string keyName_;
};

std::string readWholeFile(const std::string& path);
bool fileExists(const std::string& path);
// Every file below `folder`, at all depths, as full paths in name order.
std::vector<std::string> filesBelow(const std::string& folder);
// The files (not folders) that match `pattern` ("C:\\*", "<folder>\\*.out"), as full paths.
std::vector<std::string> filesMatching(const std::string& pattern);

// The machine environment (HKLM ...\Session Manager\Environment): a value as text, "<missing>"
// when absent; setting "<missing>" deletes it.
std::string machineEnvironmentValue(const char* name);
void setMachineEnvironmentValue(const char* name, const std::string& value);

// This process's environment: a variable as text, "<unset>" when absent; restoring "<unset>"
// removes it. Both the Win32 environment and the C runtime's copy are set.
std::string processEnvironmentValue(const char* name);
void restoreProcessEnvironmentValue(const char* name, const std::string& value);

// Options for an installation of the test's own: the code and major version; the root is set by
// TestInstallation.
ingsim::InstallationOptions installationOptions(const std::string& code, int majorVersion = 2);

// An installation of the test's own at C:\ferrytest\<code> (or at the options' root when they
// name one), not on the machine Path; leftovers of an interrupted run are replaced, and
// everything is removed at the end.
class TestInstallation {
 public:
  explicit TestInstallation(ingsim::InstallationOptions options);
  ~TestInstallation();
  TestInstallation(const TestInstallation&) = delete;
  TestInstallation& operator=(const TestInstallation&) = delete;
  // "" or what could not be made.
  const std::string& error() const { return error_; }
  const std::string& code() const { return code_; }
  std::string root() const { return root_; }
  std::string bin() const { return root() + "\\ingres\\bin"; }

 private:
  std::string code_;
  std::string root_;
  std::string error_;
};

// Removes an installation that agent connections used. Disconnecting starts ingunset and does
// not wait for it, and a running program cannot be deleted: this waits (at most 10 s) until it
// can be, or the installation's folder would stay. Output that earlier agents' captured runs
// left on the root of C: (env<code>.out, ingprenv<code>.out, infodb<code><db>.out) goes too.
void removeAgentInstallation(std::unique_ptr<TestInstallation>* installation);

// The DACL of a kernel object as "P SY BA S-1-5-..." ("P" when it is protected, then the SID of
// each entry that allows, in order, as SDDL writes it); "<error N>" when it cannot be read.
std::string kernelObjectDacl(HANDLE object);
// What the agent's kernel objects carry: protected; SYSTEM, the Administrators and this
// process's own account.
std::string agentObjectDacl();

// Security attributes of an object that another account made first: its owner an account of
// no one here (Wine lets a test name any owner), everyone let in.
class ForeignSecurity {
 public:
  ForeignSecurity();
  ~ForeignSecurity();
  ForeignSecurity(const ForeignSecurity&) = delete;
  ForeignSecurity& operator=(const ForeignSecurity&) = delete;
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  SECURITY_ATTRIBUTES attributes_ = {sizeof attributes_, nullptr, FALSE};
};

// A simulated account for the test's duration (a leftover of the same name is replaced).
class ScopedAccount {
 public:
  explicit ScopedAccount(const ingsim::Account& account);
  ~ScopedAccount();
  ScopedAccount(const ScopedAccount&) = delete;
  ScopedAccount& operator=(const ScopedAccount&) = delete;
  const std::string& error() const { return error_; }

 private:
  std::string name_;
  std::string error_;
};

}  // namespace ferry::test
