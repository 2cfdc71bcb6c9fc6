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

#include "sounder.h"
#include "unique_handle.h"

namespace ferry::agent {

// The thirteen entry points of one catalog library, in binding order.
struct CatalogEntryPoints {
  PFN_IngConnect IngConnect;
  PFN_IngSetSessionId IngSetSessionId;
  PFN_IngDisconnect IngDisconnect;
  PFN_IngGetDataDest IngGetDataDest;
  PFN_IngGetDataLocNum IngGetDataLocNum;
  PFN_IngGetDbCount IngGetDbCount;
  PFN_IngGetDbList IngGetDbList;
  PFN_IngGetDest IngGetDumpDest;
  PFN_IngGetDest IngGetJournalDest;
  PFN_IngGetTableCnt IngGetTableCnt;
  PFN_IngGetTableInfo IngGetTableInfo;
  PFN_IngGetTableList IngGetTableList;
  PFN_IngGetTableInfo IngGetTableLocNum;
};

struct CatalogLibrary {
  UniqueModule module;
  CatalogEntryPoints entry{};
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
