#include "installation/installation_environment.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/installation_text.h"
#include "core/line_format.h"
#include "installation/captured_run.h"
#include "library/agent_state.h"
#include "logs/trace.h"
#include "registry_view.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

constexpr const char* kInstallationKeyFormats[] = {
    "SOFTWARE\\Norvane\\IngresII\\%s_Installation",
    "SOFTWARE\\Norvane\\Ingres\\%s_Installation",
    "SOFTWARE\\IngresCorporation\\Ingres\\%s_Installation",
};
constexpr const char kMachineEnvironmentKey[] =
    "System\\CurrentControlSet\\Control\\Session Manager\\Environment";

// Sets the variable both for Win32 and for the C runtime's own copy of the environment.
void setAgentVariable(const char* name, const char* value) {
  SetEnvironmentVariableA(name, value);
  std::string assignment = std::string(name) + "=" + value;
  _putenv(assignment.c_str());
}

void broadcastSettingChange(bool* failed) {
  *failed = !PostMessageA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, 0);
}

// The first read of a freshly ended utility may find the file not yet flushed: one retry after
// a second.
bool readFirstLine(ConnectionRecord* ci, FILE* file, char* line, int size, const char* emptyText) {
  if (std::fgets(line, size, file) != nullptr) return true;
  if (emptyText != nullptr) trace(ci, "%s", emptyText);
  Sleep(1000);
  std::clearerr(file);
  if (std::fgets(line, size, file) != nullptr) return true;
  if (emptyText != nullptr) trace(ci, "%s", emptyText);
  return false;
}

// Opens the first installation key that exists; false when none does.
bool openInstallationKey(ConnectionRecord* ci, UniqueKey* key) {
  for (size_t i = 0; i < std::size(kInstallationKeyFormats); ++i) {
    char keyName[256];
    formatMessage(keyName, sizeof keyName, kInstallationKeyFormats[i],
                  ci->installation.installationCode);
    if (i == 0) {
      trace(ci, "%s():installation key name=%s", "SetIISYSTEM", keyName);
      trace(ci, "SetIISYSTEM(): reading the %s registry view", registryViewName());
    }
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, key->put()) == ERROR_SUCCESS) {
      if (i == 2) trace(ci, "SetIISYSTEM(): open %s successfully.", keyName);
      return true;
    }
    key->reset();
    trace(ci, "SetIISYSTEM(): can not open %s.", keyName);
  }
  return false;
}

void recordRoot(ConnectionRecord* ci, const char* root) {
  formatMessage(ci->installation.iiSystem, sizeof ci->installation.iiSystem, "%s", root);
  composeInstallationPath(ci->installation.pathValue, sizeof ci->installation.pathValue,
                          ci->installation.iiSystem, savedPath());
}

// Steps with a registered key: the root from it, published machine-wide.
int rootFromKey(ConnectionRecord* ci, HKEY key) {
  char root[260] = {};
  DWORD size = sizeof root - 1;  // keeps room for a NUL the stored value may lack
  DWORD type = 0;
  LONG rc =
      RegQueryValueExA(key, "II_SYSTEM", nullptr, &type, reinterpret_cast<BYTE*>(root), &size);
  if (rc != ERROR_SUCCESS) {
    trace(ci, "SetIISYSTEM(): can not query II_SYSTEM.");
    return static_cast<int>(resultFromWin32(static_cast<DWORD>(rc)));
  }
  root[size < sizeof root ? size : sizeof root - 1] = '\0';
  recordRoot(ci, root);
  trace(ci, "SetIISYSTEM():installPath=%s,varPath=%s", ci->installation.iiSystem,
        ci->installation.pathValue);

  UniqueKey environment;
  rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMachineEnvironmentKey, 0, KEY_WRITE, environment.put());
  if (rc != ERROR_SUCCESS) {
    trace(ci, "SetIISYSTEM(): can not open %s.", kMachineEnvironmentKey);
    return static_cast<int>(resultFromWin32(static_cast<DWORD>(rc)));
  }
  rc = RegSetValueExA(environment.get(), "II_SYSTEM", 0, REG_SZ,
                      reinterpret_cast<const BYTE*>(ci->installation.iiSystem),
                      static_cast<DWORD>(std::strlen(ci->installation.iiSystem) + 1));
  if (rc != ERROR_SUCCESS) {
    trace(ci, "SetIISYSTEM(): can not change system environment II_SYSTEM.");
    return static_cast<int>(resultFromWin32(static_cast<DWORD>(rc)));
  }
  return 0;
}

