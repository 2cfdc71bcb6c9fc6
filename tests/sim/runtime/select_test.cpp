// Singleton selects through the exported calls, with the catalog library's query texts.
#include <cstring>
#include <string>

#include "catalog_fixture.h"

namespace ferry::test {
namespace {

constexpr char kJournalDest[] =
    "select location_area from iilocation_info where location_name in(select jnldev from "
    "iidatabase where name=";
constexpr char kDumpDest[] =
    "select location_area from iilocation_info where location_name in(select dmpdev from "
    "iidatabase where name=";
constexpr unsigned char kMarker = 0xbd;

class RuntimeSelect : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    addDatabase("sales", "jnl_sales", "dmp_sales");
    addDatabase("nojournal", "jnl_missing", "dmp_sales");
    addLocation("jnl_sales", "D:\\journals\\sales", 'N');
    addLocation("dmp_sales", "E:\\dumps", 'N');
    createCatalog("sales");
    addTable("sales", "orders", 'Y');
    addTable("sales", "customers", 'Y');
    addTable("sales", "scratch", 'N');
  }

  // Runs a query built from one text, with a string target of `length` characters followed by
  // guard bytes; returns what the call left in the whole buffer.
  std::string fetchString(const std::string& text, int32_t length, int32_t* hasRow) {
    std::string buffer(static_cast<size_t>(length) + 1 + 16, static_cast<char>(kMarker));
    *hasRow = select({Piece{text.c_str()}}, IISQ_TYPE_CHAR, length, buffer.data());
    return buffer;
  }
};

TEST_F(RuntimeSelect, DestinationQueriesFillTheAreaOrLeaveItAlone) {
  ASSERT_EQ(connect(11, "iidbdb"), 0) << describe(sqlca_);

  char area[1024 + 8];
  std::memset(area, kMarker, sizeof area);
  int32_t hasRow =
      select({Piece{kJournalDest}, hostVariable("sales"), Piece{")"}}, IISQ_TYPE_CHAR, 1023, area);
  EXPECT_EQ(hasRow, 1) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, 0) << describe(sqlca_);
  EXPECT_STREQ(area, "D:\\journals\\sales") << describe(sqlca_);

  std::memset(area, kMarker, sizeof area);
  hasRow =
      select({Piece{kDumpDest}, hostVariable("sales"), Piece{")"}}, IISQ_TYPE_CHAR, 1023, area);
  EXPECT_EQ(hasRow, 1) << describe(sqlca_);
  EXPECT_STREQ(area, "E:\\dumps") << describe(sqlca_);

  // The journal location has no row: no row, sqlcode 100, and the target exactly as it was.
  std::memset(area, kMarker, sizeof area);
  hasRow = select({Piece{kJournalDest}, hostVariable("nojournal"), Piece{")"}}, IISQ_TYPE_CHAR,
                  1023, area);
  EXPECT_EQ(hasRow, 0) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, 100) << describe(sqlca_);
  for (size_t i = 0; i < sizeof area; ++i) {
    ASSERT_EQ(static_cast<unsigned char>(area[i]), kMarker)
        << "byte " << i << " written, " << describe(sqlca_);
  }

  // A host variable is a value, not text: a quote in it cannot change the statement.
  hasRow = select({Piece{kJournalDest}, hostVariable("x') or ('1'='1"), Piece{")"}}, IISQ_TYPE_CHAR,
                  1023, area);
  EXPECT_EQ(hasRow, 0) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, 100) << describe(sqlca_);
}

TEST_F(RuntimeSelect, CountsFetchAsFourByteIntegers) {
  ASSERT_EQ(connect(11, "iidbdb"), 0) << describe(sqlca_);
  unsigned char count[4 + 4];
  std::memset(count, kMarker, sizeof count);
  EXPECT_EQ(select({Piece{"select count(*) from iidatabase"}}, IISQ_TYPE_INT, 4, count), 1)
      << describe(sqlca_);
  int32_t value = 0;
  std::memcpy(&value, count, 4);
  EXPECT_EQ(value, 3) << describe(sqlca_);
  EXPECT_EQ(count[4], kMarker) << "wrote past the integer, " << describe(sqlca_);
  ASSERT_EQ(disconnect(11), 0) << describe(sqlca_);

  // The journaled user tables of a database, on that database's own session.
  ASSERT_EQ(connect(11, "sales"), 0) << describe(sqlca_);
  value = -1;
  EXPECT_EQ(select({Piece{"select count(*)from iitables where system_use='U' and "
                          "is_journalled='Y'"}},
                   IISQ_TYPE_INT, 4, &value),
            1)
      << describe(sqlca_);
  EXPECT_EQ(value, 2) << describe(sqlca_);
}

