// The catalog library against simulated installations, loaded and bound the way the agent does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "catalog/catalog_schema.h"
#include "catalog_fixture.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

constexpr unsigned char kMarker = 0xbd;

// Packed NUL-terminated entries from `buffer`, `count` of them.
std::vector<std::string> unpack(const char* buffer, int count) {
  std::vector<std::string> entries;
  for (int i = 0; i < count; ++i) {
    entries.emplace_back(buffer);
    buffer += entries.back().size() + 1;
  }
  return entries;
}

size_t packedLength(const std::vector<std::string>& entries) {
  size_t n = 0;
  for (const auto& e : entries) n += e.size() + 1;
  return n;
}

std::string joined(const std::vector<std::string>& entries) {
  std::string text;
  for (const auto& e : entries) text += "[" + e + "]";
  return text;
}

// Each test case runs in its own process, in parallel with the others: the installation code
// carries the case's letter and the library generation.
class Sounder : public testing::TestWithParam<const char*> {
 protected:
  std::string code(char letter) const {
    return std::string("K") + letter + (std::strcmp(GetParam(), "sounder30.dll") == 0 ? "3" : "2");
  }
  void SetUp() override { ASSERT_EQ(lib.load(GetParam()), ""); }
  SounderLibrary lib;
};

TEST_P(Sounder, SessionsById) {
  ScopedInstallation inst(code('S'));
  ASSERT_EQ(inst.error(), "");
  ingsim::DatabaseOptions sales;
  sales.name = "sales";
  sales.journaled = true;
  sales.userTables = {"orders", "lines", "customers"};
  ASSERT_EQ(inst.addDatabase(sales), "");

  int sqlcode = 12345;
  SCOPED_TRACE("two sessions open");
  ASSERT_EQ(lib.IngConnect(11, "iidbdb", &sqlcode), 0);
  ASSERT_EQ(sqlcode, 0);
  sqlcode = 12345;
  ASSERT_EQ(lib.IngConnect(21, "sales", &sqlcode), 0);
  ASSERT_EQ(sqlcode, 0);

  // The newest connect is current: the journaled user tables of sales.
  int count = -1;
  EXPECT_EQ(lib.IngGetTableCnt(&count, &sqlcode), 0);
  EXPECT_EQ(count, 3) << "sqlcode " << sqlcode;

  // Switch to iidbdb: its catalog has no user tables, but it has iidatabase.
  EXPECT_EQ(lib.IngSetSessionId(11, &sqlcode), 0);
  EXPECT_EQ(sqlcode, 0);
  count = -1;
  EXPECT_EQ(lib.IngGetDbCount(&count, &sqlcode), 0);
  EXPECT_EQ(count, 2) << "iidbdb and sales; sqlcode " << sqlcode;
  count = -1;
  EXPECT_EQ(lib.IngGetTableCnt(&count, &sqlcode), 0);
  EXPECT_EQ(count, 0) << "sqlcode " << sqlcode;

  // Disconnect 11; 21 still answers once made current, 11 no longer can be.
  EXPECT_EQ(lib.IngDisconnect(11, &sqlcode), 0);
  EXPECT_EQ(sqlcode, 0);
  sqlcode = 0;
  EXPECT_EQ(lib.IngSetSessionId(11, &sqlcode), 0) << "the result is always 0";
  EXPECT_LT(sqlcode, 0) << "switching to a closed session";
  EXPECT_EQ(lib.IngSetSessionId(21, &sqlcode), 0);
  EXPECT_EQ(sqlcode, 0);
  count = -1;
  EXPECT_EQ(lib.IngGetTableCnt(&count, &sqlcode), 0);
  EXPECT_EQ(count, 3) << "sqlcode " << sqlcode;

  EXPECT_EQ(lib.IngDisconnect(21, &sqlcode), 0);
  EXPECT_EQ(sqlcode, 0);
  SCOPED_TRACE("no session left");
  char list[256];
  std::memset(list, kMarker, sizeof list);
  int size = sizeof list;
  count = -1;
  EXPECT_EQ(lib.IngGetDbList(list, &size, &count, &sqlcode), 14);
  EXPECT_LT(sqlcode, 0);
  EXPECT_EQ(count, -1) << "count untouched on failure";

  SCOPED_TRACE("unknown database");
  sqlcode = 0;
  EXPECT_EQ(lib.IngConnect(31, "nosuchdb", &sqlcode), 0);
  EXPECT_LT(sqlcode, 0);
}

