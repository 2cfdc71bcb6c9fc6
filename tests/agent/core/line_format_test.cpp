// The texts of trace, debugger, activity and banner lines, and their behaviour at the edges of
// their buffers.
#include "core/line_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace ferry::agent {
namespace {

constexpr char kGuard = static_cast<char>(0xbd);
const LocalTime kTime{2026, 12, 7, 21, 13, 15, 123};
const LocalTime kEarly{2027, 1, 2, 3, 4, 5, 6};

TEST(LineFormat, TraceLineHasTheExactShape) {
  char line[kTraceLineSize];
  std::memset(line, kGuard, sizeof line);
  size_t length = formatTraceLine(line, sizeof line, "II", kTime, 1234, "DSARead(): ObjectType= 2");
  EXPECT_STREQ(line, "II-12/07/2026 21:13:15.123(1234) DSARead(): ObjectType= 2\r\n") << line;
  EXPECT_EQ(length, std::strlen(line)) << "length " << length;

  formatTraceLine(line, sizeof line, "AG1", kEarly, 7, "x");
  EXPECT_STREQ(line, "AG1-01/02/2027 03:04:05.006(7) x\r\n") << "zero padding: " << line;
}

TEST(LineFormat, DebuggerLineHasTheExactShape) {
  char line[256];
  formatDebuggerLine(line, sizeof line, kEarly, "trace file missing");
  EXPECT_STREQ(line, "HTB/ferryman.dll-01/02/2027 03:04:05.006\t trace file missing\r\n") << line;
}

TEST(LineFormat, ActivityLineTagsConnectionOrDashes) {
  char line[kActivityLineSize];
  formatActivityLine(line, sizeof line, kEarly, "II", "Backup begun for db.DATA");
  EXPECT_STREQ(line, "01/02/2027 03:04:05-II-Backup begun for db.DATA\r\n") << line;
  formatActivityLine(line, sizeof line, kTime, nullptr, "no connection");
  EXPECT_STREQ(line, "12/07/2026 21:13:15----no connection\r\n") << line;
}

TEST(LineFormat, BannersOfAnEntryPoint) {
  char banner[128];
  formatBanner(banner, sizeof banner, "DSARead", Banner::kStart);
  EXPECT_STREQ(banner, "*************** DSARead(): Starts Here ***************") << banner;
  formatBanner(banner, sizeof banner, "DSARead", Banner::kEnd);
  EXPECT_STREQ(banner, "*************** DSARead(): Ends Here ***************\r\n") << banner;
}

TEST(LineFormat, LongMessageIsCutAndStillEndsTheLine) {
  // The caller's trace message buffer holds 2047 characters; a longer text is cut there.
  std::string huge(5000, 'm');
  char message[kTraceMessageSize + 8];
  std::memset(message, kGuard, sizeof message);
  size_t length = formatMessage(message, kTraceMessageSize, "%s", huge.c_str());
  EXPECT_EQ(length, kTraceMessageSize - 1) << "length " << length;
  EXPECT_EQ(message[kTraceMessageSize - 1], '\0');
  for (size_t i = kTraceMessageSize; i < sizeof message; ++i) {
    ASSERT_EQ(message[i], kGuard) << "guard byte " << i << " overwritten";
  }

  // A line buffer too small for the line: cut, CR LF kept at its end, guard intact.
  char line[40 + 4];
  std::memset(line, kGuard, sizeof line);
  length = formatTraceLine(line, 40, "II", kTime, 1, huge.c_str());
  EXPECT_EQ(length, 39u) << "length " << length;
  EXPECT_EQ(std::string(line + 37, 2), "\r\n") << line;
  EXPECT_EQ(line[39], '\0');
  for (size_t i = 40; i < sizeof line; ++i) ASSERT_EQ(line[i], kGuard) << "guard " << i;
}

TEST(LineFormat, BufferEdges) {
  // "II-12/07/2026 21:13:15.123(1) ab\r\n" is 34 characters: walk needed - 1, needed, needed + 1.
  const std::string expected = "II-12/07/2026 21:13:15.123(1) ab\r\n";
  const size_t needed = expected.size() + 1;
  for (size_t size : {needed - 1, needed, needed + 1}) {
    SCOPED_TRACE("size " + std::to_string(size));
    char line[64];
    std::memset(line, kGuard, sizeof line);
    size_t length = formatTraceLine(line, size, "II", kTime, 1, "ab");
    if (size >= needed) {
      EXPECT_EQ(std::string(line), expected);
      EXPECT_EQ(length, expected.size());
    } else {
      EXPECT_EQ(length, size - 1) << "length " << length;
      EXPECT_EQ(std::string(line), "II-12/07/2026 21:13:15.123(1) a\r\n");
    }
    for (size_t i = size; i < sizeof line; ++i) ASSERT_EQ(line[i], kGuard) << "guard " << i;
  }
  char untouched = kGuard;
  EXPECT_EQ(formatTraceLine(&untouched, 0, "II", kTime, 1, "ab"), 0u);
  EXPECT_EQ(untouched, kGuard) << "a zero-size buffer is not written";
}

}  // namespace
}  // namespace ferry::agent
