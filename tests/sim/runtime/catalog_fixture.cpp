#include "catalog_fixture.h"

#include <windows.h>

#include <algorithm>

#include "catalog/catalog_schema.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

constexpr int32_t kLeftOpenSessions[] = {0, 11, 21};

void createFolders(const std::string& path) {
  for (size_t at = path.find('\\', 3);; at = path.find('\\', at + 1)) {
    // An existing folder is fine: the loop walks every level of the path.
    CreateDirectoryA(path.substr(0, at).c_str(), /*security=*/nullptr);
    if (at == std::string::npos) break;
  }
}

}  // namespace

std::string describe(const IISQLCA& sqlca) {
  const size_t length =
      sqlca.sqlerrm.sqlerrml >= 0
          ? std::min<size_t>(sqlca.sqlerrm.sqlerrml, sizeof sqlca.sqlerrm.sqlerrmc)
          : 0;
  return "sqlcode=" + std::to_string(sqlca.sqlcode) + " sqlerrm='" +
         std::string(sqlca.sqlerrm.sqlerrmc, length) + "'";
}

void RuntimeTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  root_ = std::string("C:\\ferrytest\\rt_") + info->test_suite_name() + "_" + info->name();
  removeTree(root_);
  createFolders(root_ + ingsim::kCatalogFolder);
  ASSERT_TRUE(SetEnvironmentVariableA("II_SYSTEM", root_.c_str())) << GetLastError();
  createCatalog("iidbdb");
  addDatabase("iidbdb");
}

void RuntimeTest::TearDown() {
  // Sessions live as long as the process; later tests in this program must start without them.
  IISQLCA scratch{};
  for (int32_t id : kLeftOpenSessions) {
    IIsqInit(&scratch);
    IILQsidSessID(id);
    IIsqDisconnect();
  }
  SetEnvironmentVariableA("II_SYSTEM", nullptr);
  removeTree(root_);
}

void RuntimeTest::createCatalog(const std::string& database) {
  if (database == "iidbdb") execute(database, ingsim::kMasterCatalogSchema);
  execute(database, ingsim::kDatabaseCatalogSchema);
}

void RuntimeTest::execute(const std::string& database, const std::string& sql,
                          const std::vector<std::string>& values) {
  const std::string path = root_ + ingsim::kCatalogFolder + "\\" + database + ".sdb";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK) << path;
  const char* rest = sql.c_str();
  while (*rest != '\0') {
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, rest, -1, &statement, &rest), SQLITE_OK)
        << sqlite3_errmsg(db) << " in " << sql;
    if (statement == nullptr) break;  // only blanks left
    for (size_t i = 0; i < values.size(); ++i) {
      sqlite3_bind_text(statement, static_cast<int>(i + 1), values[i].c_str(), -1,
                        SQLITE_TRANSIENT);
    }
    EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE) << sqlite3_errmsg(db) << " in " << sql;
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
}

void RuntimeTest::addDatabase(const std::string& name, const std::string& jnldev,
                              const std::string& dmpdev) {
  static int nextId = 1;
  execute("iidbdb",
          "insert into iidatabase (name, own, dbdev, ckpdev, jnldev, dmpdev, sortdev, db_id) "
          "values (?1, ?2, ?3, ?4, ?5, ?6, ?7, " +
              std::to_string(nextId++) + ")",
          {ingsim::padded(name, 32), ingsim::padded("ingres", 32),
           ingsim::padded("ii_database", 32), ingsim::padded("ii_checkpoint", 32),
           ingsim::padded(jnldev, 32), ingsim::padded(dmpdev, 32), ingsim::padded("ii_work", 32)});
}

void RuntimeTest::addLocation(const std::string& name, const std::string& area, char dataUsage) {
  execute("iidbdb",
          "insert into iilocation_info (location_name, data_usage, location_area) "
          "values (?1, ?2, ?3)",
          {ingsim::padded(name, 32), std::string(1, dataUsage), area});
}

void RuntimeTest::addExtent(const std::string& location, const std::string& database) {
  execute("iidbdb", "insert into iiextend_info (location_name, database_name) values (?1, ?2)",
          {ingsim::padded(location, 32), ingsim::padded(database, 32)});
}

void RuntimeTest::addTable(const std::string& database, const std::string& table, char journalled) {
  execute(database,
          "insert into iitables (table_name, table_owner, is_journalled) values (?1, ?2, ?3)",
          {ingsim::padded(table, 32), ingsim::padded("ingres", 32), std::string(1, journalled)});
}

int32_t RuntimeTest::connect(int32_t sessionId, const char* database) {
  IIsqInit(&sqlca_);
  IILQsidSessID(sessionId);
  IIsqConnect(0, database, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
              nullptr, nullptr, nullptr, nullptr, nullptr);
  return sqlca_.sqlcode;
}

int32_t RuntimeTest::disconnect(int32_t sessionId) {
  IIsqInit(&sqlca_);
  IILQsidSessID(sessionId);
  IIsqDisconnect();
  return sqlca_.sqlcode;
}

int32_t RuntimeTest::setSession(int32_t sessionId) {
  IIsqInit(&sqlca_);
  IILQssSetSqlio(IISQ_ATTR_SESSION, nullptr, 1, IISQ_TYPE_INT, 4, &sessionId);
  return sqlca_.sqlcode;
}

int32_t RuntimeTest::select(const std::vector<Piece>& pieces, int32_t type, int32_t length,
                            void* target) {
  IIsqInit(&sqlca_);
  IIsqMods(IISQ_MODE_SINGLETON);
  for (const Piece& piece : pieces) {
    if (piece.isVariable) {
      IIputdomio(nullptr, 1, IISQ_TYPE_CHAR, 0, piece.text);
    } else {
      IIwritio(0, nullptr, 1, IISQ_TYPE_CHAR, 0, piece.text);
    }
  }
  IIretinit(nullptr, 0);
  const int32_t hasRow = IInextget();
  if (hasRow != 0) IIgetdomio(nullptr, 1, type, length, target);
  IIsqFlush(nullptr, 0);
  return hasRow;
}

int32_t RuntimeTest::openCursor(const char* name, int32_t id1, int32_t id2,
                                const std::string& text) {
  IIsqInit(&sqlca_);
  IIcsOpen(name, id1, id2);
  IIwritio(0, nullptr, 1, IISQ_TYPE_CHAR, 0, text.c_str());
  IIcsQuery(name, id1, id2);
  return sqlca_.sqlcode;
}

std::vector<std::string> RuntimeTest::fetchAll(const char* name, int32_t id1, int32_t id2,
                                               int32_t length, int32_t* endCode) {
  std::vector<std::string> rows;
  std::vector<char> value(static_cast<size_t>(length) + 1);
  // Bounded, so that a runtime that never reports the end fails the test instead of hanging it.
  for (int guard = 0; guard < 1000; ++guard) {
    IIsqInit(&sqlca_);
    if (IIcsRetrieve(name, id1, id2) != 0) {
      IIcsGetio(nullptr, 1, IISQ_TYPE_CHAR, length, value.data());
      IIcsERetrieve();
      rows.emplace_back(value.data());
    }
    if (sqlca_.sqlcode < 0 || sqlca_.sqlcode == 100) break;
  }
  *endCode = sqlca_.sqlcode;
  return rows;
}

int32_t RuntimeTest::closeCursor(const char* name, int32_t id1, int32_t id2) {
  IIsqInit(&sqlca_);
  IIcsClose(name, id1, id2);
  return sqlca_.sqlcode;
}

}  // namespace ferry::test
