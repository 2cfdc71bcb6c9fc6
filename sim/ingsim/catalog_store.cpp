#include "ingsim/catalog_store.h"

namespace ingsim {

CatalogFile::~CatalogFile() {
  if (db_ != nullptr) sqlite3_close(db_);
}

std::string CatalogFile::open(const std::string& path, bool create) {
  int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &db_, flags, /*vfs=*/nullptr);
  if (rc != SQLITE_OK) {
    std::string error = "opening the catalog " + path +
                        " failed: " + (db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
    sqlite3_close(db_);
    db_ = nullptr;
    return error;
  }
  sqlite3_busy_timeout(db_, 30000);
  return "";
}

std::string CatalogFile::exec(const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return "";
  std::string error =
      "catalog statement failed: " + std::string(message != nullptr ? message : "?");
  sqlite3_free(message);
  return error;
}

std::string CatalogFile::lastError(const std::string& what) const {
  return what + " failed: " + (db_ != nullptr ? sqlite3_errmsg(db_) : "no catalog open");
}

Statement::Statement(CatalogFile& file, const char* sql) {
  if (sqlite3_prepare_v2(file.db(), sql, -1, &statement_, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement_);
    statement_ = nullptr;
  }
}

Statement::~Statement() { sqlite3_finalize(statement_); }

Statement& Statement::bind(int index, const std::string& text) {
  sqlite3_bind_text(statement_, index, text.c_str(), static_cast<int>(text.size()),
                    SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::bind(int index, int64_t value) {
  sqlite3_bind_int64(statement_, index, value);
  return *this;
}

int Statement::step() { return statement_ != nullptr ? sqlite3_step(statement_) : SQLITE_MISUSE; }

std::string Statement::text(int column) const {
  const unsigned char* value = sqlite3_column_text(statement_, column);
  return value != nullptr ? reinterpret_cast<const char*>(value) : "";
}

int64_t Statement::integer(int column) const { return sqlite3_column_int64(statement_, column); }

void Statement::reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

Transaction::Transaction(CatalogFile& file) : file_(file) {
  error_ = file_.exec("BEGIN IMMEDIATE");
  open_ = error_.empty();
}

Transaction::~Transaction() {
  // A failed ROLLBACK leaves nothing to undo that SQLite does not undo on close.
  if (open_) file_.exec("ROLLBACK");
}

std::string Transaction::commit() {
  std::string error = file_.exec("COMMIT");
  if (error.empty()) open_ = false;
  return error;
}

std::string trimmedRight(const std::string& text) {
  size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

}  // namespace ingsim
