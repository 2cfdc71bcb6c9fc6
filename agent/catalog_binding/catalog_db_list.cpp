// The database list: every database name from the catalog, then one "~JOURNAL OF DATABASE "
// entry per database that infodb reports journaled, then an empty entry, all within the
// caller's buffer.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "catalog_binding/catalog_operation.h"
#include "catalog_binding/catalog_session.h"
#include "core/line_format.h"
#include "installation/captured_run.h"
#include "library/agent_state.h"
#include "logs/trace.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

constexpr const char* kRoutine = "getOpIngresDbList2()";
constexpr char kJournalPrefix[] = "~JOURNAL OF DATABASE ";
constexpr char kDatabaseLine[] = "    Database : (";
constexpr char kJournaledLine[] = "               The Database is Journaled.";
static_assert(sizeof kJournaledLine - 1 == 41);
constexpr size_t kLineSize = 512;

// The caller's buffer, filled from its start without ever passing its size.
struct ListWriter {
  char* buffer;
  int size;
  int end;  // offset of the next entry
  bool append(const char* entry) {
    int length = static_cast<int>(std::strlen(entry));
    // The entry, its NUL, and the NUL of the empty entry that ends the list.
    if (length + 2 > size - end) return false;
    std::memcpy(buffer + end, entry, static_cast<size_t>(length) + 1);
    end += length + 1;
    return true;
  }
};

// The names from the catalog straight into the caller's buffer: the library keeps to the size
// it is given, less the byte of the empty entry that ends the list. Databases created since the
// count was taken make the names not fit; that is a list too long, as a too small buffer is.
int listDatabaseNames(OIConnInfo* connInfo, ListWriter* list, int* namesOut) {
  ConnectionRecord* ci = connInfo->record;
  int libraryRoom = list->size - 1;
  int names = 0;
  int sqlcode = 0;
  int status = catalogGetDbList(connInfo->version, list->buffer, &libraryRoom, &names, &sqlcode);
  if (status == DSA_ERROR_NO_READER) return DSA_ERROR_NO_READER;
  if (sqlcode < 0) {
    trace(ci, "%s: Error opening cursor named getdblst.  sqlca.sqlcode= %d\n", kRoutine, sqlcode);
    return DSA_ERROR_CATALOG_QUERY;
  }
  if (status != 0 || libraryRoom < 0 || libraryRoom > list->size - 1) {
    trace(ci, "%s: Output buffer size =%d, which is too small. Required =%d", kRoutine, list->size,
          libraryRoom + 1);
    return DSA_ERROR_LIST_TOO_LONG;
  }
  list->end = libraryRoom;
  *namesOut = names;
  return 0;
}

// Reads infodb's report and appends the journal entries. 0, 1 or 11314 for an error the
// report shows, 4 when an entry would not fit.
int addJournalEntries(ConnectionRecord* ci, FILE* report, ListWriter* list) {
  char line[kLineSize];
  char current[kLineSize] = {};
  while (std::fgets(line, sizeof line, report) != nullptr) {
    if (std::strlen(line) > 26 && line[25] == 'E' && line[26] == '_') {
      trace(ci, "getOpingresDbList2(): error occurs in infodb");
      return DSA_ERROR_FILE;
    }
    if (std::strncmp(line, "ERROR", 5) == 0) {
      trace(ci, "getOpingresDbList2(): error occurs in infodb,maybe 1314");
      // infodb refused the listing: reported as the privilege it lacks.
      return static_cast<int>(resultFromWin32(ERROR_PRIVILEGE_NOT_HELD));
    }
    if (std::strncmp(line, kDatabaseLine, sizeof kDatabaseLine - 1) == 0) {
      const char* start = line + sizeof kDatabaseLine - 1;
      size_t length = std::strcspn(start, ",");
      std::memcpy(current, start, length);
      current[length] = '\0';
      continue;
    }
    if (std::strncmp(line, kJournaledLine, sizeof kJournaledLine - 1) == 0) {
      trace(ci, "getOpIngresDbList2(): %s is Journaled.", current);
      // A journaled line before any database line belongs to no database.
      if (current[0] == '\0') continue;
      char entry[sizeof kJournalPrefix + kLineSize];
      formatMessage(entry, sizeof entry, "%s%s", kJournalPrefix, current);
      if (!list->append(entry)) {
        trace(ci, "%s: Output buffer size =%d, which is too small. Required =%d", kRoutine,
              list->size, list->end + static_cast<int>(std::strlen(entry)) + 2);
        return DSA_ERROR_LIST_TOO_LONG;
      }
      trace(ci, "getOpIngresDbList2(): DBNAME: %s", entry);
    }
  }
  return 0;
}

