// The statements of a session, run on its SQLite catalog file: opening a catalog file, preparing
// an assembled statement with its parameters bound, stepping through its rows, reading columns,
// and turning SQLite's complaints into Ingres-like errors.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

#include "runtime/host_values.h"
#include "runtime/runtime_status.h"
#include "runtime/statement_text.h"

namespace ingsim::esql {

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using unique_sqlite = std::unique_ptr<sqlite3, SqliteCloser>;

struct SqliteFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using unique_statement = std::unique_ptr<sqlite3_stmt, SqliteFinalizer>;

// Opens an existing catalog file read-only: the runtime serves queries, and a stray statement
// must not change the catalog that ingsim and the utilities own. Those programs may write it
// at the same time, so a locked file is waited for a few seconds.
Status openCatalogFile(const std::string& utf8Path, unique_sqlite* db);

// A prepared statement and the rows it yields.
class Query {
 public:
  // Prepares `text` on `db` and binds its parameters. Text that holds more than one statement or
  // placeholders of its own is a syntax error.
  static Status prepare(sqlite3* db, const StatementText& text, std::unique_ptr<Query>* query);

  // Moves to the next row. kOk with *hasRow true: a row; kOk with *hasRow false: no more rows
  // (also on every later call, SQLite would start over); negative: an error.
  Status step(bool* hasRow);

  int columnCount() const;
  // Column of the current row (0-based, below columnCount()).
  SqlValue column(int index) const;

 private:
  explicit Query(unique_statement statement) : statement_(std::move(statement)) {}

  unique_statement statement_;
  bool finished_ = false;
};

}  // namespace ingsim::esql
