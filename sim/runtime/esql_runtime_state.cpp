#include "runtime/esql_runtime_state.h"

#include <cctype>
#include <cstring>
#include <limits>

#include "runtime/sqlca_report.h"

namespace ingsim::esql {
namespace {

constexpr const char* kMasterDatabase = "iidbdb";
constexpr size_t kMaxDatabaseName = 32;

Status noSession() {
  return failure(kRuntimeLogicalError, "E_LQ002E Query issued outside of a DBMS session.");
}

Status sessionNotConnected(int64_t sessionId) {
  return failure(kRuntimeLogicalError,
                 "E_LQ00BE Session " + std::to_string(sessionId) + " is not connected.");
}

Status noRow() {
  return failure(kRuntimeLogicalError, "E_LQ00C2 No current row to fetch a value from.");
}

Status databaseDoesNotExist(const std::string& database) {
  return failure(kConnectionFailure,
                 "E_US0010 Database does not exist: '" + database.substr(0, 40) + "'.");
}

// Ingres database names: a letter or underscore, then letters, digits and _ $ # @, at most 32.
// Checked before the name becomes part of a file path.
bool isDatabaseName(const std::string& name) {
  if (name.empty() || name.size() > kMaxDatabaseName) return false;
  if (std::isalpha(static_cast<unsigned char>(name[0])) == 0 && name[0] != '_') return false;
  for (char c : name) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0 && std::strchr("_$#@", c) == nullptr) {
      return false;
    }
  }
  return true;
}

// Whether iidatabase of the master catalog lists the database.
Status checkDatabaseListed(sqlite3* master, const std::string& database) {
  StatementText text;
  text.appendText("select count(*) from iidatabase where name=");
  text.appendParameter(SqlValue::ofText(database));
  std::unique_ptr<Query> query;
  Status status = Query::prepare(master, text, &query);
  bool hasRow = false;
  if (status.ok()) status = query->step(&hasRow);
  if (!status.ok() || !hasRow) {
    return failure(kConnectionFailure,
                   "E_LQ0001 The installation's catalog cannot be read: " + status.message);
  }
  const SqlValue count = query->column(0);
  if (count.kind != SqlValue::Kind::Integer || count.integer < 1) {
    return databaseDoesNotExist(database);
  }
  return okStatus();
}

std::string trimmedBlanks(const char* text) {
  std::string result(text, ::strnlen(text, 256));
  const size_t first = result.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const size_t last = result.find_last_not_of(' ');
  return result.substr(first, last - first + 1);
}

}  // namespace

EsqlRuntime::EsqlRuntime(CatalogLocator locator) : locator_(std::move(locator)) {}

EsqlRuntime::~EsqlRuntime() = default;

void EsqlRuntime::report(const Status& status) { reportToSqlca(sqlca_, status); }

void EsqlRuntime::init(IISQLCA* sqlca) {
  sqlca_ = sqlca;
  resetSqlca(sqlca_);
  namedId_.reset();
  text_.clear();
  pending_ = Pending::None;
  pendingCursor_.reset();
  // A select that its caller never flushed ends with the next statement.
  select_.reset();
  selectFailed_ = false;
  rowCursor_.reset();
}

void EsqlRuntime::nameSession(int32_t sessionId) { namedId_ = sessionId; }

EsqlRuntime::Session* EsqlRuntime::currentSession() {
  if (!currentId_) return nullptr;
  auto it = sessions_.find(*currentId_);
  return it == sessions_.end() ? nullptr : it->second.get();
}

Status EsqlRuntime::requireSession(Session** session) {
  *session = currentSession();
  return *session != nullptr ? okStatus() : noSession();
}

void EsqlRuntime::connect(const char* database) {
  const int32_t sessionId = namedId_.value_or(0);
  namedId_.reset();
  if (database == nullptr) {
    report(failure(kConnectionFailure, "E_LQ0001 No database named in the connect statement."));
    return;
  }
  if (sessions_.contains(sessionId)) {
    report(failure(kRuntimeLogicalError,
                   "E_LQ00BD Session " + std::to_string(sessionId) + " is already connected."));
    return;
  }
  // Fixed-width host variables arrive blank-padded.
  const std::string name = trimmedBlanks(database);
  if (!isDatabaseName(name)) {
    report(databaseDoesNotExist(name));
    return;
  }

  std::string masterPath;
  Status status = locator_(kMasterDatabase, &masterPath);
  unique_sqlite master;
  if (status.ok()) status = openCatalogFile(masterPath, &master);
  if (status.ok()) status = checkDatabaseListed(master.get(), name);
  if (!status.ok()) {
    report(status);
    return;
  }

  auto session = std::make_unique<Session>();
  session->database = name;
  if (name == kMasterDatabase) {
    session->db = std::move(master);
  } else {
    std::string path;
    status = locator_(name, &path);
    if (status.ok()) status = openCatalogFile(path, &session->db);
    if (!status.ok()) {
      report(status);
      return;
    }
  }
  sessions_[sessionId] = std::move(session);
  currentId_ = sessionId;
}

