// Cursor loops through the exported calls, with the catalog library's cursors and query texts.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "catalog_fixture.h"

namespace ferry::test {
namespace {

constexpr char kDataLocations[] =
    "select distinct location_area from iilocation_info where location_name in \t\t\t(select "
    "iilocation_info.location_name from iilocation_info  , iiextend_info where  "
    "iilocation_info.data_usage='Y' and  iilocation_info.location_name "
    "=iiextend_info.location_name and iiextend_info.database_name='";
static_assert(sizeof kDataLocations - 1 == 288, "the data location prefix is 288 characters");

using Rows = std::vector<std::string>;

std::string join(const Rows& rows) {
  std::string text;
  for (const std::string& row : rows) text += "[" + row + "]";
  return text;
}

class RuntimeCursor : public RuntimeTest {};

TEST_F(RuntimeCursor, DatabaseAndTableListsComeRowByRowInOrder) {
  // Inserted in name order after iidbdb, so that the catalog's order and the name order agree.
  for (const char* name : {"jobs", "ledger", "sales", "zeta"}) addDatabase(name);
  createCatalog("sales");
  addTable("sales", "orders", 'Y');
  addTable("sales", "scratch", 'N');
  addTable("sales", "t23456789012345678901234567890ab", 'Y');
  ASSERT_EQ(connect(11, "iidbdb"), 0) << describe(sqlca_);

  ASSERT_EQ(openCursor("getdblst", 3541, 30925, "select trim(name)from iidatabase"), 0)
      << describe(sqlca_);
  int32_t endCode = 0;
  Rows rows = fetchAll("getdblst", 3541, 30925, 32, &endCode);
  EXPECT_EQ(endCode, 100) << describe(sqlca_);
  EXPECT_EQ(rows, (Rows{"iidbdb", "jobs", "ledger", "sales", "zeta"})) << join(rows);
  EXPECT_EQ(closeCursor("getdblst", 3541, 30925), 0) << describe(sqlca_);

  // Without trim() the fixed-width column comes back blank-padded to its 32 characters.
  ASSERT_EQ(openCursor("getdblst", 3541, 30925, "select name from iidatabase where name='jobs'"), 0)
      << describe(sqlca_);
  rows = fetchAll("getdblst", 3541, 30925, 32, &endCode);
  EXPECT_EQ(rows, (Rows{"jobs" + std::string(28, ' ')})) << join(rows);
  EXPECT_EQ(closeCursor("getdblst", 3541, 30925), 0) << describe(sqlca_);

  ASSERT_EQ(connect(21, "sales"), 0) << describe(sqlca_);
  ASSERT_EQ(openCursor("gettblst", 3543, 8187,
                       "select table_name from iitables where system_use='U' and "
                       "is_journalled='Y'"),
            0)
      << describe(sqlca_);
  rows = fetchAll("gettblst", 3543, 8187, 32, &endCode);
  EXPECT_EQ(endCode, 100) << describe(sqlca_);
  EXPECT_EQ(rows, (Rows{"orders" + std::string(26, ' '), "t23456789012345678901234567890ab"}))
      << join(rows);
  EXPECT_EQ(closeCursor("gettblst", 3543, 8187), 0) << describe(sqlca_);
}

TEST_F(RuntimeCursor, DataLocationQueryYieldsDistinctDataAreasOfTheDatabase) {
  addDatabase("sales");
  addLocation("ii_database", "C:\\Ingres");
  addLocation("sales_loc1", "D:\\data\\");
  addLocation("sales_loc2", "D:\\data\\");     // same area as sales_loc1: reported once
  addLocation("sales_work", "W:\\work", 'N');  // not a data location
  addLocation("other_loc", "X:\\other");
  for (const char* location : {"ii_database", "sales_loc1", "sales_loc2", "sales_work"}) {
    addExtent(location, "sales");
  }
  addExtent("other_loc", "billing");
  ASSERT_EQ(connect(11, "iidbdb"), 0) << describe(sqlca_);

  const std::string text = std::string(kDataLocations) + "sales')";
  ASSERT_EQ(openCursor("getdbloc", 3541, 30925, text), 0) << describe(sqlca_);
  int32_t endCode = 0;
  Rows rows = fetchAll("getdbloc", 3541, 30925, 1023, &endCode);
  EXPECT_EQ(endCode, 100) << describe(sqlca_);
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (Rows{"C:\\Ingres", "D:\\data\\"})) << join(rows);
  EXPECT_EQ(closeCursor("getdbloc", 3541, 30925), 0) << describe(sqlca_);

