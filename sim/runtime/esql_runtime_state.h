// The process-wide state of the simulated embedded-SQL runtime and the behaviour of each runtime
// call on it. The exported functions (esql_exports.cpp) serialise their calls and forward here;
// nothing in this class locks or touches the platform, so every rule is in one place.
//
// Sessions: keyed by session id; at most one is current. IILQsidSessID names the session of the
// next IIsqConnect or IIsqDisconnect only (IIsqInit forgets it); without it, IIsqConnect uses
// session id 0 and IIsqDisconnect the current session. Disconnecting the current session leaves
// none current; disconnecting another one leaves the current session as it is.
//
// Statements: IIsqInit starts one, naming the sqlca every later call reports into. Text and host
// variables are assembled until IIretinit (a select whose rows IInextget delivers; a singleton
// select is the same select whose caller asks for one row, so its first row is the result) or
// IIcsQuery (a cursor, kept in its session under name and ids until IIcsClose). A failed call
// records a negative sqlcode; calls that depend on it then return "no row" without overwriting it.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "catalog/esql_runtime.h"
#include "runtime/catalog_query.h"
#include "runtime/statement_text.h"

namespace ingsim::esql {

class EsqlRuntime {
 public:
  // Catalog file of a database, as a UTF-8 path: <II_SYSTEM>\ingres\files\catalog\<db>.sdb.
  // Fails with kConnectionFailure when the installation cannot be found.
  using CatalogLocator = std::function<Status(const std::string& database, std::string* path)>;

  explicit EsqlRuntime(CatalogLocator locator);
  ~EsqlRuntime();
  EsqlRuntime(const EsqlRuntime&) = delete;
  EsqlRuntime& operator=(const EsqlRuntime&) = delete;

  void init(IISQLCA* sqlca);
  void nameSession(int32_t sessionId);
  void connect(const char* database);
  void disconnect();
  void setAttribute(int32_t attribute, int16_t* indicator, int32_t type, int32_t length,
                    const void* data);

  void setMode(int32_t mode);
  void writeText(int32_t trim, int32_t type, int32_t length, const char* text);
  void putValue(int16_t* indicator, int32_t type, int32_t length, const void* data);
  void beginSelect();
  bool nextRow();
  void getValue(int16_t* indicator, int32_t type, int32_t length, void* target);
  void endSelect();

  void openCursor(const char* name, int32_t id1, int32_t id2);
  void runCursor(const char* name, int32_t id1, int32_t id2);
  bool retrieveCursor(const char* name, int32_t id1, int32_t id2);
  void getCursorValue(int16_t* indicator, int32_t type, int32_t length, void* target);
  void endCursorRow();
  void closeCursor(const char* name, int32_t id1, int32_t id2);

  // Reports a failure of the call in progress (used for errors outside the rules, such as an
  // exception caught at the export boundary).
  void report(const Status& status);

 private:
  struct CursorKey {
    std::string name;
    int32_t id1 = 0;
    int32_t id2 = 0;
    auto operator<=>(const CursorKey&) const = default;
  };

  // The rows of a select or a cursor and where the caller is in them.
  struct Fetch {
    std::unique_ptr<Query> query;
    bool onRow = false;  // a row is current: its columns may be fetched
    int nextColumn = 0;  // the column the next fetch call delivers
  };

  struct Session {
    std::string database;
    unique_sqlite db;
    // Declared after db so that the cursors' statements are finalised before db closes.
    std::map<CursorKey, Fetch> cursors;
  };

  // Cursor: IIcsOpen named pendingCursor_; OpenFailed: IIcsOpen reported an error, which its
  // IIcsQuery keeps in the sqlca.
  enum class Pending { None, Cursor, OpenFailed };

  Session* currentSession();
  Status requireSession(Session** session);
  Status nextRowOf(Fetch& fetch, bool* hasRow);
  void fetchColumn(Fetch* fetch, int16_t* indicator, int32_t type, int32_t length, void* target);
  std::optional<CursorKey> cursorKey(const char* name, int32_t id1, int32_t id2);
  Fetch* findCursor(const CursorKey& key);
  void forgetSessionState(int32_t sessionId);

  CatalogLocator locator_;
  IISQLCA* sqlca_ = nullptr;

  std::map<int32_t, std::unique_ptr<Session>> sessions_;
  std::optional<int32_t> currentId_;
  std::optional<int32_t> namedId_;

  // The statement being assembled and what it is for.
  StatementText text_;
  Pending pending_ = Pending::None;
  std::optional<CursorKey> pendingCursor_;

  // The select started by IIretinit, in session selectSession_; failed: IIretinit reported an
  // error, so IInextget delivers nothing.
  std::optional<Fetch> select_;
  int32_t selectSession_ = 0;
  bool selectFailed_ = false;

  // The cursor whose row IIcsGetio reads, between IIcsRetrieve and IIcsERetrieve.
  std::optional<std::pair<int32_t, CursorKey>> rowCursor_;
};

}  // namespace ingsim::esql