TEST_F(RuntimeSelect, StringFetchWritesAtMostLengthCharactersAndOneNul) {
  ASSERT_EQ(connect(11, "iidbdb"), 0) << describe(sqlca_);
  struct Case {
    size_t valueLength;
    int32_t limit;
  };
  // Around both limits the catalog library uses: areas (1023) and names (32).
  const Case cases[] = {{1022, 1023}, {1023, 1023}, {1024, 1023}, {1500, 1023},
                        {31, 32},     {32, 32},     {33, 32},     {0, 32}};
  for (const Case& c : cases) {
    SCOPED_TRACE("value of " + std::to_string(c.valueLength) + " characters, limit " +
                 std::to_string(c.limit));
    std::string value;
    for (size_t i = 0; i < c.valueLength; ++i) value += static_cast<char>('a' + i % 26);
    const std::string text = "select '" + value + "'";
    int32_t hasRow = 0;
    const std::string buffer = fetchString(text, c.limit, &hasRow);
    ASSERT_EQ(hasRow, 1) << describe(sqlca_);
    const size_t stored = std::min(c.valueLength, static_cast<size_t>(c.limit));
    EXPECT_EQ(buffer.substr(0, stored), value.substr(0, stored)) << describe(sqlca_);
    EXPECT_EQ(buffer[stored], '\0') << "no NUL after " << stored << ", " << describe(sqlca_);
    for (size_t i = stored + 1; i < buffer.size(); ++i) {
      ASSERT_EQ(static_cast<unsigned char>(buffer[i]), kMarker)
          << "byte " << i << " written, " << describe(sqlca_);
    }
    EXPECT_EQ(sqlca_.sqlwarn.sqlwarn1, c.valueLength > stored ? 'W' : ' ')
        << "truncation warning, " << describe(sqlca_);
  }
}

TEST_F(RuntimeSelect, FailedStatementsReportNegativeSqlcodeAndNoRow) {
  ASSERT_EQ(connect(11, "iidbdb"), 0) << describe(sqlca_);
  struct Case {
    const char* text;
    int32_t sqlcode;
  };
  const Case cases[] = {
      {"select location_area from iinosuchtable", -30100},
      {"select no_such_column from iidatabase", -30110},
      {"selec name from iidatabase", -31000},
      {"select 1; select 2", -31000},
      {"select name from iidatabase where name=?", -31000},
      {"select name from iidatabase where name=:n", -31000},
      {"", -31000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    unsigned char target[8];
    std::memset(target, kMarker, sizeof target);
    EXPECT_EQ(select({Piece{c.text}}, IISQ_TYPE_CHAR, 4, target), 0) << describe(sqlca_);
    // IInextget and IIsqFlush keep the statement's error; the target stays untouched.
    EXPECT_EQ(sqlca_.sqlcode, c.sqlcode) << describe(sqlca_);
    EXPECT_GT(sqlca_.sqlerrm.sqlerrml, 0) << describe(sqlca_);
    EXPECT_EQ(target[0], kMarker) << describe(sqlca_);
  }

  // Text over 64 KiB fails as it is written, and the statement never runs.
  const std::string longPiece(40000, ' ');
  unsigned char target[8];
  std::memset(target, kMarker, sizeof target);
  EXPECT_EQ(select({Piece{"select 1"}, Piece{longPiece.c_str()}, Piece{longPiece.c_str()}},
                   IISQ_TYPE_INT, 4, target),
            0)
      << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, -34000) << describe(sqlca_);
  EXPECT_EQ(target[0], kMarker) << describe(sqlca_);

  // Exactly 64 KiB is still a statement.
  const std::string fill(65536 - std::strlen("select 7"), ' ');
  int32_t seven = 0;
  EXPECT_EQ(select({Piece{"select 7"}, Piece{fill.c_str()}}, IISQ_TYPE_INT, 4, &seven), 1)
      << describe(sqlca_);
  EXPECT_EQ(seven, 7) << describe(sqlca_);

  // A string into an integer host variable.
  EXPECT_EQ(select({Piece{"select 'ab'"}}, IISQ_TYPE_INT, 4, target), 1) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, -30130) << describe(sqlca_);
  EXPECT_EQ(target[0], kMarker) << describe(sqlca_);
}

