// DSAGetExcludedFiles: the directories a file-level backup of this machine leaves out because
// the agent covers them.
#define FERRYMAN_BUILD
#include <windows.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "catalog_binding/catalog_session.h"
#include "connection/connection_table.h"
#include "core/message_ids.h"
#include "ferryman.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "object_catalogue/catalogue.h"

namespace ferry::agent {
namespace {

constexpr int kWorkAreaSize = 65536;

// Every data location, the dump and the journal destination of each database of the list.
std::vector<std::string> collectPaths(ConnectionRecord* ci, const char* dbList, size_t size,
                                      char* area) {
  std::vector<std::string> paths;
  size_t offset = 0;
  OIConnInfo* connInfo = &ci->connInfo;
  while (offset < size && dbList[offset] != '\0') {
    const char* name = dbList + offset;
    size_t length = strnlen(name, size - offset);
    offset += length + 1;
    // Journal entries name a database that is listed under its plain name as well.
    if (name[0] == '~') continue;
    std::string database(name, length);
    std::memset(area, 0, kWorkAreaSize);
    if (getOpIngresDataDest(connInfo, database.c_str(), area, kWorkAreaSize) != 0) {
      trace(ci,
            "DSAGetExcludedFiles(): There was an error obtaning the destination directory for "
            "%s...continuing",
            database.c_str());
      continue;
    }
    const char* path = area;
    for (int i = 0; i < connInfo->locationCount && path < area + kWorkAreaSize; ++i) {
      size_t pathLength = strnlen(path, static_cast<size_t>(area + kWorkAreaSize - path));
      paths.emplace_back(path, pathLength);
      path += pathLength + 1;
    }
    char dest[kDestinationSize] = {};
    if (getOpIngresDumpDest(connInfo, database.c_str(), dest) == 0) {
      paths.emplace_back(dest);
    } else {
      trace(ci, "DSAGetExcludedFiles(): Could not find dump_dest, may not exist");
    }
    dest[0] = '\0';
    if (getOpIngresJournalDest(connInfo, database.c_str(), dest) == 0) {
      paths.emplace_back(dest);
    } else {
      trace(ci, "DSAGetExcludedFiles(): Could not find journal_dest, may not exist");
    }
  }
  return paths;
}

}  // namespace
}  // namespace ferry::agent

extern "C" DSA_RESULT DSAGetExcludedFiles(uint32_t connectionId, void* buffer,
                                          uint32_t* bufferSize) {
  using namespace ferry::agent;
  AgentLockGuard lock;
  ConnectionRecord* ci = findConnection(static_cast<int>(connectionId));
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  traceStartBanner(ci, "DSAGetExcludedFiles");
  if (buffer == nullptr || bufferSize == nullptr) {
    traceEndBanner(ci, "DSAGetExcludedFiles");
    return DSA_ERROR_ARGUMENT_MISSING;
  }
  std::unique_ptr<char[]> dbList(new (std::nothrow) char[kWorkAreaSize]());
  std::unique_ptr<char[]> area(new (std::nothrow) char[kWorkAreaSize]());
  if (!dbList || !area) {
    Log_act(ci, ferry::messages::kActivityOutOfMemory);
    traceEndBanner(ci, "DSAGetExcludedFiles");
    return DSA_ERROR_FILE;
  }
  int size = kWorkAreaSize;
  int count = 0;
  int rc = getOpIngresDbList(ci, dbList.get(), &size, &count);
  if (rc != 0) {
    trace(ci, "DSAGetExcludedFiles(): There was an error getting database names rcode = %d", rc);
    Log_act(ci, ferry::messages::kActivityDatabaseListFailed, rc);
    traceEndBanner(ci, "DSAGetExcludedFiles");
    return static_cast<DSA_RESULT>(rc);
  }
  size_t used = size > 0 && size <= kWorkAreaSize ? static_cast<size_t>(size) : kWorkAreaSize;
  std::vector<std::string> paths = collectPaths(ci, dbList.get(), used, area.get());
  // The needed size counts each path's NUL: the caller receives them, so a buffer of exactly
  // that size must hold the list.
  size_t needed = packPaths(paths, static_cast<char*>(buffer), *bufferSize);
  DSA_RESULT result = DSA_OK;
  if (needed > *bufferSize) {
    trace(ci, "DSAGetExcludedFiles(): Buffer is not big enough needed = %d",
          static_cast<int>(needed));
    result = DSA_ERROR_BUFFER_TOO_SMALL;
  }
  *bufferSize = static_cast<uint32_t>(needed);
  traceEndBanner(ci, "DSAGetExcludedFiles");
  return result;
}
