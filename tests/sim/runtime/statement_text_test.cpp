// Statement assembly on its own: placeholders and the length limit.
#include <gtest/gtest.h>

#include <string>

#include "runtime/statement_text.h"

namespace ingsim::esql {
namespace {

TEST(RuntimeStatementText, HostVariablesBecomeNumberedPlaceholdersInOrder) {
  StatementText text;
  text.appendText("select a from t where b=");
  text.appendParameter(SqlValue::ofText("x"));
  text.appendText(" and c=");
  text.appendParameter(SqlValue::ofInteger(3));
  // A digit right after a placeholder would make "?2" into "?25".
  text.appendText("5 or d=");
  text.appendParameter(SqlValue::null());
  text.appendText(")");
  EXPECT_EQ(text.text(), "select a from t where b=?1 and c=?2 5 or d=?3)");
  ASSERT_EQ(text.parameters().size(), 3u);
  EXPECT_EQ(text.parameters()[0].text, "x");
  EXPECT_EQ(text.parameters()[1].integer, 3);
  EXPECT_EQ(text.parameters()[2].kind, SqlValue::Kind::Null);
  EXPECT_TRUE(text.status().ok()) << text.status().message;
}

TEST(RuntimeStatementText, TextPastTheLimitFailsAndStaysFailedUntilCleared) {
  for (size_t extra : {0, 1}) {
    SCOPED_TRACE("limit + " + std::to_string(extra));
    StatementText text;
    text.appendText(std::string(kMaxStatementLength - 1, 'x'));
    text.appendText(std::string(1 + extra, 'y'));
    if (extra == 0) {
      EXPECT_TRUE(text.status().ok()) << text.status().message;
      EXPECT_EQ(text.text().size(), kMaxStatementLength);
      continue;
    }
    EXPECT_EQ(text.status().sqlcode, kResourceLimit) << text.status().message;
    EXPECT_EQ(text.text().size(), kMaxStatementLength - 1) << "the failed piece was kept";
    text.appendText("z");
    EXPECT_EQ(text.status().sqlcode, kResourceLimit) << "a later piece cleared the failure";
    text.clear();
    text.appendText("select 1");
    EXPECT_TRUE(text.status().ok()) << text.status().message;
    EXPECT_EQ(text.text(), "select 1");
  }

  StatementText full;
  full.appendText(std::string(kMaxStatementLength - 1, 'x'));
  full.appendParameter(SqlValue::ofInteger(1));
  EXPECT_EQ(full.status().sqlcode, kResourceLimit) << "placeholder past the limit";
  EXPECT_TRUE(full.parameters().empty());
}

}  // namespace
}  // namespace ingsim::esql
