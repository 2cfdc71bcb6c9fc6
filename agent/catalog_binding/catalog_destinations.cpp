// A database's journal, dump and data destinations and its number of data locations, from the
// location areas the catalog names: an area is a folder, or the name of an installation
// variable whose value is the folder.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "catalog_binding/catalog_operation.h"
#include "catalog_binding/catalog_session.h"
#include "core/line_format.h"
#include "core/message_ids.h"
#include "installation/installation_environment.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"

namespace ferry::agent {
namespace {

constexpr size_t kAreaSize = 1024;
// Installation variable values are read into buffers of this size.
constexpr size_t kValueSize = 1024;

bool queryFailed(int status, int sqlcode) { return status != 0 || sqlcode < 0 || sqlcode == 100; }

// The code of a failed query: 3 when the library lacks the entry point, else 14.
int queryFailure(int status) {
  return static_cast<int>(status == DSA_ERROR_NO_READER ? DSA_ERROR_NO_READER
                                                        : DSA_ERROR_CATALOG_QUERY);
}

// Formats one path into `dest` (kDestinationSize bytes); false, with `dest` emptied, when it
// would be cut: a cut path names another folder.
bool composePath(char* dest, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int wanted = std::vsnprintf(dest, kDestinationSize, format, args);
  va_end(args);
  if (wanted >= 0 && static_cast<size_t>(wanted) < kDestinationSize) return true;
  dest[0] = '\0';
  return false;
}

// Acting as the account and connecting to iidbdb, shared by the four operations. 0 or the code
// the operation returns at once.
int openCatalogSession(OIConnInfo* connInfo, const char* routine) {
  ConnectionRecord* ci = connInfo->record;
  DWORD acted = actAsCatalogAccount(ci, /*skipWhenAlreadyAccount=*/false);
  if (acted != ERROR_SUCCESS) return static_cast<int>(acted);
  int result = connectOpIngresDatabase2(connInfo, "iidbdb");
  if (result != 0) trace(ci, "%s: Error connecting to database %s.", routine, "iidbdb");
  return result;
}

struct DestinationKind {
  const char* routine;
  const char* folder;  // "jnl" or "dmp"
  const char* returningText;
  bool dump;
};

int getSingleDest(OIConnInfo* connInfo, const char* dbName, char* dest,
                  const DestinationKind& kind) {
  if (connInfo == nullptr || connInfo->record == nullptr || dbName == nullptr || dest == nullptr) {
    return DSA_ERROR_ARGUMENT_MISSING;
  }
  ConnectionRecord* ci = connInfo->record;
  const char* routine = kind.routine;
  dest[0] = '\0';
  trace(ci, "%s : Entered.", routine);
  if (!kind.dump) trace(ci, "%s : dbname = %s .", routine, dbName);
  int result = openCatalogSession(connInfo, routine);
  if (result != 0) return result;

  char area[kAreaSize] = {};
  int sqlcode = 0;
  int status = kind.dump ? catalogGetDumpDest(connInfo->version, dbName, area, &sqlcode)
                         : catalogGetJournalDest(connInfo->version, dbName, area, &sqlcode);
  char format[64];
  formatMessage(format, sizeof format, "%%s\\ingres\\%s\\default\\%%s", kind.folder);
  if (queryFailed(status, sqlcode)) {
    trace(ci, "%s: Error getting info from iilocation_info for database %s. sqlcode=%d", routine,
          dbName, sqlcode);
    result = queryFailure(status);
  } else {
    if (kind.dump) trace(ci, "getOpIngresDumpDest2(): tmp_dir_name = %s", area);
    if (GetFileAttributesA(area) != INVALID_FILE_ATTRIBUTES) {
      trace(ci, "%s(): tmp_dir_name is a directory path.", routine);
      if (!composePath(dest, format, area, dbName))
        result = static_cast<int>(DSA_ERROR_LIST_TOO_LONG);
    } else {
      char value[kValueSize] = {};
      result = getOpIngresVarValue(connInfo, area, value);
      if (kind.dump) {
        trace(ci, "getOpIngresDumpDest2(): getOpIngresVarValue ret= %d. dmp_dst= [%s]", result,
              value);
      }
      if (result == 0 && !composePath(dest, format, value, dbName)) {
        result = static_cast<int>(DSA_ERROR_LIST_TOO_LONG);
      }
    }
    trace(ci, kind.returningText, routine, dest);
  }
  return closeCatalogSession(connInfo, routine, result, DisconnectRule::ResultFirst);
}

// Stores `count` directories from `list` (NUL-terminated, one after another) as the
// connection's restore destinations; false when they do not fit.
bool keepDestinations(DestinationState* kept, const char* list, int count) {
  char* out = kept->restoreDestinations;
  char* const end = kept->restoreDestinations + sizeof kept->restoreDestinations;
  kept->restoreDestinationCount = 0;
  const char* in = list;
  for (int i = 0; i < count; ++i) {
    const size_t length = strnlen(in, kDestinationSize);
    if (length == 0 || length >= kDestinationSize || static_cast<size_t>(end - out) <= length) {
      kept->restoreDestinationCount = 0;
      kept->restoreDestinations[0] = '\0';
      return false;
    }
    std::memcpy(out, in, length);
    out[length] = '\0';
    out += length + 1;
    in += length + 1;
  }
  kept->restoreDestinationCount = count;
  return true;
}

}  // namespace

int getOpIngresJournalDest2(OIConnInfo* connInfo, const char* dbName, char* dest) {
  return getSingleDest(connInfo, dbName, dest,
                       {"getOpIngresJournalDest2", "jnl", "%s: returning jn_dest=[%s]", false});
}

int getOpIngresDumpDest2(OIConnInfo* connInfo, const char* dbName, char* dest) {
  return getSingleDest(connInfo, dbName, dest,
                       {"getOpIngresDumpDest2", "dmp", "%s: returning dmp_dest=[%s]", true});
}

int getOpIngresDataLocNum2(OIConnInfo* connInfo, const char* dbName) {
  constexpr const char* routine = "getOpIngresDataLocNum2()";
  if (connInfo == nullptr || connInfo->record == nullptr || dbName == nullptr)
    return DSA_ERROR_ARGUMENT_MISSING;
  ConnectionRecord* ci = connInfo->record;
  trace(ci, "%s : Entered.", routine);
  int result = openCatalogSession(connInfo, routine);
  if (result != 0) return result;
  connInfo->locationCount = 0;
  int sqlcode = 0;
  int status = catalogGetDataLocNum(connInfo->version, dbName, &connInfo->locationCount, &sqlcode);
  if (queryFailed(status, sqlcode)) {
    trace(ci, "%s: Error getting info from iilocation_info for database %s. sqlcode=%d", routine,
          dbName, sqlcode);
    result = queryFailure(status);
  }
  result = closeCatalogSession(connInfo, routine, result, DisconnectRule::ResultFirst);
  trace(ci, "%s : returned with db loaction nums = %d", routine, connInfo->locationCount);
  return result;
}

int getOpIngresDataDest2(OIConnInfo* connInfo, const char* dbName, char* dest, size_t destSize) {
  constexpr const char* routine = "getOpIngresDataDest2";
  if (connInfo == nullptr || connInfo->record == nullptr || dbName == nullptr || dest == nullptr ||
      destSize == 0) {
    return DSA_ERROR_ARGUMENT_MISSING;
  }
  ConnectionRecord* ci = connInfo->record;
  dest[0] = '\0';
  trace(ci, "%s : Entered.", routine);
  char systemDrive[MAX_PATH] = {};
  DWORD length = GetEnvironmentVariableA("SYSTEMDRIVE", systemDrive, sizeof systemDrive);
  if (length == 0 || length >= sizeof systemDrive) systemDrive[0] = '\0';
  trace(ci, "%s : system drive is %s.", routine, systemDrive);
  int result = openCatalogSession(connInfo, routine);
  if (result != 0) return result;

  connInfo->locationCount = 0;
  char iiDatabase[kValueSize] = {};
  // Only needed for an area variable without value; an unset II_DATABASE shows in that path.
  static_cast<void>(getOpIngresVarValue(connInfo, "II_DATABASE", iiDatabase));
  trace(ci, "%s : II_SYSTEM=%s, II_DATABASE=%s", routine, ci->installation.iiSystem, iiDatabase);

  // One area, and one path made of it, per kDestinationSize bytes of the caller's buffer.
  const int slots = static_cast<int>(std::min<size_t>(destSize / kDestinationSize, 1 << 16));
  std::unique_ptr<char[]> areas(
      new (std::nothrow) char[static_cast<size_t>(slots) * kAreaSize + 1]());
  if (!areas) {
    result = static_cast<int>(resultFromWin32(ERROR_NOT_ENOUGH_MEMORY));
    return closeCatalogSession(connInfo, routine, result, DisconnectRule::ResultFirst);
  }
  int count = slots;
  int sqlcode = 0;
  int status = catalogGetDataDest(connInfo->version, dbName, areas.get(), &count, &sqlcode);
  connInfo->locationCount = count;
  trace(ci, "%s: returning data_dest=[%s],num=%d", routine, areas.get(), count);
  if (count > slots) {
    // More locations than the caller made room for: they were added since it counted them.
    trace(ci, "%s: database %s has %d data locations, the list has room for %d", routine, dbName,
          count, slots);
    result = static_cast<int>(DSA_ERROR_LIST_TOO_LONG);
  } else if (queryFailed(status, sqlcode)) {
    trace(ci, "%s: Error getting info from iilocation_info for database %s. sqlcode=%d", routine,
          dbName, sqlcode);
    result = queryFailure(status);
  } else {
    const char* area = areas.get();
    char* out = dest;
    for (int i = 0; i < count; ++i) {
      trace(ci, "getOpIngresDbDest2(): location %d: %s", connInfo->locationCount, area);
      bool composed = false;
      if (area[0] == '\\' || (area[0] != '\0' && area[1] == ':')) {
        composed = composePath(out, "%s\\ingres\\data\\default\\%s", area, dbName);
      } else {
        char value[kValueSize] = {};
        // An empty value names no folder: the area then lives below II_DATABASE, as for a
        // variable that is not set at all.
        if (getOpIngresVarValue(connInfo, area, value) == 0 && value[0] != '\0') {
          composed = composePath(out, "%s\\ingres\\data\\default\\%s", value, dbName);
        } else {
          composed = composePath(out, "%s\\ingres\\data\\%s\\%s", iiDatabase, area, dbName);
        }
      }
      // Each path stays within its kDestinationSize slot, and there are no more paths than
      // slots: the packed list stays within the caller's buffer.
      if (!composed) {
        result = static_cast<int>(DSA_ERROR_LIST_TOO_LONG);
        break;
      }
      trace(ci, "%s: returning data_dest=[%s]", routine, out);
      out += std::strlen(out) + 1;
      area += std::strlen(area) + 1;
    }
  }
  return closeCatalogSession(connInfo, routine, result, DisconnectRule::ResultFirst);
}

DWORD resolveDestinations(ConnectionRecord* ci, const char* routine, const char* dbName,
                          ObjectType kind) {
  ci->destinations.restoreDestinationCount = 0;
  ci->destinations.restoreDestinations[0] = '\0';
  int result = 0;
  if (kind == ObjectType::Data) {
    result = getOpIngresDataLocNum(&ci->connInfo, dbName);
    const int count = ci->connInfo.locationCount;
    if (result == 0 && count <= 0) {
      trace(ci, "%s(): database %s has no data location", routine, dbName);
      return DSA_ERROR_CATALOG_QUERY;
    }
    if (result == 0) {
      std::unique_ptr<char[]> list(
          new (std::nothrow) char[static_cast<size_t>(count) * kDestinationSize]());
      if (!list) {
        Log_act(ci, messages::kActivityOutOfMemory);
        return resultFromWin32(ERROR_NOT_ENOUGH_MEMORY);
      }
      result = getOpIngresDataDest(&ci->connInfo, dbName, list.get(),
                                   static_cast<size_t>(count) * kDestinationSize);
      // The list may have changed between the two queries: only what both agree on is used.
      const int listed = ci->connInfo.locationCount < count ? ci->connInfo.locationCount : count;
      if (result == 0 && !keepDestinations(&ci->destinations, list.get(), listed)) {
        trace(ci, "%s(): the data locations of %s do not fit the agent's list", routine, dbName);
        return resultFromWin32(ERROR_FILENAME_EXCED_RANGE);
      }
    }
  } else {
    char dest[kDestinationSize] = {};
    result = kind == ObjectType::Journal ? getOpIngresJournalDest(&ci->connInfo, dbName, dest)
                                         : getOpIngresDumpDest(&ci->connInfo, dbName, dest);
    if (result == 0 && !keepDestinations(&ci->destinations, dest, 1)) {
      trace(ci, "%s(): database %s has no destination for its files", routine, dbName);
      return DSA_ERROR_CATALOG_QUERY;
    }
  }
  if (result != 0) {
    trace(ci, "%s(): the destinations of database %s could not be read, rcode = %d", routine,
          dbName, result);
    return static_cast<DWORD>(result);
  }
  const char* dest = ci->destinations.restoreDestinations;
  for (int i = 0; i < ci->destinations.restoreDestinationCount; ++i) {
    trace(ci, "%s(): destination %d: %s", routine, i + 1, dest);
    dest += std::strlen(dest) + 1;
  }
  return 0;
}

}  // namespace ferry::agent
