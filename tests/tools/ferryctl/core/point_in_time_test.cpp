// The point in time of a restore: the local time as typed, and the archive's time rounded up to
// the first whole second it can be restored to.
#include "core/point_in_time.h"

#include <gtest/gtest.h>

#include <string>

namespace ferry::ctl {
namespace {

TEST(CtlPointInTime, LocalTimeFormAndCalendar) {
  std::optional<LocalTime> t = parseLocalTime("2024-02-29 23:59:59");
  ASSERT_TRUE(t) << "a leap day";
  EXPECT_EQ(*t, (LocalTime{2024, 2, 29, 23, 59, 59}));
  EXPECT_EQ(localTimeText(*t), "2024-02-29 23:59:59");
  EXPECT_EQ(localTimeText(*parseLocalTime("1970-01-01 00:00:00")), "1970-01-01 00:00:00");
  for (const char* bad : {"",
                          "2025-02-29 10:00:00",
                          "1900-02-29 10:00:00",
                          "2025-04-31 10:00:00",
                          "2025-00-10 10:00:00",
                          "2025-13-10 10:00:00",
                          "2025-01-00 10:00:00",
                          "2025-01-01 24:00:00",
                          "2025-01-01 23:60:00",
                          "2025-01-01 23:59:60",
                          "1969-12-31 23:59:59",
                          "3001-01-01 00:00:00",
                          "2025-01-01T10:00:00",
                          "2025-01-01 10:00",
                          "2025-1-01 10:00:00",
                          " 2025-01-01 10:00:00",
                          "2025-01-01 10:00:00 ",
                          "2025/01/01 10:00:00",
                          "2025-01-01 1a:00:00",
                          "yesterday"}) {
    EXPECT_FALSE(parseLocalTime(bad)) << "accepted '" << bad << "'";
  }
}

TEST(CtlPointInTime, ArchiveTimeRoundsUpToTheNextWholeSecond) {
  constexpr uint64_t k1970 = 116444736000000000ull;
  EXPECT_EQ(firstSecondAtOrAfter(0), 0) << "no time at all";
  EXPECT_EQ(firstSecondAtOrAfter(k1970 - 1), 0);
  EXPECT_EQ(firstSecondAtOrAfter(k1970), 0);
  EXPECT_EQ(firstSecondAtOrAfter(k1970 + 1), 1) << "100 ns after a second is in the next one";
  EXPECT_EQ(firstSecondAtOrAfter(k1970 + 10000000), 1) << "a whole second stays";
  EXPECT_EQ(firstSecondAtOrAfter(k1970 + 10000001), 2);
  // 5 Jan 2026 08:00:00.5 UTC.
  EXPECT_EQ(firstSecondAtOrAfter(k1970 + 17676000000000000ull + 5000000), 1767600001);
}

}  // namespace
}  // namespace ferry::ctl
