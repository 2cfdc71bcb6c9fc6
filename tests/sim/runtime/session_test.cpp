// Sessions of the runtime: connecting to the installation named by II_SYSTEM, several sessions
// by id, switching and disconnecting.
#include <windows.h>

#include <string>

#include "catalog_fixture.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

class RuntimeSession : public RuntimeTest {
 protected:
  // Which database the current session is on, told apart by their iitables.
  int32_t journaledTables(int32_t* hasRow) {
    int32_t count = -1;
    *hasRow = select({Piece{"select count(*)from iitables where system_use='U' and "
                            "is_journalled='Y'"}},
                     IISQ_TYPE_INT, 4, &count);
    return count;
  }

  std::string message() const {
    return std::string(sqlca_.sqlerrm.sqlerrmc,
                       static_cast<size_t>(std::max<int16_t>(sqlca_.sqlerrm.sqlerrml, 0)));
  }
};

TEST_F(RuntimeSession, ConnectsOnlyToListedDatabasesWithCatalogFiles) {
  addDatabase("sales");
  createCatalog("sales");
  addDatabase("lostfile");  // listed, but its catalog file is missing

  EXPECT_EQ(connect(11, "nosuchdb"), -39100) << describe(sqlca_);
  EXPECT_NE(message().find("E_US0010"), std::string::npos) << describe(sqlca_);
  EXPECT_NE(message().find("nosuchdb"), std::string::npos) << describe(sqlca_);
  // A name that is no database name never reaches the file system.
  EXPECT_EQ(connect(11, "..\\iidbdb"), -39100) << describe(sqlca_);
  EXPECT_EQ(connect(11, ""), -39100) << describe(sqlca_);
  EXPECT_EQ(connect(11, nullptr), -39100) << describe(sqlca_);
  EXPECT_EQ(connect(11, "lostfile"), -39100) << describe(sqlca_);

  // A failed connect leaves no session behind: the id is free for the next one.
  ASSERT_EQ(connect(11, "sales"), 0) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlerrm.sqlerrml, 0) << describe(sqlca_);
  EXPECT_EQ(connect(11, "iidbdb"), -33000) << "same id twice, " << describe(sqlca_);
  EXPECT_EQ(connect(21, "iidbdb"), 0) << describe(sqlca_);
  // Without IILQsidSessID the session id is 0.
  IIsqInit(&sqlca_);
  IIsqConnect(0, "sales", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
              nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(sqlca_.sqlcode, 0) << describe(sqlca_);
  EXPECT_EQ(disconnect(0), 0) << describe(sqlca_);

  // The installation is looked up at every connect.
  ASSERT_TRUE(SetEnvironmentVariableA("II_SYSTEM", nullptr)) << GetLastError();
  EXPECT_EQ(connect(31, "iidbdb"), -39100) << "II_SYSTEM unset, " << describe(sqlca_);
  ASSERT_TRUE(SetEnvironmentVariableA("II_SYSTEM", (root_ + "\\elsewhere").c_str()));
  EXPECT_EQ(connect(31, "iidbdb"), -39100) << "no catalog, " << describe(sqlca_);
  ASSERT_TRUE(SetEnvironmentVariableA("II_SYSTEM", (root_ + "\\").c_str()));
  EXPECT_EQ(connect(31, "iidbdb"), 0) << "trailing backslash, " << describe(sqlca_);
  EXPECT_EQ(disconnect(31), 0) << describe(sqlca_);
}

TEST_F(RuntimeSession, TwoSessionsByIdSwitchAndDisconnectApart) {
  addDatabase("sales");
  createCatalog("sales");
  addTable("sales", "orders", 'Y');
  addTable("sales", "lines", 'Y');
  addTable("iidbdb", "iirelation", 'Y');

  ASSERT_EQ(connect(11, "iidbdb"), 0) << describe(sqlca_);
  ASSERT_EQ(connect(21, "sales"), 0) << describe(sqlca_);

  // The newest session is current.
  int32_t hasRow = 0;
  EXPECT_EQ(journaledTables(&hasRow), 2) << describe(sqlca_);
  EXPECT_EQ(setSession(11), 0) << describe(sqlca_);
  EXPECT_EQ(journaledTables(&hasRow), 1) << describe(sqlca_);

  // An unknown id fails and leaves the current session as it was.
  EXPECT_EQ(setSession(99), -33000) << describe(sqlca_);
  EXPECT_EQ(journaledTables(&hasRow), 1) << describe(sqlca_);

  // Disconnecting another session by id keeps the current one.
  EXPECT_EQ(setSession(21), 0) << describe(sqlca_);
  EXPECT_EQ(disconnect(11), 0) << describe(sqlca_);
  EXPECT_EQ(journaledTables(&hasRow), 2) << describe(sqlca_);
  EXPECT_EQ(setSession(11), -33000) << "disconnected id, " << describe(sqlca_);

  // Disconnecting the current session leaves none current.
  ASSERT_EQ(connect(11, "iidbdb"), 0) << describe(sqlca_);
  EXPECT_EQ(disconnect(11), 0) << describe(sqlca_);
  EXPECT_EQ(journaledTables(&hasRow), -1) << describe(sqlca_);
  EXPECT_EQ(hasRow, 0) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, -33000) << "statement without a current session, " << describe(sqlca_);
  IIsqInit(&sqlca_);
  IIsqDisconnect();
  EXPECT_EQ(sqlca_.sqlcode, -33000) << "disconnect without a session, " << describe(sqlca_);

  // The other session still works once it is current again.
  EXPECT_EQ(setSession(21), 0) << describe(sqlca_);
  EXPECT_EQ(journaledTables(&hasRow), 2) << describe(sqlca_);
  EXPECT_EQ(disconnect(21), 0) << describe(sqlca_);
  EXPECT_EQ(disconnect(21), -33000) << "second disconnect, " << describe(sqlca_);

  // The session attribute takes an integer only.
  int16_t id = 21;
  IIsqInit(&sqlca_);
  IILQssSetSqlio(IISQ_ATTR_SESSION, nullptr, 1, IISQ_TYPE_INT, 4, nullptr);
  EXPECT_EQ(sqlca_.sqlcode, -33000) << "no data, " << describe(sqlca_);
  IIsqInit(&sqlca_);
  IILQssSetSqlio(12, nullptr, 1, IISQ_TYPE_INT, 2, &id);
  EXPECT_EQ(sqlca_.sqlcode, -33000) << "other attribute, " << describe(sqlca_);
}

}  // namespace
}  // namespace ferry::test