TEST_P(Sounder, DatabaseListOfTenIsPackedWithoutEndEntry) {
  ScopedInstallation inst(code('L'));
  ASSERT_EQ(inst.error(), "");
  std::vector<std::string> expected = {"iidbdb"};
  for (int i = 1; i <= 9; ++i) {
    ingsim::DatabaseOptions db;
    db.name = "db" + std::to_string(i) + "_with_a_longer_name_" + std::string(i, 'x');
    ASSERT_EQ(inst.addDatabase(db), "");
    expected.push_back(db.name);
  }
  int sqlcode = -1;
  ASSERT_EQ(lib.IngConnect(1, "iidbdb", &sqlcode), 0);
  ASSERT_EQ(sqlcode, 0);

  int count = -1;
  EXPECT_EQ(lib.IngGetDbCount(&count, &sqlcode), 0);
  EXPECT_EQ(count, 10) << "sqlcode " << sqlcode;

  char buffer[32 * 10 + 1 + 64];
  std::memset(buffer, kMarker, sizeof buffer);
  int size = 32 * 10 + 1;
  count = -1;
  sqlcode = -1;
  ASSERT_EQ(lib.IngGetDbList(buffer, &size, &count, &sqlcode), 0) << "sqlcode " << sqlcode;
  EXPECT_EQ(sqlcode, 0);
  ASSERT_EQ(count, 10);
  std::vector<std::string> names = unpack(buffer, count);
  EXPECT_EQ(size, static_cast<int>(packedLength(names))) << "the bytes the names use";
  std::vector<std::string> sortedNames = names;
  std::sort(sortedNames.begin(), sortedNames.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(sortedNames, expected) << joined(names);
  size_t used = packedLength(names);
  EXPECT_EQ(static_cast<unsigned char>(buffer[used]), kMarker) << "no empty entry after the last";
  for (size_t i = used; i < sizeof buffer; ++i) {
    ASSERT_EQ(static_cast<unsigned char>(buffer[i]), kMarker) << "written past the list at " << i;
  }
  for (int given : {static_cast<int>(used) - 1, static_cast<int>(used), 0}) {
    SCOPED_TRACE("a buffer of " + std::to_string(given) + " bytes for " + std::to_string(used));
    // As when databases are created between the count and the list.
    std::memset(buffer, kMarker, sizeof buffer);
    size = given;
    count = -1;
    int status = lib.IngGetDbList(buffer, &size, &count, &sqlcode);
    EXPECT_EQ(count, 10) << "every database counted";
    EXPECT_EQ(size, static_cast<int>(used)) << "the bytes all names need";
    EXPECT_GE(sqlcode, 0);
    for (size_t i = static_cast<size_t>(given); i < sizeof buffer; ++i) {
      ASSERT_EQ(static_cast<unsigned char>(buffer[i]), kMarker) << "written past the size at " << i;
    }
    if (given < static_cast<int>(used)) {
      EXPECT_EQ(status, 14) << "a list that does not fit";
    } else {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(sortedNames, [&] {
        std::vector<std::string> again = unpack(buffer, count);
        std::sort(again.begin(), again.end());
        return again;
      }());
    }
  }
  lib.IngDisconnect(1, &sqlcode);
}

TEST_P(Sounder, TableListIsTrimmedAndEndsWithEmptyEntry) {
  ScopedInstallation inst(code('T'));
  ASSERT_EQ(inst.error(), "");
  ingsim::DatabaseOptions db;
  db.name = "stock";
  db.journaled = true;
  db.userTables = {"parts", std::string(32, 'w')};
  ASSERT_EQ(inst.addDatabase(db), "");
  // One more table that is not journaled and one system table: neither is listed.
  ASSERT_EQ(inst.execCatalogSql("stock",
                                "INSERT INTO iitables(table_name, table_owner, system_use, "
                                "is_journalled) VALUES ('" +
                                    ingsim::padded("scratch", 32) + "', '" +
                                    ingsim::padded("ingres", 32) + "', 'U', 'N'), ('" +
                                    ingsim::padded("iiprivate_stats", 32) + "', '" +
                                    ingsim::padded("$ingres", 32) + "', 'S', 'Y')"),
            "");
  int sqlcode = -1;
  ASSERT_EQ(lib.IngConnect(2, "stock", &sqlcode), 0);
  ASSERT_EQ(sqlcode, 0);

  char buffer[128];
  std::memset(buffer, kMarker, sizeof buffer);
  int size = 64, count = -1;
  ASSERT_EQ(lib.IngGetTableList(nullptr, buffer, &size, &count, &sqlcode), 0) << sqlcode;
  EXPECT_EQ(sqlcode, 0);
  ASSERT_EQ(count, 2);
  std::vector<std::string> names = unpack(buffer, count);
  std::set<std::string> got(names.begin(), names.end());
  EXPECT_EQ(got, (std::set<std::string>{"parts", std::string(32, 'w')})) << joined(names);
  size_t used = packedLength(names);
  EXPECT_EQ(buffer[used], '\0') << "the empty end entry";
  EXPECT_EQ(size, static_cast<int>(used + 1)) << "size counts the end entry";
  EXPECT_EQ(static_cast<unsigned char>(buffer[used + 1]), kMarker) << "nothing after the end";
  {
    SCOPED_TRACE("one byte short of the end entry: 14, the size needed, nothing past the size");
    std::memset(buffer, kMarker, sizeof buffer);
    size = static_cast<int>(used);
    EXPECT_EQ(lib.IngGetTableList(nullptr, buffer, &size, &count, &sqlcode), 14);
    EXPECT_EQ(size, static_cast<int>(used + 1));
    EXPECT_EQ(count, 2);
    for (size_t i = used; i < sizeof buffer; ++i) {
      ASSERT_EQ(static_cast<unsigned char>(buffer[i]), kMarker) << "written past the size at " << i;
    }
  }

  int tables = -1;
  EXPECT_EQ(lib.IngGetTableCnt(&tables, &sqlcode), 0);
  EXPECT_EQ(tables, 2) << "sqlcode " << sqlcode;
  lib.IngDisconnect(2, &sqlcode);
}

TEST_P(Sounder, JournalAndDumpDestinations) {
  ScopedInstallation inst(code('J'));
  ASSERT_EQ(inst.error(), "");
  ingsim::DatabaseOptions db;
  db.name = "ledger";
  ASSERT_EQ(inst.addDatabase(db), "");
  ingsim::DatabaseOptions other;
  other.name = "archive";
  other.journalArea = inst.root() + "\\jnlarea";
  other.dumpArea = inst.root() + "\\dmparea";
  ASSERT_EQ(inst.addDatabase(other), "");
  int sqlcode = -1;
  ASSERT_EQ(lib.IngConnect(3, "iidbdb", &sqlcode), 0);
  ASSERT_EQ(sqlcode, 0);

  {
    SCOPED_TRACE("default locations: the area is the installation root");
    char area[1024 + 8];
    std::memset(area, kMarker, sizeof area);
    EXPECT_EQ(lib.IngGetJournalDest("ledger", area, &sqlcode), 0) << "sqlcode " << sqlcode;
    EXPECT_EQ(sqlcode, 0);
    EXPECT_EQ(std::string(area), inst.root());
    std::memset(area, kMarker, sizeof area);
    EXPECT_EQ(lib.IngGetDumpDest("ledger", area, &sqlcode), 0) << "sqlcode " << sqlcode;
    EXPECT_EQ(std::string(area), inst.root());
    EXPECT_EQ(static_cast<unsigned char>(area[inst.root().size() + 1]), kMarker);
  }
  {
    SCOPED_TRACE("locations of their own");
    char area[1024];
    EXPECT_EQ(lib.IngGetJournalDest("archive", area, &sqlcode), 0) << "sqlcode " << sqlcode;
    EXPECT_EQ(std::string(area), other.journalArea);
    EXPECT_EQ(lib.IngGetDumpDest("archive", area, &sqlcode), 0) << "sqlcode " << sqlcode;
    EXPECT_EQ(std::string(area), other.dumpArea);
  }
  {
    SCOPED_TRACE("location rows missing: journal leaves the area, dump empties it");
    ASSERT_EQ(inst.execCatalogSql("iidbdb",
                                  "DELETE FROM iilocation_info WHERE location_name IN "
                                  "(SELECT jnldev FROM iidatabase WHERE name='archive') OR "
                                  "location_name IN (SELECT dmpdev FROM iidatabase WHERE "
                                  "name='archive')"),
              "");
    char area[1024] = "untouched";
    sqlcode = 0;
    EXPECT_EQ(lib.IngGetJournalDest("archive", area, &sqlcode), 14);
    EXPECT_EQ(sqlcode, 100);
    EXPECT_STREQ(area, "untouched");
    sqlcode = 0;
    EXPECT_EQ(lib.IngGetDumpDest("archive", area, &sqlcode), 14);
    EXPECT_EQ(sqlcode, 100);
    EXPECT_STREQ(area, "");
  }
  {
    SCOPED_TRACE("unknown database");
    char area[1024] = "untouched";
    EXPECT_EQ(lib.IngGetJournalDest("nosuchdb", area, &sqlcode), 14);
    EXPECT_EQ(sqlcode, 100);
    EXPECT_STREQ(area, "untouched");
  }
  lib.IngDisconnect(3, &sqlcode);
}

TEST_P(Sounder, DataAreasPackedWithoutTrailingBackslash) {
  ScopedInstallation inst(code('D'));
  ASSERT_EQ(inst.error(), "");
  ingsim::DatabaseOptions db;
  db.name = "wide";
  ingsim::DataLocation first, second;
  first.area = inst.root() + "\\area1";
  second.area = inst.root() + "\\area2";
  db.locations = {first, second};
  ASSERT_EQ(inst.addDatabase(db), "");
  // Catalogs may hold an area with its final backslash.
  ASSERT_EQ(
      inst.execCatalogSql("iidbdb", "UPDATE iilocation_info SET location_area = '" + second.area +
                                        "\\' WHERE location_area = '" + second.area + "'"),
      "");
  ingsim::DatabaseOptions single;
  single.name = "narrow";
  ASSERT_EQ(inst.addDatabase(single), "");

  int sqlcode = -1;
  ASSERT_EQ(lib.IngConnect(4, "iidbdb", &sqlcode), 0);
  ASSERT_EQ(sqlcode, 0);
  {
    SCOPED_TRACE("location count, reset first");
    int count = 99;
    EXPECT_EQ(lib.IngGetDataLocNum("wide", &count, &sqlcode), 0) << "sqlcode " << sqlcode;
    EXPECT_EQ(count, 2);
    count = 99;
    EXPECT_EQ(lib.IngGetDataLocNum("narrow", &count, &sqlcode), 0) << "sqlcode " << sqlcode;
    EXPECT_EQ(count, 1);
  }
  {
    SCOPED_TRACE("areas packed, the count of them returned");
    char buffer[2 * 1024 + 16];
    std::memset(buffer, 0, sizeof buffer);
    int count = 2;  // room for two areas
    EXPECT_EQ(lib.IngGetDataDest("wide", buffer, &count, &sqlcode), 0) << "sqlcode " << sqlcode;
    EXPECT_EQ(sqlcode, 0);
    EXPECT_EQ(count, 2) << "two areas";
    std::vector<std::string> areas = unpack(buffer, 2);
    std::set<std::string> got(areas.begin(), areas.end());
    EXPECT_EQ(got, (std::set<std::string>{first.area, second.area})) << joined(areas);
    EXPECT_EQ(buffer[packedLength(areas)], '\0');
  }
  {
    SCOPED_TRACE("room for one area of two, as when a location is added after the count");
    char buffer[2 * 1024 + 16];
    std::memset(buffer, kMarker, sizeof buffer);
    int count = 1;
    EXPECT_EQ(lib.IngGetDataDest("wide", buffer, &count, &sqlcode), 14);
    EXPECT_GE(sqlcode, 0);
    EXPECT_EQ(count, 2) << "every area counted";
    const std::string written(buffer);
    EXPECT_TRUE(written == first.area || written == second.area) << written;
    for (size_t i = written.size() + 1; i < sizeof buffer; ++i) {
      ASSERT_EQ(static_cast<unsigned char>(buffer[i]), kMarker)
          << "the second area written at " << i;
    }
  }
  {
    SCOPED_TRACE("nothing is written past the last area");
    char buffer[1024 + 16];
    std::memset(buffer, kMarker, sizeof buffer);
    int count = 1;
    EXPECT_EQ(lib.IngGetDataDest("narrow", buffer, &count, &sqlcode), 0) << sqlcode;
    ASSERT_EQ(count, 1);
    EXPECT_EQ(std::string(buffer), inst.root());
    EXPECT_EQ(static_cast<unsigned char>(buffer[inst.root().size() + 1]), kMarker);
  }
  {
    SCOPED_TRACE("a name that would change the statement is refused");
    int count = 7;
    sqlcode = 0;
    EXPECT_EQ(lib.IngGetDataLocNum("wide' or 'a'='a", &count, &sqlcode), 14);
    EXPECT_LT(sqlcode, 0);
    EXPECT_EQ(count, 0);
    char buffer[64];
    std::memset(buffer, kMarker, sizeof buffer);
    count = 0;
    EXPECT_EQ(lib.IngGetDataDest(std::string(800, 'n').c_str(), buffer, &count, &sqlcode), 14);
    EXPECT_LT(sqlcode, 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(static_cast<unsigned char>(buffer[0]), kMarker);
  }
  {
    SCOPED_TRACE("a database without data locations");
    int count = 5;
    EXPECT_EQ(lib.IngGetDataLocNum("nosuchdb", &count, &sqlcode), 0) << sqlcode;
    EXPECT_EQ(count, 0);
  }
  lib.IngDisconnect(4, &sqlcode);
}

TEST_P(Sounder, TableInfoDoesNothing) {
  char a[16], b[16];
  std::memset(a, kMarker, sizeof a);
  std::memset(b, kMarker, sizeof b);
  // A caller that passes arguments anyway: nothing is read or written.
  using WithArguments = int (*)(void*, void*, void*, void*);
  auto info = reinterpret_cast<WithArguments>(reinterpret_cast<void*>(lib.IngGetTableInfo));
  auto locNum = reinterpret_cast<WithArguments>(reinterpret_cast<void*>(lib.IngGetTableLocNum));
  EXPECT_EQ(info(a, b, nullptr, a), 0);
  EXPECT_EQ(locNum(b, a, b, nullptr), 0);
  EXPECT_EQ(lib.IngGetTableInfo(), 0);
  for (size_t i = 0; i < sizeof a; ++i) {
    ASSERT_EQ(static_cast<unsigned char>(a[i]), kMarker) << i;
    ASSERT_EQ(static_cast<unsigned char>(b[i]), kMarker) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Library, Sounder, testing::Values("sounder26.dll", "sounder30.dll"),
                         [](const testing::TestParamInfo<const char*>& param) {
                           return std::string(param.param).substr(0, 9);
                         });

}  // namespace
}  // namespace ferry::test
