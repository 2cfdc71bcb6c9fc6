// The host-variable rules on their own: what a fetch may write into the caller's target, and how
// the caller's input values and text pieces are read.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "catalog/esql_runtime.h"
#include "runtime/host_values.h"

namespace ingsim::esql {
namespace {

constexpr unsigned char kMarker = 0xbd;

TEST(RuntimeHostValues, StoreNullAndIntegersAsStrings) {
  // (Lengths and guard bytes of string fetches are covered through the library's calls.)
  char target[8];
  int16_t indicator = 0;
  bool truncated = false;
  ASSERT_TRUE(
      storeHostVariable(SqlValue::null(), &indicator, IISQ_TYPE_CHAR, 4, target, &truncated).ok());
  EXPECT_STREQ(target, "");
  EXPECT_EQ(indicator, -1);
  ASSERT_TRUE(
      storeHostVariable(SqlValue::ofInteger(-42), &indicator, IISQ_TYPE_CHAR, 7, target, &truncated)
          .ok());
  EXPECT_STREQ(target, "-42");
  EXPECT_EQ(indicator, 0);
}

TEST(RuntimeHostValues, StoreIntegerChecksTypeSizeAndRange) {
  struct Case {
    SqlValue value;
    int32_t length;
    int32_t sqlcode;
    int64_t expected;
  };
  const Case cases[] = {
      {SqlValue::ofInteger(2147483647), 4, kOk, 2147483647},
      {SqlValue::ofInteger(2147483648), 4, kHostVariableMismatch, 0},
      {SqlValue::ofInteger(-2147483648LL), 4, kOk, -2147483648LL},
      {SqlValue::ofInteger(2147483648), 8, kOk, 2147483648},
      {SqlValue::ofInteger(-32769), 2, kHostVariableMismatch, 0},
      {SqlValue::ofText(" 17 "), 4, kOk, 17},
      {SqlValue::ofText("17x"), 4, kHostVariableMismatch, 0},
      {SqlValue::ofText(""), 4, kHostVariableMismatch, 0},
      {SqlValue::null(), 4, kOk, 0},
      {SqlValue::ofInteger(1), 3, kHostVariableMismatch, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("value '" + c.value.text + "'/" + std::to_string(c.value.integer) +
                 " into length " + std::to_string(c.length));
    unsigned char target[12];
    std::memset(target, kMarker, sizeof target);
    bool truncated = false;
    const Status status =
        storeHostVariable(c.value, nullptr, IISQ_TYPE_INT, c.length, target, &truncated);
    EXPECT_EQ(status.sqlcode, c.sqlcode) << status.message;
    const size_t written = c.sqlcode == kOk ? static_cast<size_t>(c.length) : 0;
    if (written == 4) {
      int32_t v;
      std::memcpy(&v, target, 4);
      EXPECT_EQ(v, c.expected);
    } else if (written == 8) {
      int64_t v;
      std::memcpy(&v, target, 8);
      EXPECT_EQ(v, c.expected);
    }
    for (size_t i = written; i < sizeof target; ++i) {
      ASSERT_EQ(target[i], kMarker) << "byte " << i << " written, " << status.message;
    }
  }

  char target[4];
  bool truncated = false;
  EXPECT_EQ(storeHostVariable(SqlValue::ofInteger(1), nullptr, 31, 4, target, &truncated).sqlcode,
            kHostVariableMismatch);
  EXPECT_EQ(
      storeHostVariable(SqlValue::ofInteger(1), nullptr, IISQ_TYPE_CHAR, -1, target, &truncated)
          .sqlcode,
      kHostVariableMismatch);
}

TEST(RuntimeHostValues, InputValuesAndTextPiecesAreReadWithinTheirLength) {
  std::string piece;
  ASSERT_TRUE(readTextPiece(0, IISQ_TYPE_CHAR, 0, "select 1", &piece).ok());
  EXPECT_EQ(piece, "select 1");
  ASSERT_TRUE(readTextPiece(0, IISQ_TYPE_CHAR, 3, "abcdef", &piece).ok());
  EXPECT_EQ(piece, "abc");
  ASSERT_TRUE(readTextPiece(0, IISQ_TYPE_CHAR, 10, "ab", &piece).ok());
  EXPECT_EQ(piece, "ab") << "stops at the NUL";
  ASSERT_TRUE(readTextPiece(1, IISQ_TYPE_CHAR, 0, "name   ", &piece).ok());
  EXPECT_EQ(piece, "name");
  EXPECT_EQ(readTextPiece(0, IISQ_TYPE_CHAR, 0, nullptr, &piece).sqlcode, kRuntimeLogicalError);
  EXPECT_EQ(readTextPiece(0, IISQ_TYPE_INT, 4, "x", &piece).sqlcode, kHostVariableMismatch);

  SqlValue value;
  const int16_t i2 = -5;
  ASSERT_TRUE(readHostVariable(nullptr, IISQ_TYPE_INT, 2, &i2, &value).ok());
  EXPECT_EQ(value.kind, SqlValue::Kind::Integer);
  EXPECT_EQ(value.integer, -5);
  const int16_t nullIndicator = -1;
  ASSERT_TRUE(readHostVariable(&nullIndicator, IISQ_TYPE_CHAR, 0, "ignored", &value).ok());
  EXPECT_EQ(value.kind, SqlValue::Kind::Null);
  ASSERT_TRUE(readHostVariable(nullptr, IISQ_TYPE_CHAR, 0, "sales", &value).ok());
  EXPECT_EQ(value.kind, SqlValue::Kind::Text);
  EXPECT_EQ(value.text, "sales");
  EXPECT_EQ(readHostVariable(nullptr, IISQ_TYPE_INT, 4, nullptr, &value).sqlcode,
            kRuntimeLogicalError);
  EXPECT_EQ(readHostVariable(nullptr, IISQ_TYPE_INT, 5, &i2, &value).sqlcode,
            kHostVariableMismatch);
}

}  // namespace
}  // namespace ingsim::esql
