// A throw-away installation for one runtime test: C:\ferrytest\rt_<test>\ with the catalog files
// the test fills, named by II_SYSTEM in this process's environment. And the runtime calls in the
// patterns the catalog library uses, so tests read as the library's queries do.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/esql_runtime.h"

namespace ferry::test {

// "sqlcode=-30100 sqlerrm='E_US0845 ...'", for assertion messages.
std::string describe(const IISQLCA& sqlca);

// One piece of a statement: literal text (IIwritio) or a string host variable (IIputdomio).
struct Piece {
  const char* text;
  bool isVariable = false;
};
inline Piece hostVariable(const char* value) { return Piece{value, true}; }

class RuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates <db>.sdb with the master schema (iidbdb) or the per-database one.
  void createCatalog(const std::string& database);
  // Runs one statement on a catalog file; `values` bind to ?1, ?2, ... as text.
  void execute(const std::string& database, const std::string& sql,
               const std::vector<std::string>& values = {});
  // Rows of the master catalog, CHAR values blank-padded as Ingres stores them.
  void addDatabase(const std::string& name, const std::string& jnldev = "ii_journal",
                   const std::string& dmpdev = "ii_dump");
  void addLocation(const std::string& name, const std::string& area, char dataUsage = 'Y');
  void addExtent(const std::string& location, const std::string& database);
  void addTable(const std::string& database, const std::string& table, char journalled);

  // The session statements.
  int32_t connect(int32_t sessionId, const char* database);
  int32_t disconnect(int32_t sessionId);
  int32_t setSession(int32_t sessionId);

  // Singleton select: returns IInextget's answer; `target` receives the one column.
  int32_t select(const std::vector<Piece>& pieces, int32_t type, int32_t length, void* target);

  // Cursor: open and query (returns sqlcode), fetch loop into strings of at most `length`
  // characters (ends as the library's loop ends; *endCode receives the final sqlcode), close.
  int32_t openCursor(const char* name, int32_t id1, int32_t id2, const std::string& text);
  std::vector<std::string> fetchAll(const char* name, int32_t id1, int32_t id2, int32_t length,
                                    int32_t* endCode);
  int32_t closeCursor(const char* name, int32_t id1, int32_t id2);

  std::string root_;  // II_SYSTEM of this test
  IISQLCA sqlca_{};
};

}  // namespace ferry::test