  // A database without extents: the loop ends at once with 100.
  ASSERT_EQ(openCursor("getdbloc", 3541, 30925, std::string(kDataLocations) + "nosuch')"), 0)
      << describe(sqlca_);
  rows = fetchAll("getdbloc", 3541, 30925, 1023, &endCode);
  EXPECT_EQ(endCode, 100) << describe(sqlca_);
  EXPECT_TRUE(rows.empty()) << join(rows);
  EXPECT_EQ(closeCursor("getdbloc", 3541, 30925), 0) << describe(sqlca_);
}

TEST_F(RuntimeCursor, MisusedCursorsReportErrorsAndStayUsable) {
  addDatabase("sales");
  createCatalog("sales");
  ASSERT_EQ(connect(11, "iidbdb"), 0) << describe(sqlca_);
  char value[33];

  IIsqInit(&sqlca_);
  EXPECT_EQ(IIcsRetrieve("getdblst", 3541, 30925), 0) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, -30120) << "retrieve before open, " << describe(sqlca_);
  EXPECT_EQ(closeCursor("getdblst", 3541, 30925), -30120) << describe(sqlca_);
  std::memset(value, 0xbd, sizeof value);
  IIsqInit(&sqlca_);
  IIcsGetio(nullptr, 1, IISQ_TYPE_CHAR, 32, value);
  EXPECT_EQ(sqlca_.sqlcode, -33000) << "column without a row, " << describe(sqlca_);
  EXPECT_EQ(static_cast<unsigned char>(value[0]), 0xbd) << describe(sqlca_);
  IIsqInit(&sqlca_);
  IIcsQuery("getdblst", 3541, 30925);
  EXPECT_EQ(sqlca_.sqlcode, -30120) << "query without open, " << describe(sqlca_);

  // A cursor whose query fails is not open; the same cursor opens fine afterwards.
  EXPECT_EQ(openCursor("getdblst", 3541, 30925, "select trim(name)from iinosuch"), -30100)
      << describe(sqlca_);
  IIsqInit(&sqlca_);
  EXPECT_EQ(IIcsRetrieve("getdblst", 3541, 30925), 0) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, -30120) << describe(sqlca_);
  ASSERT_EQ(openCursor("getdblst", 3541, 30925, "select trim(name)from iidatabase"), 0)
      << describe(sqlca_);
  EXPECT_EQ(openCursor("getdblst", 3541, 30925, "select 1"), -33000)
      << "opened twice, " << describe(sqlca_);

  // Cursors are told apart by name and both ids, and belong to their session.
  IIsqInit(&sqlca_);
  EXPECT_EQ(IIcsRetrieve("getdblst", 3541, 1), 0) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, -30120) << describe(sqlca_);
  ASSERT_EQ(connect(21, "sales"), 0) << describe(sqlca_);
  IIsqInit(&sqlca_);
  EXPECT_EQ(IIcsRetrieve("getdblst", 3541, 30925), 0) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, -30120) << "cursor of another session, " << describe(sqlca_);
  ASSERT_EQ(setSession(11), 0) << describe(sqlca_);

  // Past the end the cursor keeps answering 100 and does not start over.
  int32_t endCode = 0;
  Rows rows = fetchAll("getdblst", 3541, 30925, 32, &endCode);
  EXPECT_EQ(rows, (Rows{"iidbdb", "sales"})) << join(rows);
  IIsqInit(&sqlca_);
  EXPECT_EQ(IIcsRetrieve("getdblst", 3541, 30925), 0) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, 100) << describe(sqlca_);
  IIsqInit(&sqlca_);
  IIcsGetio(nullptr, 1, IISQ_TYPE_CHAR, 32, value);
  EXPECT_EQ(sqlca_.sqlcode, -33000) << "column after the end, " << describe(sqlca_);
  EXPECT_EQ(closeCursor("getdblst", 3541, 30925), 0) << describe(sqlca_);
  EXPECT_EQ(closeCursor("getdblst", 3541, 30925), -30120) << "closed twice, " << describe(sqlca_);

  // Null names are refused, not followed.
  IIsqInit(&sqlca_);
  IIcsOpen(nullptr, 1, 2);
  EXPECT_EQ(sqlca_.sqlcode, -30120) << describe(sqlca_);
  IIsqInit(&sqlca_);
  EXPECT_EQ(IIcsRetrieve(nullptr, 1, 2), 0) << describe(sqlca_);
  IIsqInit(&sqlca_);
  IIcsClose(nullptr, 1, 2);
  EXPECT_EQ(sqlca_.sqlcode, -30120) << describe(sqlca_);
}

