// Test-only exports of the testbed build of ferryman.dll (bin/testbed/ferryman.dll), through
// which the tests call the agent's internals. The shipped library exports none of them.
//
// Conventions:
// - C linkage, exported by name, prefix "FerryTest".
// - Records are ferry::agent::ConnectionRecord (connection_record.h); tests read and write their
//   fields directly. Records made by FerryTestCreateRecord live outside the connection table and
//   the slot map, so tests of the logs and accounts need no machine-wide lock.
// - Table functions take the agent lock, as the entry points do.
// - Returned strings are the library's own and stay valid while it is loaded.
#pragma once

#include <windows.h>

#include "connection/connection_record.h"

extern "C" {

using ferry::agent::ConnectionRecord;

// A zeroed record with its installation code and traceOn set and no access token.
ConnectionRecord* FerryTestCreateRecord(const char* installationCode, int traceOn);
void FerryTestDestroyRecord(ConnectionRecord* record);
int FerryTestRecordSize();

int FerryTestAllocateConnection();
void FerryTestReleaseConnection(int id);
ConnectionRecord* FerryTestFindConnection(int id);
int FerryTestSlotMapHandles();

void FerryTestTrace(ConnectionRecord* record, const char* format, ...);
void FerryTestTraceBanner(ConnectionRecord* record, const char* entryPoint, int end);
int FerryTestLogAct(ConnectionRecord* record, int id, ...);
int FerryTestMessageText(unsigned id, char* buffer, int size);
int FerryTestHasMessageLibrary();
int FerryTestGetDestDir();

// Lowers the agent's wait limits for a test: every captured utility run's and the log mutexes'
// (0 keeps the shipped limit).
void FerryTestSetWaitLimits(DWORD capturedRunMs, DWORD logMutexMs);
// The remote pipe's client connect and stall limits (0 keeps a limit as it is).
void FerryTestSetRemoteWaitLimits(DWORD connectMs, DWORD stallMs);
// Takes the trace mutex (activity 0) or the activity log mutex (1) on a thread of its own and
// holds it until `release` is set; returns that thread's handle once it holds the mutex (the
// caller closes it), or null.
HANDLE FerryTestHoldLogMutex(int activity, HANDLE release);
// The trace mutex (activity 0) or the activity log mutex (1) itself; the agent keeps it.
HANDLE FerryTestLogMutex(int activity);

const char* FerryTestAgentDirectory();
const char* FerryTestSavedPath();
int FerryTestCatalogBound(int major);

const char* FerryTestRegistryRoot();
DWORD FerryTestReadAgentSetting(const char* subKey, const char* instance, const char* valueName,
                                DWORD defaultValue);
int FerryTestGetBuildNumber(char* buffer, DWORD size);

int FerryTestSetAllPrivilege();
const char* FerryTestSharedErrorText();
// Acting as the record's account with the texts of `routine`; skipWhenAlreadyAccount as given.
DWORD FerryTestActAsAccount(ConnectionRecord* record, const char* routine,
                            int skipWhenAlreadyAccount);
DWORD FerryTestRevertToSelf();
// startChildProcess as the agent (no token) with `output` as the child's standard output and
// its only handle to inherit: 0, 17 or 10000 + the system error; the started process in
// *process (the caller closes it), null when none started.
DWORD FerryTestStartChild(ConnectionRecord* record, char* commandLine, HANDLE output,
                          HANDLE* process);
DWORD FerryTestCurrentUserName(char* buffer, DWORD* size);

// The installation environment of the record's installation code, under the agent lock.
int FerryTestSetIISYSTEM(ConnectionRecord* record);
int FerryTestGetVarValue(ConnectionRecord* record, const char* name, char* value);
int FerryTestGetInfodbInfo(ConnectionRecord* record, const char* dbName, HANDLE token);
void FerryTestGetInstallationOwner(ConnectionRecord* record, char* owner, size_t ownerSize);

// The catalog layer, under the agent lock. FerryTestCatalogCall runs the dispatch step named
// `entry` ("IngConnect", "IngGetDbList", ...) for `version` with buffers of its own and returns
// its result (-1 for an unknown name).
int FerryTestCatalogCall(const char* version, const char* entry);
int FerryTestCatalogConnect(ConnectionRecord* record, const char* dbName);
int FerryTestCatalogDisconnect(ConnectionRecord* record);
int FerryTestCatalogDbList(ConnectionRecord* record, char* buffer, int* size, int* count);
int FerryTestCatalogJournalDest(ConnectionRecord* record, const char* dbName, char* dest);
int FerryTestCatalogDumpDest(ConnectionRecord* record, const char* dbName, char* dest);
int FerryTestCatalogDataLocNum(ConnectionRecord* record, const char* dbName);
int FerryTestCatalogDataDest(ConnectionRecord* record, const char* dbName, char* dest,
                             size_t destSize);

// The utility driver, under the agent lock: the template of the record's installation, and the
// ckpdb / rollforwarddb runs of connection `id` (a connection from the table, so that the runs
// find it as the begin steps do).
int FerryTestCustomizeTemplate(ConnectionRecord* record);
DWORD FerryTestExecCkpdb(int id, const char* dbName, DWORD options);
DWORD FerryTestExecRollforwarddb(int id, const char* dbName, const char* checkpointId,
                                 DWORD options, const char* endTime);
}
