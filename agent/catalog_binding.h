// The binding of the catalog query libraries sounder26.dll (Ingres 2) and sounder30.dll
// (Ingres 3), done once when the agent library loads.
//
// Conventions:
// - A library counts as bound only with all thirteen entry points; a library that lacks one is
//   freed and its table cleared.
// - The tables are written only by the load and unload steps, so readers need no lock.
// - No exceptions.
#pragma once

#include <windows.h>

namespace ferry::agent {

using CatalogConnect = int (*)(int sessionId, const char* dbName, int* sqlcode);
using CatalogSetSessionId = int (*)(int sessionId, int* sqlcode);
using CatalogDisconnect = int (*)(int sessionId, int* sqlcode);
using CatalogGetDataDest = int (*)(const char* dbName, char* buffer, int* count, int* sqlcode);
using CatalogGetDataLocNum = int (*)(const char* dbName, int* count, int* sqlcode);
using CatalogGetDbCount = int (*)(int* count, int* sqlcode);
using CatalogGetDbList = int (*)(char* buffer, int* bufferSize, int* count, int* sqlcode);
using CatalogGetDest = int (*)(const char* dbName, char* area, int* sqlcode);
using CatalogGetTableCnt = int (*)(int* count, int* sqlcode);
using CatalogGetTableInfo = int (*)();
using CatalogGetTableList = int (*)(void* ignored, char* buffer, int* size, int* count,
                                    int* sqlcode);

// The thirteen entry points of one catalog library, in binding order.
struct CatalogEntryPoints {
  CatalogConnect IngConnect;
  CatalogSetSessionId IngSetSessionId;
  CatalogDisconnect IngDisconnect;
  CatalogGetDataDest IngGetDataDest;
  CatalogGetDataLocNum IngGetDataLocNum;
  CatalogGetDbCount IngGetDbCount;
  CatalogGetDbList IngGetDbList;
  CatalogGetDest IngGetDumpDest;
  CatalogGetDest IngGetJournalDest;
  CatalogGetTableCnt IngGetTableCnt;
  CatalogGetTableInfo IngGetTableInfo;
  CatalogGetTableList IngGetTableList;
  CatalogGetTableInfo IngGetTableLocNum;
};

struct CatalogLibrary {
  HMODULE module;
  CatalogEntryPoints entry;
};

// Binds "<directory>sounder26.dll" and "<directory>sounder30.dll"; `directory` ends with a
// backslash. 0 when at least one library is bound completely (or binding already happened), 1
// when neither is.
int bindCatalogLibraries(const char* directory);

// Frees both libraries and clears their tables.
void unbindCatalogLibraries();

// The library for Ingres major version `major` (2 or 3), or null when it is not bound.
const CatalogLibrary* boundCatalogLibrary(int major);

}  // namespace ferry::agent
