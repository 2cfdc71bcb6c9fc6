#include "testbed/testbed_exports.h"

#include <cstdarg>
#include <cstring>
#include <new>
#include <string>

#include "account/account_layer.h"
#include "account/act_as_account.h"
#include "account/child_process.h"
#include "account/privileges.h"
#include "catalog_binding/catalog_binding.h"
#include "catalog_binding/catalog_session.h"
#include "connection/connection_table.h"
#include "core/line_format.h"
#include "held_lock.h"
#include "installation/installation_environment.h"
#include "library/agent_state.h"
#include "library/wait_limits.h"
#include "logs/activity_log.h"
#include "logs/settings.h"
#include "logs/trace.h"
#include "process_information.h"
#include "unique_handle.h"
#include "utility/utility_runs.h"

using namespace ferry::agent;
using ferry::HeldLock;
using ferry::UniqueHandleNull;

ConnectionRecord* FerryTestCreateRecord(const char* installationCode, int traceOn) {
  auto* record = new (std::nothrow) ConnectionRecord();
  if (record == nullptr) return nullptr;
  formatMessage(record->installation.installationCode, sizeof record->installation.installationCode,
                "%s", installationCode ? installationCode : "");
  record->traceOn = traceOn;
  record->account.hAccessToken.reset(INVALID_HANDLE_VALUE);
  record->connInfo.record = record;
  return record;
}

// The record's members close whatever handle it still holds.
void FerryTestDestroyRecord(ConnectionRecord* record) { delete record; }

int FerryTestRecordSize() { return static_cast<int>(sizeof(ConnectionRecord)); }

int FerryTestAllocateConnection() {
  AgentLockGuard lock;
  return allocateConnection();
}

void FerryTestReleaseConnection(int id) {
  AgentLockGuard lock;
  releaseConnection(id);
}

ConnectionRecord* FerryTestFindConnection(int id) {
  AgentLockGuard lock;
  return findConnection(id);
}

int FerryTestSlotMapHandles() { return slotMapHandlesHeld(); }

void FerryTestTrace(ConnectionRecord* record, const char* format, ...) {
  va_list args;
  va_start(args, format);
  traceV(record, format, args);
  va_end(args);
}

void FerryTestTraceBanner(ConnectionRecord* record, const char* entryPoint, int end) {
  if (end) {
    traceEndBanner(record, entryPoint);
  } else {
    traceStartBanner(record, entryPoint);
  }
}

int FerryTestLogAct(ConnectionRecord* record, int id, ...) {
  va_list args;
  va_start(args, id);
  int result = Log_actV(record, id, args);
  va_end(args);
  return result;
}

int FerryTestMessageText(unsigned id, char* buffer, int size) {
  return loadMessageText(id, buffer, size);
}

int FerryTestHasMessageLibrary() { return messageLibrary() != nullptr; }
int FerryTestGetDestDir() { return GetDestDir(); }

void FerryTestSetWaitLimits(DWORD capturedRunMs, DWORD logMutexMs) {
  WaitLimits limits;
  if (capturedRunMs != 0) {
    limits.variableListingMs = capturedRunMs;
    limits.variableValueMs = capturedRunMs;
    limits.journalReportMs = capturedRunMs;
    limits.databaseListMs = capturedRunMs;
  }
  if (logMutexMs != 0) limits.logMutexMs = logMutexMs;
  setWaitLimits(limits);
}

void FerryTestSetRemoteWaitLimits(DWORD connectMs, DWORD stallMs) {
  WaitLimits limits = waitLimits();
  if (connectMs != 0) limits.remoteConnectMs = connectMs;
  if (stallMs != 0) limits.remoteStallMs = stallMs;
  setWaitLimits(limits);
}

namespace {

struct MutexHolder {
  HANDLE mutex;
  HANDLE release;
  HANDLE held;
};

DWORD WINAPI holdMutex(void* parameter) {
  MutexHolder holder = *static_cast<MutexHolder*>(parameter);
  HeldLock hold = HeldLock::wait(holder.mutex, 30000);
  if (hold.waitResult() != WAIT_OBJECT_0) return 1;
  SetEvent(holder.held);
  // At most a minute, so that a failed test leaves no log blocked for long.
  WaitForSingleObject(holder.release, 60000);
  return 0;
}

}  // namespace

HANDLE FerryTestHoldLogMutex(int activity, HANDLE release) {
  UniqueHandleNull held(CreateEventA(nullptr, /*manualReset=*/TRUE, FALSE, nullptr));
  MutexHolder holder{activity ? activityMutex() : traceMutex(), release, held.get()};
  if (holder.mutex == nullptr || !held) return nullptr;
  UniqueHandleNull thread(CreateThread(nullptr, 0, holdMutex, &holder, 0, nullptr));
  if (thread && WaitForSingleObject(held.get(), 30000) != WAIT_OBJECT_0) thread.reset();
  return thread.release();
}
HANDLE FerryTestLogMutex(int activity) { return activity ? activityMutex() : traceMutex(); }
const char* FerryTestAgentDirectory() { return agentDirectory(); }
const char* FerryTestSavedPath() { return savedPath(); }
int FerryTestCatalogBound(int major) { return boundCatalogLibrary(major) != nullptr; }
const char* FerryTestRegistryRoot() { return registryRoot(); }

DWORD FerryTestReadAgentSetting(const char* subKey, const char* instance, const char* valueName,
                                DWORD defaultValue) {
  return readAgentSetting(subKey, instance, valueName, defaultValue);
}

int FerryTestGetBuildNumber(char* buffer, DWORD size) { return getBuildNumber(buffer, size); }
int FerryTestSetAllPrivilege() { return SetAllPrivilege(); }
const char* FerryTestSharedErrorText() { return sharedErrorText(); }