TEST_F(RuntimeCursor, DisconnectEndsTheSessionsCursorsAndSelect) {
  ASSERT_EQ(connect(11, "iidbdb"), 0) << describe(sqlca_);
  ASSERT_EQ(openCursor("getdblst", 3541, 30925, "select trim(name)from iidatabase"), 0)
      << describe(sqlca_);
  IIsqInit(&sqlca_);
  ASSERT_EQ(IIcsRetrieve("getdblst", 3541, 30925), 1) << describe(sqlca_);
  // The session goes while its cursor is on a row: the row goes with it.
  IILQsidSessID(11);
  IIsqDisconnect();
  ASSERT_EQ(sqlca_.sqlcode, 0) << describe(sqlca_);
  char value[33];
  std::memset(value, 0xbd, sizeof value);
  IIcsGetio(nullptr, 1, IISQ_TYPE_CHAR, 32, value);
  EXPECT_EQ(sqlca_.sqlcode, -33000) << describe(sqlca_);
  EXPECT_EQ(static_cast<unsigned char>(value[0]), 0xbd) << describe(sqlca_);

  // Likewise a select between IInextget and IIsqFlush.
  ASSERT_EQ(connect(21, "iidbdb"), 0) << describe(sqlca_);
  IIsqInit(&sqlca_);
  IIwritio(0, nullptr, 1, IISQ_TYPE_CHAR, 0, "select trim(name)from iidatabase");
  IIretinit(nullptr, 0);
  ASSERT_EQ(IInextget(), 1) << describe(sqlca_);
  IILQsidSessID(21);
  IIsqDisconnect();
  ASSERT_EQ(sqlca_.sqlcode, 0) << describe(sqlca_);
  IIgetdomio(nullptr, 1, IISQ_TYPE_CHAR, 32, value);
  EXPECT_EQ(sqlca_.sqlcode, -33000) << describe(sqlca_);
  EXPECT_EQ(static_cast<unsigned char>(value[0]), 0xbd) << describe(sqlca_);
  EXPECT_EQ(IInextget(), 0) << describe(sqlca_);
  IIsqFlush(nullptr, 0);

  // A new session under the same id starts without the old cursor.
  ASSERT_EQ(connect(11, "iidbdb"), 0) << describe(sqlca_);
  IIsqInit(&sqlca_);
  EXPECT_EQ(IIcsRetrieve("getdblst", 3541, 30925), 0) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, -30120) << describe(sqlca_);
}

}  // namespace
}  // namespace ferry::test