// infodb -u<login> lists the databases with their journaling state.
int readJournaledDatabases(ConnectionRecord* ci, ListWriter* list) {
  CapturedRun run;
  if (DWORD prepared = prepareCapturedRun(ci, CapturedUtility::DatabaseList, ci->connInfo.loginName,
                                          ci->account.hAccessToken.get(), &run);
      prepared != 0) {
    return static_cast<int>(prepared);
  }
  DWORD ran = runCapturedUtility(ci, run);
  if (ran != 0) return static_cast<int>(ran);

  LARGE_INTEGER outputSize = {};
  if (!GetFileSizeEx(run.output.get(), &outputSize)) {
    DWORD error = GetLastError();
    trace(ci, "getOpIngresDbList2(): GetFileSize failed,errorcode=%d", static_cast<int>(error));
    return static_cast<int>(resultFromWin32(error));
  }
  if (outputSize.QuadPart == 0) {
    trace(ci, "getOpIngresDbList2(): infodb failed! can not get db list");
    return DSA_ERROR_FILE;
  }
  UniqueStdioFile report = openCapturedOutput(run);
  if (report.get() == nullptr) {
    DWORD error = GetLastError();
    trace(ci, "getOpIngresDbList2(): fopen() failed. file is %s, error is %d", run.outputPath,
          static_cast<int>(error));
    return static_cast<int>(resultFromWin32(error));
  }
  return addJournalEntries(ci, report.get(), list);
}

}  // namespace

int getOpIngresDbList2(ConnectionRecord* ci, char* buffer, int* size, int* count) {
  if (ci == nullptr) return DSA_ERROR_ARGUMENT_MISSING;
  trace(ci, "getOpIngresDbList2(): Entered. retBufSize= %d", size != nullptr ? *size : 0);
  DWORD acted = actAsCatalogAccount(ci, /*skipWhenAlreadyAccount=*/true);
  if (acted != ERROR_SUCCESS) return static_cast<int>(acted);
  OIConnInfo* connInfo = &ci->connInfo;
  if (connInfo->record == nullptr || buffer == nullptr || size == nullptr || count == nullptr) {
    trace(ci, "%s: p_OIConnInfo variable is NULL!.", kRoutine);
    return DSA_ERROR_ARGUMENT_MISSING;
  }
  int result = connectOpIngresDatabase2(connInfo, "iidbdb");
  if (result != 0) {
    trace(ci, "%s: Error connecting to iidbdb.", kRoutine);
    return result;
  }

  int databases = 0;
  int sqlcode = 0;
  int status = catalogGetDbCount(connInfo->version, &databases, &sqlcode);
  if (status == DSA_ERROR_NO_READER) {
    result = DSA_ERROR_NO_READER;
  } else if (sqlcode < 0) {
    trace(ci, "%s: Error counting nb database.  sqlca.sqlcode= %d", kRoutine, sqlcode);
    result = DSA_ERROR_CATALOG_QUERY;
  } else {
    trace(ci, "%s: counting nb database.  db count= %d", kRoutine, databases);
    // Checked in 64 bits: a huge count must not wrap into a small requirement.
    long long required = 32LL * databases + 1;
    if (databases < 0 || required > *size) {
      trace(ci, "%s: Output buffer size =%d, which is too small. Required =%lld", kRoutine, *size,
            required);
      result = DSA_ERROR_LIST_TOO_LONG;
    }
  }
  if (result == 0) {
    ListWriter list{buffer, *size, 0};
    int names = 0;
    result = listDatabaseNames(connInfo, &list, &names);
    if (result == 0) {
      *count = names;
      result = readJournaledDatabases(ci, &list);
    }
    if (result == 0) {
      // The empty entry that ends the list; append() always left room for it.
      buffer[list.end] = '\0';
      *size = list.end + 1;
    }
  }
  return closeCatalogSession(connInfo, kRoutine, result, DisconnectRule::DisconnectFirst);
}

}  // namespace ferry::agent
