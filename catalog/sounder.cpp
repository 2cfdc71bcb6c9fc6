// The catalog queries. Every export drives the embedded-SQL runtime in one of three fixed call
// patterns (session statement, singleton select, cursor loop) with its own local sqlca: the
// library keeps no state between calls.
#define SOUNDER_BUILD
#include "sounder.h"

#include <windows.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "esql_runtime.h"

namespace {

struct Cursor {
  const char* name;
  int id1;
  int id2;
};

constexpr Cursor kDbListCursor{"getdblst", 3541, 30925};
constexpr Cursor kTableListCursor{"gettblst", 3543, 8187};
constexpr Cursor kDataLocationCursor{"getdbloc", 3541, 30925};

constexpr int kNameLength = 32;    // database and table names
constexpr int kAreaLength = 1023;  // location areas
constexpr int kAreaSize = kAreaLength + 1;

constexpr char kDataLocationQueryPrefix[] =
    "select distinct location_area from iilocation_info where location_name in \t\t\t(select "
    "iilocation_info.location_name from iilocation_info  , iiextend_info where  "
    "iilocation_info.data_usage='Y' and  iilocation_info.location_name "
    "=iiextend_info.location_name and iiextend_info.database_name='";
static_assert(sizeof kDataLocationQueryPrefix - 1 == 288);
constexpr char kDataLocationQuerySuffix[] = "')";
constexpr size_t kQueryBufferSize = 1024;

// What the server answers a statement it cannot take; used for a database name that cannot be
// placed in the data-location query (see buildDataLocationQuery).
constexpr int kSqlcodeSyntaxError = -31000;

void debugLine(const char* format, ...) {
  char line[1200];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  OutputDebugStringA(line);
}

void writeText(const char* text) {
  IIwritio(/*trim=*/0, /*indicator=*/nullptr, /*isVariable=*/1, IISQ_TYPE_CHAR, /*length=*/0, text);
}

// Singleton select: the caller sends the statement between beginSelect and fetchSingleton.
void beginSelect(IISQLCA& sqlca) {
  IIsqInit(&sqlca);
  IIsqMods(IISQ_MODE_SINGLETON);
}

// Runs the statement and fetches its one column into `target` when there is a row; the target
// is left as it was otherwise.
void fetchSingleton(int type, int length, void* target) {
  IIretinit(nullptr, 0);
  if (IInextget() != 0) {
    IIgetdomio(/*indicator=*/nullptr, /*isVariable=*/1, type, length, target);
  }
  IIsqFlush(nullptr, 0);
}

void openCursor(IISQLCA& sqlca, const Cursor& cursor, const char* query) {
  IIsqInit(&sqlca);
  IIcsOpen(cursor.name, cursor.id1, cursor.id2);
  writeText(query);
  IIcsQuery(cursor.name, cursor.id1, cursor.id2);
}

bool rowFetched(const IISQLCA& sqlca) { return sqlca.sqlcode >= 0 && sqlca.sqlcode != 100; }

// One fetch of a one-column cursor. True while the loop goes on (a row is in `target`).
bool fetchRow(IISQLCA& sqlca, const Cursor& cursor, int length, char* target) {
  IIsqInit(&sqlca);
  if (IIcsRetrieve(cursor.name, cursor.id1, cursor.id2) != 0) {
    IIcsGetio(/*indicator=*/nullptr, /*isVariable=*/1, IISQ_TYPE_CHAR, length, target);
    IIcsERetrieve();
    return rowFetched(sqlca);
  }
  // No row. A runtime that reports none without setting 100 would otherwise keep the loop going
  // on a stale row for ever: treat it as the end.
  if (sqlca.sqlcode == 0) sqlca.sqlcode = 100;
  return false;
}

void closeCursor(IISQLCA& sqlca, const Cursor& cursor) {
  IIsqInit(&sqlca);
  IIcsClose(cursor.name, cursor.id1, cursor.id2);
}

// Packed NUL-terminated entries written into a caller's buffer of *size bytes: an entry that
// does not fit (or passes the most entries asked for), and every one after it, is counted but
// not written, so a list that grew after the caller sized its buffer never runs past it.
// finish() sets *size to the bytes used, or to the bytes the whole list needs when it did not
// fit (false).
class PackedList {
 public:
  // `maxEntries`: the most entries written, whatever room is left.
  PackedList(char* buffer, int* size, int maxEntries = INT_MAX)
      : buffer_(buffer),
        size_(size),
        room_(size != nullptr && *size > 0 ? static_cast<size_t>(*size) : 0),
        maxEntries_(maxEntries) {}
  void add(const char* entry, size_t length) {
    ++entries_;
    if (!cut_ && buffer_ != nullptr && length < room_ - used_ && entries_ <= maxEntries_) {
      std::memcpy(buffer_ + used_, entry, length);
      buffer_[used_ + length] = '\0';
      used_ += length + 1;
    } else {
      cut_ = true;
    }
    needed_ += length + 1;
  }
  int entries() const { return entries_; }
  bool finish() {
    if (size_ != nullptr) *size_ = static_cast<int>(needed_ < INT_MAX ? needed_ : INT_MAX);
    return !cut_;
  }

