#include "trace_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace ferry {
namespace {

const TraceTime kTime{2026, 3, 7, 9, 5, 4, 12};

TEST(ExtractorTraceLine, HasDateTimeTabBlankMessageAndCrLf) {
  char line[256];
  size_t length = formatExtractorTraceLine(line, sizeof line, kTime, "Module siphon Entered");
  EXPECT_STREQ(line, "03/07/2026 09:05:04.012\t Module siphon Entered\r\n");
  EXPECT_EQ(length, std::strlen(line));
}

TEST(ExtractorTraceLine, CutLineStaysInsideBufferAndEndsWithCrLf) {
  const std::string full = "03/07/2026 09:05:04.012\t abcdefgh\r\n";
  for (size_t size : {full.size(), full.size() + 1, full.size() + 2}) {
    char buffer[64];
    std::memset(buffer, 0xbd, sizeof buffer);
    size_t length = formatExtractorTraceLine(buffer, size, kTime, "abcdefgh");
    ASSERT_LT(length, size) << "size " << size;
    EXPECT_EQ(buffer[length], '\0') << "size " << size;
    EXPECT_EQ(static_cast<unsigned char>(buffer[size]), 0xbdu) << "guard byte, size " << size;
    EXPECT_EQ(std::string(buffer + length - 2, 2), "\r\n") << "size " << size;
    if (size > full.size()) {
      EXPECT_EQ(std::string(buffer), full) << "size " << size;
    }
  }
  EXPECT_EQ(formatExtractorTraceLine(nullptr, 0, kTime, "x"), 0u);
}

TEST(ExtractorTraceLine, BoundedFormatCutsAndReportsWhatItWrote) {
  char buffer[8];
  std::memset(buffer, 0xbd, sizeof buffer);
  size_t length = formatBounded(buffer, 5, "%s=%d", "value", 42);
  EXPECT_EQ(length, 4u);
  EXPECT_STREQ(buffer, "valu");
  EXPECT_EQ(static_cast<unsigned char>(buffer[5]), 0xbdu);
}

}  // namespace
}  // namespace ferry