DWORD FerryTestActAsAccount(ConnectionRecord* record, const char* routine,
                            int skipWhenAlreadyAccount) {
  ActAsAccountTexts texts;
  if (routine != nullptr) texts.routine = routine;
  texts.skipWhenAlreadyAccount = skipWhenAlreadyAccount != 0;
  AgentLockGuard lock;
  return actAsConnectionAccount(record, texts);
}

DWORD FerryTestRevertToSelf() { return accountLayer().revertToSelf(); }

DWORD FerryTestStartChild(ConnectionRecord* record, char* commandLine, HANDLE output,
                          HANDLE* process) {
  *process = nullptr;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  ferry::UniqueProcessInformation started;
  const DWORD error =
      startChildProcess(record, /*token=*/nullptr, commandLine, startup, {output}, started.put());
  if (error != 0) return childStartResult(error);
  *process = started.takeProcess().release();
  return 0;
}

DWORD FerryTestCurrentUserName(char* buffer, DWORD* size) {
  return accountLayer().currentUserName(buffer, size);
}

int FerryTestSetIISYSTEM(ConnectionRecord* record) {
  AgentLockGuard lock;
  return SetIISYSTEM(record != nullptr ? &record->connInfo : nullptr);
}

int FerryTestGetVarValue(ConnectionRecord* record, const char* name, char* value) {
  AgentLockGuard lock;
  return getOpIngresVarValue(record != nullptr ? &record->connInfo : nullptr, name, value);
}

int FerryTestGetInfodbInfo(ConnectionRecord* record, const char* dbName, HANDLE token) {
  AgentLockGuard lock;
  return getOpIngresInfodbInfo(record != nullptr ? &record->connInfo : nullptr, dbName,
                               /*ignored=*/nullptr, token);
}

void FerryTestGetInstallationOwner(ConnectionRecord* record, char* owner, size_t ownerSize) {
  AgentLockGuard lock;
  GetInstallationOwner(record, owner, ownerSize);
}

int FerryTestCatalogCall(const char* version, const char* entry) {
  // Room for whatever a bound entry point writes: a list of many names or areas.
  static char buffer[1 << 16];
  int size = sizeof buffer;
  int count = 0;
  int sqlcode = 0;
  const char* db = "iidbdb";
  const std::string name = entry != nullptr ? entry : "";
  AgentLockGuard lock;
  if (name == "IngConnect") return catalogConnect(version, 0, db, &sqlcode);
  if (name == "IngDisconnect") return catalogDisconnect(version, 0, &sqlcode);
  if (name == "IngSetSessionId") return catalogSetSessionId(version, 0, &sqlcode);
  if (name == "IngGetDbCount") return catalogGetDbCount(version, &count, &sqlcode);
  if (name == "IngGetDbList") return catalogGetDbList(version, buffer, &size, &count, &sqlcode);
  if (name == "IngGetJournalDest") return catalogGetJournalDest(version, db, buffer, &sqlcode);
  if (name == "IngGetDumpDest") return catalogGetDumpDest(version, db, buffer, &sqlcode);
  if (name == "IngGetDataLocNum") return catalogGetDataLocNum(version, db, &count, &sqlcode);
  if (name == "IngGetDataDest") {
    count = static_cast<int>(sizeof buffer / 1024);
    return catalogGetDataDest(version, db, buffer, &count, &sqlcode);
  }
  return -1;
}

int FerryTestCatalogConnect(ConnectionRecord* record, const char* dbName) {
  AgentLockGuard lock;
  return connectOpIngresDatabase(record != nullptr ? &record->connInfo : nullptr, dbName);
}

int FerryTestCatalogDisconnect(ConnectionRecord* record) {
  AgentLockGuard lock;
  return disconnectOpIngres(record != nullptr ? &record->connInfo : nullptr);
}

int FerryTestCatalogDbList(ConnectionRecord* record, char* buffer, int* size, int* count) {
  AgentLockGuard lock;
  return getOpIngresDbList(record, buffer, size, count);
}

int FerryTestCatalogJournalDest(ConnectionRecord* record, const char* dbName, char* dest) {
  AgentLockGuard lock;
  return getOpIngresJournalDest(record != nullptr ? &record->connInfo : nullptr, dbName, dest);
}

int FerryTestCatalogDumpDest(ConnectionRecord* record, const char* dbName, char* dest) {
  AgentLockGuard lock;
  return getOpIngresDumpDest(record != nullptr ? &record->connInfo : nullptr, dbName, dest);
}

int FerryTestCatalogDataLocNum(ConnectionRecord* record, const char* dbName) {
  AgentLockGuard lock;
  return getOpIngresDataLocNum(record != nullptr ? &record->connInfo : nullptr, dbName);
}

int FerryTestCatalogDataDest(ConnectionRecord* record, const char* dbName, char* dest,
                             size_t destSize) {
  AgentLockGuard lock;
  return getOpIngresDataDest(record != nullptr ? &record->connInfo : nullptr, dbName, dest,
                             destSize);
}

int FerryTestCustomizeTemplate(ConnectionRecord* record) {
  AgentLockGuard lock;
  return tmplmod_customize_template(record);
}

DWORD FerryTestExecCkpdb(int id, const char* dbName, DWORD options) {
  AgentLockGuard lock;
  return execOpIngresckpdb(id, dbName, options);
}

DWORD FerryTestExecRollforwarddb(int id, const char* dbName, const char* checkpointId,
                                 DWORD options, const char* endTime) {
  AgentLockGuard lock;
  return execOpIngresrollforwarddb(id, dbName, checkpointId, options, endTime);
}