void EsqlRuntime::forgetSessionState(int32_t sessionId) {
  if (select_ && selectSession_ == sessionId) select_.reset();
  if (rowCursor_ && rowCursor_->first == sessionId) rowCursor_.reset();
}

void EsqlRuntime::disconnect() {
  const std::optional<int32_t> sessionId = namedId_ ? namedId_ : currentId_;
  namedId_.reset();
  if (!sessionId) {
    report(noSession());
    return;
  }
  auto it = sessions_.find(*sessionId);
  if (it == sessions_.end()) {
    report(sessionNotConnected(*sessionId));
    return;
  }
  forgetSessionState(*sessionId);
  sessions_.erase(it);
  if (currentId_ == sessionId) currentId_.reset();
}

void EsqlRuntime::setAttribute(int32_t attribute, int16_t* indicator, int32_t type, int32_t length,
                               const void* data) {
  if (attribute != IISQ_ATTR_SESSION) {
    report(failure(kRuntimeLogicalError,
                   "E_LQ00C0 Attribute " + std::to_string(attribute) + " cannot be set."));
    return;
  }
  SqlValue value;
  Status status = readHostVariable(indicator, type, length, data, &value);
  if (status.ok() && value.kind != SqlValue::Kind::Integer) {
    status = failure(kHostVariableMismatch, "E_LQ000C A session id must be an integer.");
  }
  if (!status.ok()) {
    report(status);
    return;
  }
  if (value.integer < std::numeric_limits<int32_t>::min() ||
      value.integer > std::numeric_limits<int32_t>::max() ||
      !sessions_.contains(static_cast<int32_t>(value.integer))) {
    report(sessionNotConnected(value.integer));
    return;
  }
  currentId_ = static_cast<int32_t>(value.integer);
}

void EsqlRuntime::setMode([[maybe_unused]] int32_t mode) {
  // Singleton mode (1) needs nothing of its own: its caller asks IInextget once, and the first
  // row is its result. Other modes of the real runtime are not used by our callers.
}

void EsqlRuntime::writeText(int32_t trim, int32_t type, int32_t length, const char* text) {
  std::string piece;
  Status status = readTextPiece(trim, type, length, text, &piece);
  if (status.ok()) {
    text_.appendText(piece);
  } else {
    text_.fail(std::move(status));
  }
  if (!text_.status().ok()) report(text_.status());
}

void EsqlRuntime::putValue(int16_t* indicator, int32_t type, int32_t length, const void* data) {
  SqlValue value;
  Status status = readHostVariable(indicator, type, length, data, &value);
  if (status.ok()) {
    text_.appendParameter(std::move(value));
  } else {
    text_.fail(std::move(status));
  }
  if (!text_.status().ok()) report(text_.status());
}

void EsqlRuntime::beginSelect() {
  select_.reset();
  selectFailed_ = true;
  Session* session = nullptr;
  Status status = requireSession(&session);
  std::unique_ptr<Query> query;
  if (status.ok()) status = Query::prepare(session->db.get(), text_, &query);
  text_.clear();
  pending_ = Pending::None;
  if (!status.ok()) {
    report(status);
    return;
  }
  select_.emplace();
  select_->query = std::move(query);
  selectSession_ = *currentId_;
  selectFailed_ = false;
}

Status EsqlRuntime::nextRowOf(Fetch& fetch, bool* hasRow) {
  fetch.onRow = false;
  fetch.nextColumn = 0;
  Status status = fetch.query->step(hasRow);
  fetch.onRow = status.ok() && *hasRow;
  return status;
}

bool EsqlRuntime::nextRow() {
  // The failure of IIretinit stays in the sqlca; "no row" is all that is left to say.
  if (selectFailed_) return false;
  if (!select_) {
    report(failure(kRuntimeLogicalError, "E_LQ00C1 No select statement is running."));
    return false;
  }
  bool hasRow = false;
  Status status = nextRowOf(*select_, &hasRow);
  if (!status.ok()) {
    report(status);
    return false;
  }
  if (!hasRow) {
    report(failure(kNoMoreRows, ""));
    return false;
  }
  return true;
}

void EsqlRuntime::fetchColumn(Fetch* fetch, int16_t* indicator, int32_t type, int32_t length,
                              void* target) {
  if (!fetch->onRow) {
    report(noRow());
    return;
  }
  if (fetch->nextColumn >= fetch->query->columnCount()) {
    report(failure(kRuntimeLogicalError, "E_LQ00C3 More host variables than result columns (" +
                                             std::to_string(fetch->query->columnCount()) + ")."));
    return;
  }
  const SqlValue value = fetch->query->column(fetch->nextColumn++);
  bool truncated = false;
  Status status = storeHostVariable(value, indicator, type, length, target, &truncated);
  if (!status.ok()) {
    report(status);
  } else if (truncated) {
    warnTruncation(sqlca_);
  }
}

void EsqlRuntime::getValue(int16_t* indicator, int32_t type, int32_t length, void* target) {
  if (selectFailed_) return;
  if (!select_) {
    report(noRow());
    return;
  }
  fetchColumn(&*select_, indicator, type, length, target);
}