TEST_F(RuntimeSelect, CallsOutOfOrderOrWithNullPointersFailWithoutHarm) {
  char target[8];
  std::memset(target, kMarker, sizeof target);

  // No session at all.
  EXPECT_EQ(select({Piece{"select 1"}}, IISQ_TYPE_INT, 4, target), 0) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, -33000) << describe(sqlca_);

  ASSERT_EQ(connect(11, "iidbdb"), 0) << describe(sqlca_);

  IIsqInit(&sqlca_);
  EXPECT_EQ(IInextget(), 0) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, -33000) << "IInextget without IIretinit, " << describe(sqlca_);

  IIsqInit(&sqlca_);
  IIgetdomio(nullptr, 1, IISQ_TYPE_CHAR, 4, target);
  EXPECT_EQ(sqlca_.sqlcode, -33000) << "IIgetdomio without a row, " << describe(sqlca_);
  EXPECT_EQ(static_cast<unsigned char>(target[0]), kMarker) << describe(sqlca_);

  // One column, two fetches: the second has nothing to deliver.
  IIsqInit(&sqlca_);
  IIwritio(0, nullptr, 1, IISQ_TYPE_CHAR, 0, "select 5");
  IIretinit(nullptr, 0);
  ASSERT_EQ(IInextget(), 1) << describe(sqlca_);
  int32_t five = 0;
  IIgetdomio(nullptr, 1, IISQ_TYPE_INT, 4, &five);
  EXPECT_EQ(five, 5) << describe(sqlca_);
  IIgetdomio(nullptr, 1, IISQ_TYPE_INT, 4, &five);
  EXPECT_EQ(sqlca_.sqlcode, -33000) << describe(sqlca_);
  // Past the end the select does not start over.
  IIsqInit(&sqlca_);
  EXPECT_EQ(IInextget(), 0) << describe(sqlca_);
  IIsqFlush(nullptr, 0);

  IIsqInit(&sqlca_);
  IIwritio(0, nullptr, 1, IISQ_TYPE_CHAR, 0, nullptr);
  EXPECT_EQ(sqlca_.sqlcode, -33000) << "null text, " << describe(sqlca_);
  IIputdomio(nullptr, 1, IISQ_TYPE_CHAR, 0, nullptr);
  IIretinit(nullptr, 0);
  EXPECT_EQ(IInextget(), 0) << describe(sqlca_);
  EXPECT_EQ(sqlca_.sqlcode, -33000) << describe(sqlca_);
  IIsqFlush(nullptr, 0);

  IIsqInit(&sqlca_);
  IIwritio(0, nullptr, 1, IISQ_TYPE_CHAR, 0, "select 5");
  IIretinit(nullptr, 0);
  ASSERT_EQ(IInextget(), 1) << describe(sqlca_);
  IIgetdomio(nullptr, 1, IISQ_TYPE_INT, 4, nullptr);
  EXPECT_EQ(sqlca_.sqlcode, -33000) << "null target, " << describe(sqlca_);
  IIsqFlush(nullptr, 0);

  // Without an sqlca the calls still run; nothing is reported anywhere.
  IIsqInit(nullptr);
  IIwritio(0, nullptr, 1, IISQ_TYPE_CHAR, 0, "select 9");
  IIretinit(nullptr, 0);
  EXPECT_EQ(IInextget(), 1);
  int32_t nine = 0;
  IIgetdomio(nullptr, 1, IISQ_TYPE_INT, 4, &nine);
  EXPECT_EQ(nine, 9);
  IIsqFlush(nullptr, 0);
}

}  // namespace
}  // namespace ferry::test
