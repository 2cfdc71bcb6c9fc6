// Catalog dispatch: each call goes to the catalog library built for the session's Ingres major
// version; a library that lacks the entry point asked for answers with the agent's code 3
// (DSA_ERROR_NO_READER). The other library is never tried, so an installation of major version
// 3 without the Ingres 3 build reports 3 instead of running Ingres 2 queries against it.
#include <windows.h>

#include <cstring>

#include "ferryman.h"

#include "catalog_binding/catalog_binding.h"
#include "catalog_binding/catalog_session.h"
#include "core/line_format.h"

namespace ferry::agent {
namespace {

// Only the first character counts: "3" or above selects Ingres 3; an empty version and a major
// version of 10 or more (first digit '1') select Ingres 2.
bool selectsIngres3(const char* version) {
  return version != nullptr && std::strncmp(version, "3", 1) >= 0;
}

const CatalogEntryPoints* entryPointsFor(const char* version) {
  const CatalogLibrary* library = boundCatalogLibrary(selectsIngres3(version) ? 3 : 2);
  return library != nullptr ? &library->entry : nullptr;
}

const char* shown(const char* version) { return version != nullptr ? version : ""; }

}  // namespace

int catalogConnect(const char* version, int sessionId, const char* dbName, int* sqlcode) {
  char line[128];
  formatMessage(line, sizeof line, "connect version: %s\r\n", shown(version));
  OutputDebugStringA(line);
  OutputDebugStringA(selectsIngres3(version) ? "using version: 3\r\n" : "using version: 2\r\n");
  const CatalogEntryPoints* entry = entryPointsFor(version);
  if (entry == nullptr || entry->IngConnect == nullptr)
    return static_cast<int>(DSA_ERROR_NO_READER);
  return entry->IngConnect(sessionId, dbName, sqlcode);
}

int catalogDisconnect(const char* version, int sessionId, int* sqlcode) {
  char line[128];
  formatMessage(line, sizeof line, "version: %s\r\n", shown(version));
  OutputDebugStringA(line);
  const CatalogEntryPoints* entry = entryPointsFor(version);
  if (entry == nullptr || entry->IngDisconnect == nullptr)
    return static_cast<int>(DSA_ERROR_NO_READER);
  return entry->IngDisconnect(sessionId, sqlcode);
}

int catalogSetSessionId(const char* version, int sessionId, int* sqlcode) {
  const CatalogEntryPoints* entry = entryPointsFor(version);
  if (entry == nullptr || entry->IngSetSessionId == nullptr)
    return static_cast<int>(DSA_ERROR_NO_READER);
  return entry->IngSetSessionId(sessionId, sqlcode);
}

int catalogGetDbCount(const char* version, int* count, int* sqlcode) {
  const CatalogEntryPoints* entry = entryPointsFor(version);
  if (entry == nullptr || entry->IngGetDbCount == nullptr)
    return static_cast<int>(DSA_ERROR_NO_READER);
  return entry->IngGetDbCount(count, sqlcode);
}

int catalogGetDbList(const char* version, char* buffer, int* bufferSize, int* count, int* sqlcode) {
  const CatalogEntryPoints* entry = entryPointsFor(version);
  if (entry == nullptr || entry->IngGetDbList == nullptr)
    return static_cast<int>(DSA_ERROR_NO_READER);
  return entry->IngGetDbList(buffer, bufferSize, count, sqlcode);
}

int catalogGetJournalDest(const char* version, const char* dbName, char* area, int* sqlcode) {
  const CatalogEntryPoints* entry = entryPointsFor(version);
  if (entry == nullptr || entry->IngGetJournalDest == nullptr)
    return static_cast<int>(DSA_ERROR_NO_READER);
  return entry->IngGetJournalDest(dbName, area, sqlcode);
}

int catalogGetDumpDest(const char* version, const char* dbName, char* area, int* sqlcode) {
  const CatalogEntryPoints* entry = entryPointsFor(version);
  if (entry == nullptr || entry->IngGetDumpDest == nullptr)
    return static_cast<int>(DSA_ERROR_NO_READER);
  return entry->IngGetDumpDest(dbName, area, sqlcode);
}

int catalogGetDataLocNum(const char* version, const char* dbName, int* count, int* sqlcode) {
  const CatalogEntryPoints* entry = entryPointsFor(version);
  if (entry == nullptr || entry->IngGetDataLocNum == nullptr)
    return static_cast<int>(DSA_ERROR_NO_READER);
  return entry->IngGetDataLocNum(dbName, count, sqlcode);
}

int catalogGetDataDest(const char* version, const char* dbName, char* buffer, int* count,
                       int* sqlcode) {
  const CatalogEntryPoints* entry = entryPointsFor(version);
  if (entry == nullptr || entry->IngGetDataDest == nullptr)
    return static_cast<int>(DSA_ERROR_NO_READER);
  return entry->IngGetDataDest(dbName, buffer, count, sqlcode);
}

}  // namespace ferry::agent