// Fills the connection's variable cache from ingprenv's listing.
int loadVariables(ConnectionRecord* ci) {
  CapturedRun run;
  if (DWORD prepared = prepareCapturedRun(ci, CapturedUtility::VariableListing, nullptr,
                                          ci->account.hAccessToken.get(), &run);
      prepared != 0) {
    return static_cast<int>(prepared);
  }
  DWORD result = runCapturedUtility(ci, run);
  if (result != 0) return static_cast<int>(result);

  errno = 0;
  UniqueStdioFile file = openCapturedOutput(run);
  if (file.get() == nullptr) return static_cast<int>(resultFromErrno(errno));
  char line[kUtilityLineSize];
  if (!readFirstLine(ci, file.get(), line, sizeof line, "SetIISYSTEM(): fgets() failed.")) {
    return 0;
  }
  size_t next = 0;
  do {
    // Lines past the cache's 32 entries are not kept: the table never grows.
    if (next >= kVariableCacheEntries) break;
    if (parseVariableLine(line, ci->installation.envNames[next],
                          sizeof ci->installation.envNames[next], ci->installation.envValues[next],
                          sizeof ci->installation.envValues[next])) {
      if (ci->installation.envNames[next][0] != '\0') ++next;
    }
  } while (std::fgets(line, sizeof line, file.get()) != nullptr);
  return 0;
}

}  // namespace

int SetIISYSTEM(OIConnInfo* connInfo) {
  if (connInfo == nullptr || connInfo->record == nullptr) return DSA_ERROR_ARGUMENT_MISSING;
  ConnectionRecord* ci = connInfo->record;
  trace(ci, "%s(): entered", "SetIISYSTEM");

  UniqueKey key;
  if (openInstallationKey(ci, &key)) {
    int result = rootFromKey(ci, key.get());
    if (result != 0) return result;
  } else {
    char root[260];
    DWORD length = GetEnvironmentVariableA("II_SYSTEM", root, sizeof root);
    if (length == 0 || length >= sizeof root) {
      // Neither the registry nor the environment names the installation: there is no root to
      // run its utilities from.
      trace(ci, "SetIISYSTEM(): no installation key and no II_SYSTEM in the environment.");
      return static_cast<int>(resultFromWin32(ERROR_ENVVAR_NOT_FOUND));
    }
    recordRoot(ci, root);
    trace(ci, "SetIISYSTEM(): find Ingres version is lower than 2.6. II_SYSTEM is %s.",
          ci->installation.iiSystem);
  }

  bool postFailed = false;
  broadcastSettingChange(&postFailed);
  if (postFailed) {
    // Without a broadcast (as under Wine) no one else refreshes the agent's own environment.
    setAgentVariable("II_SYSTEM", ci->installation.iiSystem);
    setAgentVariable("PATH", ci->installation.pathValue);
    trace(ci, "%s(): successfully set II_SYSTEM = %s", "SetIISYSTEM", ci->installation.iiSystem);
  }

  if (ci->installation.envNames[0][0] == '\0') {
    int result = loadVariables(ci);
    if (result != 0) return result;
  }
  for (size_t i = 0; i < kVariableCacheEntries; ++i) {
    if (ci->installation.envNames[i][0] == '\0') continue;
    trace(ci, "SetIISYSTEM(): %s = %s", ci->installation.envNames[i],
          ci->installation.envValues[i]);
    SetEnvironmentVariableA(ci->installation.envNames[i], ci->installation.envValues[i]);
  }

  broadcastSettingChange(&postFailed);
  if (postFailed) trace(ci, "SetIISYSTEM(): successfully set ingprenv vars!");
  return 0;
}

