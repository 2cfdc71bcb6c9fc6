// A thin owner of one SQLite catalog file and its prepared statements: enough for ingsim to
// fill the catalog and for infodb to read it.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace ingsim {

class CatalogFile {
 public:
  CatalogFile() = default;
  CatalogFile(const CatalogFile&) = delete;
  CatalogFile& operator=(const CatalogFile&) = delete;
  ~CatalogFile();

  // Opens (and with `create`, creates) the file; waits up to 30 s for another writer's lock.
  std::string open(const std::string& path, bool create);
  std::string exec(const std::string& sql);
  sqlite3* db() const { return db_; }
  std::string lastError(const std::string& what) const;

 private:
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(CatalogFile& file, const char* sql);
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement();

  bool ok() const { return statement_ != nullptr; }
  Statement& bind(int index, const std::string& text);
  Statement& bind(int index, int64_t value);
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int step();
  std::string text(int column) const;
  int64_t integer(int column) const;
  void reset();

 private:
  sqlite3_stmt* statement_ = nullptr;
};

// "BEGIN IMMEDIATE" ... "COMMIT", rolled back unless commit() succeeded.
class Transaction {
 public:
  explicit Transaction(CatalogFile& file);
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  ~Transaction();
  const std::string& error() const { return error_; }
  std::string commit();

 private:
  CatalogFile& file_;
  bool open_ = false;
  std::string error_;
};

// Text without the blanks that pad a CHAR(n) column.
std::string trimmedRight(const std::string& text);

}  // namespace ingsim
