#include "catalog_binding/catalog_binding.h"

#include <cstring>
#include <initializer_list>

#include "core/line_format.h"

namespace ferry::agent {
namespace {

CatalogLibrary g_ingres2;
CatalogLibrary g_ingres3;

template <typename Fn>
bool bindEntry(HMODULE module, const char* name, Fn* target) {
  *target = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return *target != nullptr;
}

bool bindAll(HMODULE module, CatalogEntryPoints* entry) {
  bool all = true;
  all &= bindEntry(module, "IngConnect", &entry->IngConnect);
  all &= bindEntry(module, "IngSetSessionId", &entry->IngSetSessionId);
  all &= bindEntry(module, "IngDisconnect", &entry->IngDisconnect);
  all &= bindEntry(module, "IngGetDataDest", &entry->IngGetDataDest);
  all &= bindEntry(module, "IngGetDataLocNum", &entry->IngGetDataLocNum);
  all &= bindEntry(module, "IngGetDbCount", &entry->IngGetDbCount);
  all &= bindEntry(module, "IngGetDbList", &entry->IngGetDbList);
  all &= bindEntry(module, "IngGetDumpDest", &entry->IngGetDumpDest);
  all &= bindEntry(module, "IngGetJournalDest", &entry->IngGetJournalDest);
  all &= bindEntry(module, "IngGetTableCnt", &entry->IngGetTableCnt);
  all &= bindEntry(module, "IngGetTableInfo", &entry->IngGetTableInfo);
  all &= bindEntry(module, "IngGetTableList", &entry->IngGetTableList);
  all &= bindEntry(module, "IngGetTableLocNum", &entry->IngGetTableLocNum);
  return all;
}

void bindOne(const char* directory, const char* fileName, CatalogLibrary* library) {
  char path[MAX_PATH];
  size_t length = formatMessage(path, sizeof path, "%s%s", directory, fileName);
  if (length + 1 >= sizeof path) return;  // a cut path would name some other file
  OutputDebugStringA(path);
  library->module.reset(LoadLibraryA(path));
  if (!library->module) return;
  if (!bindAll(library->module.get(), &library->entry)) {
    library->module.reset();
    library->entry = {};
  }
}

}  // namespace

int bindCatalogLibraries(const char* directory) {
  if (g_ingres2.module || g_ingres3.module) return 0;
  bindOne(directory, "sounder26.dll", &g_ingres2);
  bindOne(directory, "sounder30.dll", &g_ingres3);
  return g_ingres3.module || g_ingres2.module ? 0 : 1;
}

void unbindCatalogLibraries() {
  for (CatalogLibrary* library : {&g_ingres3, &g_ingres2}) {
    library->module.reset();
    library->entry = {};
  }
}

const CatalogLibrary* boundCatalogLibrary(int major) {
  const CatalogLibrary& library = major >= 3 ? g_ingres3 : g_ingres2;
  return library.module ? &library : nullptr;
}

}  // namespace ferry::agent