int getOpIngresVarValue(OIConnInfo* connInfo, const char* name, char* value) {
  if (connInfo == nullptr || connInfo->record == nullptr || name == nullptr)
    return DSA_ERROR_ARGUMENT_MISSING;
  ConnectionRecord* ci = connInfo->record;
  constexpr const char* routine = "getOpIngresVarValue";
  trace(ci, "%s(): Entered.  var_name=%s", routine, name);
  for (size_t i = 0; i < kVariableCacheEntries; ++i) {
    if (std::strcmp(ci->installation.envNames[i], name) == 0) {
      formatMessage(value, kVariableTextSize, "%s", ci->installation.envValues[i]);
      trace(ci, "%s(): returned .  value=%s", routine, value);
      return 0;
    }
  }

  // Always as the agent's own account.
  CapturedRun run;
  if (DWORD prepared =
          prepareCapturedRun(ci, CapturedUtility::VariableValue, name, /*token=*/nullptr, &run);
      prepared != 0) {
    return static_cast<int>(prepared);
  }
  DWORD result = runCapturedUtility(ci, run);
  if (result != 0) return static_cast<int>(result);

  errno = 0;
  UniqueStdioFile file = openCapturedOutput(run);
  if (file.get() == nullptr) {
    trace(ci, "%s(): fopen() failed. Error = %d", routine, errno);
    return static_cast<int>(resultFromErrno(errno));
  }
  char line[kUtilityLineSize];
  if (std::fgets(line, sizeof line, file.get()) == nullptr) {
    trace(ci, "%s(): Error reading output of the ingprenv. Errno=%d", routine, errno);
    return 1;
  }
  size_t length = std::strlen(line);
  if (length > 0 && line[length - 1] == '\n') line[length - 1] = '\0';
  formatMessage(value, kVariableTextSize, "%s", line);
  return 0;
}

int getOpIngresInfodbInfo(OIConnInfo* connInfo, const char* dbName, void* /*ignored*/,
                          HANDLE token) {
  if (connInfo == nullptr || connInfo->record == nullptr || dbName == nullptr)
    return DSA_ERROR_ARGUMENT_MISSING;
  ConnectionRecord* ci = connInfo->record;
  constexpr const char* routine = "getOpIngresInfodbInfo";
  trace(ci, "%s() : Entered.", routine);
  trace(ci, "%s() : dbname = %s .", routine, dbName);

  CapturedRun run;
  if (DWORD prepared = prepareCapturedRun(ci, CapturedUtility::JournalReport, dbName, token, &run);
      prepared != 0) {
    return static_cast<int>(prepared);
  }
  DWORD result = runCapturedUtility(ci, run);
  if (result != 0) return static_cast<int>(result);

  errno = 0;
  UniqueStdioFile file = openCapturedOutput(run);
  if (file.get() == nullptr) {
    trace(ci, "%s(): fopen() failed. Error = %d", routine, errno);
    return static_cast<int>(resultFromErrno(errno));
  }
  JournalSequenceScan scan;
  char line[kUtilityLineSize];
  if (readFirstLine(ci, file.get(), line, sizeof line, nullptr)) {
    do {
      scan.feed(line);
    } while (!scan.found() && std::fgets(line, sizeof line, file.get()) != nullptr);
  }
  // A report without the number leaves 0, never the number of an earlier database.
  ci->backup.currentJournalNumber = scan.number();
  if (ci->backup.currentJournalNumber == 0) {
    trace(ci, "getOpIngresInfordbInfo(): can NOT get current active journal number.");
  }
  return 0;
}

}  // namespace ferry::agent
