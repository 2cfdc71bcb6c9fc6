#include "runtime/catalog_query.h"

#include <cstring>
#include <string_view>

namespace ingsim::esql {
namespace {

constexpr int kBusyTimeoutMs = 5000;

// The name SQLite quotes after "no such table: " / "no such column: ".
std::string namedObject(std::string_view message, std::string_view prefix) {
  std::string_view rest = message.substr(prefix.size());
  const size_t dot = rest.rfind('.');
  if (dot != std::string_view::npos) rest = rest.substr(dot + 1);
  return std::string(rest);
}

// Prepare-time complaints, in the wording an Ingres server would use for them.
Status prepareError(sqlite3* db) {
  const std::string_view message = sqlite3_errmsg(db);
  constexpr std::string_view kNoTable = "no such table: ";
  constexpr std::string_view kNoColumn = "no such column: ";
  if (message.starts_with(kNoTable)) {
    return failure(kTableNotFound, "E_US0845 Table '" + namedObject(message, kNoTable) +
                                       "' does not exist or is not owned by you.");
  }
  if (message.starts_with(kNoColumn)) {
    return failure(kColumnNotFound, "E_US0836 Column '" + namedObject(message, kNoColumn) +
                                        "' not found in any table of the query.");
  }
  return failure(kSyntaxError, "E_US09C4 Syntax error: " + std::string(message) + ".");
}

bool onlyBlanks(const char* text) {
  for (; *text != '\0'; ++text) {
    if (std::strchr(" \t\r\n;", *text) == nullptr) return false;
  }
  return true;
}

Status bindParameter(sqlite3_stmt* statement, int index, const SqlValue& value) {
  int rc = SQLITE_OK;
  switch (value.kind) {
    case SqlValue::Kind::Null:
      rc = sqlite3_bind_null(statement, index);
      break;
    case SqlValue::Kind::Integer:
      rc = sqlite3_bind_int64(statement, index, value.integer);
      break;
    case SqlValue::Kind::Text:
      rc = sqlite3_bind_text(statement, index, value.text.data(),
                             static_cast<int>(value.text.size()), SQLITE_TRANSIENT);
      break;
  }
  if (rc != SQLITE_OK) {
    return failure(kOtherError, "E_LQ00A4 Host variable " + std::to_string(index) +
                                    " cannot be bound (" + sqlite3_errstr(rc) + ").");
  }
  return okStatus();
}

}  // namespace

Status openCatalogFile(const std::string& utf8Path, unique_sqlite* db) {
  db->reset();
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(utf8Path.c_str(), &raw, SQLITE_OPEN_READONLY, /*vfs=*/nullptr);
  unique_sqlite opened(raw);
  if (rc != SQLITE_OK) {
    return failure(kConnectionFailure, "E_LQ0001 Cannot open catalog " + utf8Path + ": " +
                                           (raw != nullptr ? sqlite3_errmsg(raw) : "no memory"));
  }
  sqlite3_busy_timeout(opened.get(), kBusyTimeoutMs);
  *db = std::move(opened);
  return okStatus();
}

Status Query::prepare(sqlite3* db, const StatementText& text, std::unique_ptr<Query>* query) {
  query->reset();
  if (!text.status().ok()) return text.status();
  if (text.text().find_first_not_of(" \t\r\n") == std::string::npos) {
    return failure(kSyntaxError, "E_US09C4 Syntax error: the statement is empty.");
  }
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v2(db, text.text().c_str(), static_cast<int>(text.text().size()),
                                    &raw, &tail);
  unique_statement statement(raw);
  if (rc != SQLITE_OK) return prepareError(db);
  if (tail != nullptr && !onlyBlanks(tail)) {
    return failure(kSyntaxError, "E_US09C4 Syntax error: more than one statement in the text.");
  }
  const int placeholders = sqlite3_bind_parameter_count(statement.get());
  if (static_cast<size_t>(placeholders) != text.parameters().size()) {
    return failure(kSyntaxError, "E_US09C4 Syntax error: the text holds parameter markers.");
  }
  for (size_t i = 0; i < text.parameters().size(); ++i) {
    Status status = bindParameter(statement.get(), static_cast<int>(i + 1), text.parameters()[i]);
    if (!status.ok()) return status;
  }
  query->reset(new Query(std::move(statement)));
  return okStatus();
}

Status Query::step(bool* hasRow) {
  *hasRow = false;
  if (finished_) return okStatus();
  const int rc = sqlite3_step(statement_.get());
  if (rc == SQLITE_ROW) {
    *hasRow = true;
    return okStatus();
  }
  finished_ = true;
  if (rc == SQLITE_DONE) return okStatus();
  return failure(kOtherError, std::string("E_LQ00A5 Statement failed: ") +
                                  sqlite3_errmsg(sqlite3_db_handle(statement_.get())) + ".");
}

int Query::columnCount() const { return sqlite3_column_count(statement_.get()); }

SqlValue Query::column(int index) const {
  sqlite3_stmt* statement = statement_.get();
  switch (sqlite3_column_type(statement, index)) {
    case SQLITE_NULL:
      return SqlValue::null();
    case SQLITE_INTEGER:
      return SqlValue::ofInteger(sqlite3_column_int64(statement, index));
    default: {
      // Text, and also reals and blobs in their text form: the catalog holds none of those.
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
      const int size = sqlite3_column_bytes(statement, index);
      return SqlValue::ofText(text != nullptr ? std::string(text, static_cast<size_t>(size))
                                              : std::string());
    }
  }
}

}  // namespace ingsim::esql