 private:
  char* buffer_;
  int* size_;
  size_t room_;
  size_t used_ = 0;
  size_t needed_ = 0;
  int maxEntries_;
  int entries_ = 0;
  bool cut_ = false;
};

int locationStatus(int sqlcode) {
  return (sqlcode < 0 || sqlcode == 100) ? SOUNDER_QUERY_FAILED : SOUNDER_OK;
}

// Singleton select of the area of one of the database's locations: the query text up to the
// database name, the name as a host variable, and the closing parenthesis.
int selectLocationArea(const char* queryPrefix, const char* dbName, char* target, int* sqlcode) {
  IISQLCA sqlca{};
  beginSelect(sqlca);
  writeText(queryPrefix);
  IIputdomio(/*indicator=*/nullptr, /*isVariable=*/1, IISQ_TYPE_CHAR, /*length=*/0, dbName);
  writeText(")");
  fetchSingleton(IISQ_TYPE_CHAR, kAreaLength, target);
  *sqlcode = sqlca.sqlcode;
  return locationStatus(sqlca.sqlcode);
}

// The database name is part of the data-location query text, not a host variable. A name that
// would end the quoted literal (and so rewrite the statement) or overflow the statement buffer is
// refused instead of being sent.
bool buildDataLocationQuery(const char* dbName, char (&query)[kQueryBufferSize]) {
  if (dbName == nullptr || std::strchr(dbName, '\'') != nullptr) return false;
  int n = std::snprintf(query, sizeof query, "%s%s%s", kDataLocationQueryPrefix, dbName,
                        kDataLocationQuerySuffix);
  return n > 0 && static_cast<size_t>(n) < sizeof query;
}

// Runs the data-location cursor, calling onArea(area) for every row. Returns the export's status
// and sets *sqlcode to the code after the close.
template <typename OnArea>
int forEachDataArea(const char* dbName, int* sqlcode, OnArea onArea) {
  char query[kQueryBufferSize];
  if (!buildDataLocationQuery(dbName, query)) {
    debugLine("data location query refused for database name '%s'\r\n", dbName ? dbName : "");
    *sqlcode = kSqlcodeSyntaxError;
    return SOUNDER_QUERY_FAILED;
  }
  IISQLCA sqlca{};
  openCursor(sqlca, kDataLocationCursor, query);
  char area[kAreaLength + 1];
  while (rowFetched(sqlca) && fetchRow(sqlca, kDataLocationCursor, kAreaLength, area)) {
    onArea(area);
  }
  closeCursor(sqlca, kDataLocationCursor);
  *sqlcode = sqlca.sqlcode;
  return locationStatus(sqlca.sqlcode);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

int IngConnect(int sessionId, const char* dbName, int* sqlcode) {
  IISQLCA sqlca{};
  IIsqInit(&sqlca);
  IILQsidSessID(sessionId);
  IIsqConnect(0, dbName, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
              nullptr, nullptr, nullptr, nullptr, nullptr);
  *sqlcode = sqlca.sqlcode;
  return SOUNDER_OK;
}

int IngDisconnect(int sessionId, int* sqlcode) {
  IISQLCA sqlca{};
  IIsqInit(&sqlca);
  IILQsidSessID(sessionId);
  IIsqDisconnect();
  *sqlcode = sqlca.sqlcode;
  return SOUNDER_OK;
}

int IngSetSessionId(int sessionId, int* sqlcode) {
  IISQLCA sqlca{};
  IIsqInit(&sqlca);
  IILQssSetSqlio(IISQ_ATTR_SESSION, /*indicator=*/nullptr, /*isVariable=*/1, IISQ_TYPE_INT,
                 /*length=*/4, &sessionId);
  *sqlcode = sqlca.sqlcode;
  return SOUNDER_OK;
}

int IngGetDbCount(int* count, int* sqlcode) {
  IISQLCA sqlca{};
  beginSelect(sqlca);
  writeText("select count(*) from iidatabase");
  fetchSingleton(IISQ_TYPE_INT, 4, count);
  debugLine("db count is : %d\r\n", *count);
  debugLine("db count \r\n");
  *sqlcode = sqlca.sqlcode;
  return SOUNDER_OK;
}

int IngGetDbList(char* buffer, int* bufferSize, int* count, int* sqlcode) {
  IISQLCA sqlca{};
  openCursor(sqlca, kDbListCursor, "select trim(name)from iidatabase");
  if (sqlca.sqlcode < 0) {
    *sqlcode = sqlca.sqlcode;
    return SOUNDER_QUERY_FAILED;
  }
  PackedList list(buffer, bufferSize);
  char name[kNameLength + 1] = "";
  while (rowFetched(sqlca) && fetchRow(sqlca, kDbListCursor, kNameLength, name)) {
    list.add(name, std::strlen(name));
  }
  if (sqlca.sqlcode < 0) {
    *sqlcode = sqlca.sqlcode;
    closeCursor(sqlca, kDbListCursor);
    return SOUNDER_QUERY_FAILED;
  }
  closeCursor(sqlca, kDbListCursor);
  *count = list.entries();
  *sqlcode = sqlca.sqlcode;
  if (!list.finish()) return SOUNDER_QUERY_FAILED;
  debugLine("db count is : %d,%s\r\n", list.entries(), list.entries() > 0 ? buffer : "");
  return SOUNDER_OK;
}

int IngGetTableCnt(int* count, int* sqlcode) {
  IISQLCA sqlca{};
  beginSelect(sqlca);
  writeText("select count(*)from iitables where system_use='U' and is_journalled='Y'");
  fetchSingleton(IISQ_TYPE_INT, 4, count);
  *sqlcode = sqlca.sqlcode;
  return SOUNDER_OK;
}

int IngGetTableList(void* /*ignored*/, char* buffer, int* size, int* count, int* sqlcode) {
  IISQLCA sqlca{};
  openCursor(sqlca, kTableListCursor,
             "select table_name from iitables where system_use='U' and is_journalled='Y'");
  if (sqlca.sqlcode < 0) {
    *sqlcode = sqlca.sqlcode;
    return SOUNDER_QUERY_FAILED;
  }
  PackedList list(buffer, size);
  char name[kNameLength + 1] = "";
  while (rowFetched(sqlca) && fetchRow(sqlca, kTableListCursor, kNameLength, name)) {
    size_t length = std::strlen(name);
    while (length > 0 && name[length - 1] == ' ') --length;  // the column is fixed-width
    list.add(name, length);
  }
  bool failed = sqlca.sqlcode < 0;
  closeCursor(sqlca, kTableListCursor);
  if (failed) return SOUNDER_QUERY_FAILED;
  *sqlcode = sqlca.sqlcode;
  *count = list.entries();
  list.add("", 0);  // an empty entry ends the list
  return list.finish() ? SOUNDER_OK : SOUNDER_QUERY_FAILED;
}

int IngGetJournalDest(const char* dbName, char* area, int* sqlcode) {
  // Fetched straight into the caller's area, which keeps its text when there is no row.
  return selectLocationArea(
      "select location_area from iilocation_info where location_name in(select jnldev from "
      "iidatabase where name=",
      dbName, area, sqlcode);
}

int IngGetDumpDest(const char* dbName, char* area, int* sqlcode) {
  // Fetched into an emptied buffer first, so the caller's area is always set.
  char fetched[kAreaLength + 1] = "";
  int status = selectLocationArea(
      "select location_area from iilocation_info where location_name in(select dmpdev from "
      "iidatabase where name=",
      dbName, fetched, sqlcode);
  std::memcpy(area, fetched, std::strlen(fetched) + 1);
  return status;
}

int IngGetDataLocNum(const char* dbName, int* count, int* sqlcode) {
  *count = 0;
  return forEachDataArea(dbName, sqlcode, [count](const char*) { ++*count; });
}

int IngGetDataDest(const char* dbName, char* buffer, int* count, int* sqlcode) {
  // *count holds the number of areas the buffer has room for; each takes at most kAreaSize.
  const int slots = *count > 0 && *count <= INT_MAX / kAreaSize ? *count : 0;
  int bytes = slots * kAreaSize;
  PackedList list(buffer, &bytes, slots);
  int status = forEachDataArea(dbName, sqlcode, [&](char* area) {
    size_t length = std::strlen(area);
    if (length > 0 && area[length - 1] == '\\') area[--length] = '\0';
    list.add(area, length);
    debugLine("num is %d , %s\r\n", list.entries(), area);
  });
  *count = list.entries();
  if (!list.finish()) return SOUNDER_QUERY_FAILED;
  return status;
}

int IngGetTableInfo(void) { return SOUNDER_OK; }

}  // extern "C"
