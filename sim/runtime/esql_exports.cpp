// The exported runtime calls of oiembdnt.dll. Each call takes the process-wide runtime lock, so
// that calls from several threads run one after another on the one set of sessions, and no
// exception ever leaves the library.
#include <windows.h>

#include <mutex>
#include <string>

#include "catalog/catalog_schema.h"
#include "catalog/esql_runtime.h"
#include "runtime/esql_runtime_state.h"

namespace ingsim::esql {
namespace {

// ANSI text (paths from the environment) to the UTF-8 that SQLite takes for file names.
bool ansiToUtf8(const std::string& ansi, std::string* utf8) {
  utf8->clear();
  if (ansi.empty()) return true;
  const int wideLength =
      MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  if (wideLength <= 0) return false;
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(),
                      wideLength);
  const int utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0,
                                             /*defaultChar=*/nullptr, /*usedDefault=*/nullptr);
  if (utf8Length <= 0) return false;
  utf8->resize(static_cast<size_t>(utf8Length));
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8->data(), utf8Length, nullptr,
                      nullptr);
  return true;
}

// The installation is the one named by II_SYSTEM in this process's environment, as for every
// Ingres client program.
Status locateCatalog(const std::string& database, std::string* path) {
  path->clear();
  std::string root(MAX_PATH, '\0');
  DWORD length = GetEnvironmentVariableA("II_SYSTEM", root.data(), static_cast<DWORD>(root.size()));
  if (length >= root.size()) {
    root.resize(length);
    length = GetEnvironmentVariableA("II_SYSTEM", root.data(), static_cast<DWORD>(root.size()));
  }
  if (length == 0 || length >= root.size()) {
    return failure(kConnectionFailure,
                   "E_LQ0001 Failed to connect: II_SYSTEM names no Ingres installation.");
  }
  root.resize(length);
  while (!root.empty() && (root.back() == '\\' || root.back() == '/')) root.pop_back();
  const std::string ansiPath =
      root + ingsim::kCatalogFolder + "\\" + database + ingsim::kCatalogExtension;
  if (!ansiToUtf8(ansiPath, path)) {
    return failure(kConnectionFailure, "E_LQ0001 Failed to connect: II_SYSTEM cannot be read.");
  }
  return okStatus();
}

std::mutex& runtimeLock() {
  static std::mutex lock;
  return lock;
}

// Created on first use, inside the lock; destroyed when the library unloads, which closes the
// sessions that the application left open.
EsqlRuntime& runtime() {
  static EsqlRuntime instance(locateCatalog);
  return instance;
}

template <typename Result, typename Call>
Result serialized(Result onFailure, Call call) noexcept {
  try {
    std::lock_guard<std::mutex> guard(runtimeLock());
    try {
      return call(runtime());
    } catch (...) {
      runtime().report(failure(kOtherError, "E_LQ00FF Internal runtime failure."));
    }
  } catch (...) {
    // Locking, or reporting the first failure, failed: there is nowhere left to report to.
  }
  return onFailure;
}

}  // namespace
}  // namespace ingsim::esql

using ingsim::esql::EsqlRuntime;
using ingsim::esql::serialized;

extern "C" {

void IIsqInit(IISQLCA* sqlca) {
  serialized(0, [&](EsqlRuntime& r) { return r.init(sqlca), 0; });
}

void IILQsidSessID(int32_t sessionId) {
  serialized(0, [&](EsqlRuntime& r) { return r.nameSession(sessionId), 0; });
}

void IIsqConnect(int32_t /*language*/, const char* dbName, const char* /*a1*/, const char* /*a2*/,
                 const char* /*a3*/, const char* /*a4*/, const char* /*a5*/, const char* /*a6*/,
                 const char* /*a7*/, const char* /*a8*/, const char* /*a9*/, const char* /*a10*/,
                 const char* /*a11*/, const char* /*a12*/, const char* /*a13*/) {
  // The further arguments (user, options, ...) are always null from our callers: sessions are
  // opened as the calling process's account.
  serialized(0, [&](EsqlRuntime& r) { return r.connect(dbName), 0; });
}

void IIsqDisconnect(void) {
  serialized(0, [&](EsqlRuntime& r) { return r.disconnect(), 0; });
}

void IILQssSetSqlio(int32_t attribute, int16_t* indicator, int32_t /*isVariable*/, int32_t type,
                    int32_t length, void* data) {
  serialized(0, [&](EsqlRuntime& r) {
    return r.setAttribute(attribute, indicator, type, length, data), 0;
  });
}

void IIsqMods(int32_t mode) {
  serialized(0, [&](EsqlRuntime& r) { return r.setMode(mode), 0; });
}

void IIwritio(int32_t trim, int16_t* /*indicator*/, int32_t /*isVariable*/, int32_t type,
              int32_t length, const char* text) {
  serialized(0, [&](EsqlRuntime& r) { return r.writeText(trim, type, length, text), 0; });
}

void IIputdomio(int16_t* indicator, int32_t /*isVariable*/, int32_t type, int32_t length,
                const void* data) {
  serialized(0, [&](EsqlRuntime& r) { return r.putValue(indicator, type, length, data), 0; });
}

void IIretinit(const char* /*file*/, int32_t /*line*/) {
  serialized(0, [&](EsqlRuntime& r) { return r.beginSelect(), 0; });
}

int32_t IInextget(void) {
  return serialized(0, [&](EsqlRuntime& r) { return r.nextRow() ? 1 : 0; });
}

void IIgetdomio(int16_t* indicator, int32_t /*isVariable*/, int32_t type, int32_t length,
                void* target) {
  serialized(0, [&](EsqlRuntime& r) { return r.getValue(indicator, type, length, target), 0; });
}

void IIsqFlush(const char* /*file*/, int32_t /*line*/) {
  serialized(0, [&](EsqlRuntime& r) { return r.endSelect(), 0; });
}

void IIcsOpen(const char* name, int32_t id1, int32_t id2) {
  serialized(0, [&](EsqlRuntime& r) { return r.openCursor(name, id1, id2), 0; });
}

void IIcsQuery(const char* name, int32_t id1, int32_t id2) {
  serialized(0, [&](EsqlRuntime& r) { return r.runCursor(name, id1, id2), 0; });
}

int32_t IIcsRetrieve(const char* name, int32_t id1, int32_t id2) {
  return serialized(0, [&](EsqlRuntime& r) { return r.retrieveCursor(name, id1, id2) ? 1 : 0; });
}

void IIcsGetio(int16_t* indicator, int32_t /*isVariable*/, int32_t type, int32_t length,
               void* target) {
  serialized(0,
             [&](EsqlRuntime& r) { return r.getCursorValue(indicator, type, length, target), 0; });
}

void IIcsERetrieve(void) {
  serialized(0, [&](EsqlRuntime& r) { return r.endCursorRow(), 0; });
}

void IIcsClose(const char* name, int32_t id1, int32_t id2) {
  serialized(0, [&](EsqlRuntime& r) { return r.closeCursor(name, id1, id2), 0; });
}

}  // extern "C"