void EsqlRuntime::endSelect() {
  select_.reset();
  selectFailed_ = false;
  text_.clear();
  pending_ = Pending::None;
}

std::optional<EsqlRuntime::CursorKey> EsqlRuntime::cursorKey(const char* name, int32_t id1,
                                                             int32_t id2) {
  if (name == nullptr) {
    report(failure(kCursorUnknown, "E_LQ0058 No cursor name given."));
    return std::nullopt;
  }
  return CursorKey{std::string(name, ::strnlen(name, 256)), id1, id2};
}

EsqlRuntime::Fetch* EsqlRuntime::findCursor(const CursorKey& key) {
  Session* session = currentSession();
  if (session == nullptr) return nullptr;
  auto it = session->cursors.find(key);
  return it == session->cursors.end() ? nullptr : &it->second;
}

void EsqlRuntime::openCursor(const char* name, int32_t id1, int32_t id2) {
  text_.clear();
  pending_ = Pending::OpenFailed;
  pendingCursor_.reset();
  std::optional<CursorKey> key = cursorKey(name, id1, id2);
  if (!key) return;
  Session* session = nullptr;
  Status status = requireSession(&session);
  if (!status.ok()) {
    report(status);
    return;
  }
  if (findCursor(*key) != nullptr) {
    report(failure(kRuntimeLogicalError, "E_LQ0059 Cursor '" + key->name + "' is already open."));
    return;
  }
  pending_ = Pending::Cursor;
  pendingCursor_ = std::move(key);
}

void EsqlRuntime::runCursor(const char* name, int32_t id1, int32_t id2) {
  if (pending_ == Pending::OpenFailed) {
    text_.clear();
    pending_ = Pending::None;
    return;
  }
  std::optional<CursorKey> key = cursorKey(name, id1, id2);
  const bool opened = key && pending_ == Pending::Cursor && pendingCursor_ == key;
  Session* session = nullptr;
  Status status = requireSession(&session);
  std::unique_ptr<Query> query;
  if (status.ok() && !opened) {
    status = failure(kCursorUnknown, "E_LQ0058 Cursor '" + (key ? key->name : std::string()) +
                                         "' was not opened for this query.");
  }
  if (status.ok()) status = Query::prepare(session->db.get(), text_, &query);
  text_.clear();
  pending_ = Pending::None;
  pendingCursor_.reset();
  if (!status.ok()) {
    // A cursor whose query failed is not open: the caller does not close it.
    if (key) report(status);
    return;
  }
  session->cursors[*key].query = std::move(query);
}

bool EsqlRuntime::retrieveCursor(const char* name, int32_t id1, int32_t id2) {
  rowCursor_.reset();
  std::optional<CursorKey> key = cursorKey(name, id1, id2);
  if (!key) return false;
  Session* session = nullptr;
  Status status = requireSession(&session);
  if (!status.ok()) {
    report(status);
    return false;
  }
  Fetch* fetch = findCursor(*key);
  if (fetch == nullptr) {
    report(failure(kCursorUnknown, "E_LQ0058 Cursor '" + key->name + "' is not open."));
    return false;
  }
  bool hasRow = false;
  status = nextRowOf(*fetch, &hasRow);
  if (!status.ok()) {
    report(status);
    return false;
  }
  if (!hasRow) {
    report(failure(kNoMoreRows, ""));
    return false;
  }
  rowCursor_.emplace(*currentId_, std::move(*key));
  return true;
}

void EsqlRuntime::getCursorValue(int16_t* indicator, int32_t type, int32_t length, void* target) {
  Fetch* fetch = nullptr;
  if (rowCursor_) {
    auto session = sessions_.find(rowCursor_->first);
    if (session != sessions_.end()) {
      auto it = session->second->cursors.find(rowCursor_->second);
      if (it != session->second->cursors.end()) fetch = &it->second;
    }
  }
  if (fetch == nullptr) {
    report(noRow());
    return;
  }
  fetchColumn(fetch, indicator, type, length, target);
}

void EsqlRuntime::endCursorRow() {
  if (!rowCursor_) return;
  auto session = sessions_.find(rowCursor_->first);
  if (session != sessions_.end()) {
    auto it = session->second->cursors.find(rowCursor_->second);
    if (it != session->second->cursors.end()) it->second.onRow = false;
  }
  rowCursor_.reset();
}

void EsqlRuntime::closeCursor(const char* name, int32_t id1, int32_t id2) {
  std::optional<CursorKey> key = cursorKey(name, id1, id2);
  if (!key) return;
  Session* session = nullptr;
  Status status = requireSession(&session);
  if (!status.ok()) {
    report(status);
    return;
  }
  auto it = session->cursors.find(*key);
  if (it == session->cursors.end()) {
    report(failure(kCursorUnknown, "E_LQ0058 Cursor '" + key->name + "' is not open."));
    return;
  }
  if (rowCursor_ && rowCursor_->first == *currentId_ && rowCursor_->second == *key) {
    rowCursor_.reset();
  }
  session->cursors.erase(it);
}

}  // namespace ingsim::esql
