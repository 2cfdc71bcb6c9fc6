// The reading of the agent's catalogue records: every text bounded by its field and its buffer,
// the unknown-size mark, and the property sheet's lines.
#include "core/catalogue_view.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace ferry::ctl {
namespace {

std::vector<uint8_t> bytesOf(std::string_view text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(CtlCatalogueView, AgentInfoFieldsStayWithinTheirWidths) {
  std::array<uint8_t, kAgentInfoSize> record{};
  std::memcpy(record.data(), "Ingres Server", 13);
  std::memset(record.data() + 48, 'b', 16);  // build number fills its field: no NUL
  std::memcpy(record.data() + 72, "11.5", 4);
  std::memcpy(record.data() + 80, "3-1-2005", 8);
  AgentInfo info = parseAgentInfo(record);
  EXPECT_EQ(info.vendorName, "Ingres Server");
  EXPECT_EQ(info.buildNumber, std::string(16, 'b')) << "must stop at the field's end";
  EXPECT_EQ(info.vendorVersion, "");
  EXPECT_EQ(info.agentVersion, "11.5");
  EXPECT_EQ(info.libraryDate, "3-1-2005");
  std::vector<std::string> lines = agentInfoLines(info);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "vendor name     Ingres Server");
  EXPECT_EQ(lines[2], "vendor version  (empty)");
  EXPECT_EQ(lines[4], "library date    3-1-2005");
}

TEST(CtlCatalogueView, ObjectListEntries) {
  {
    SCOPED_TRACE("a list with its end entry");
    std::vector<uint8_t> list = bytesOf(std::string_view("a.DATA\0a.~CONFIG\0\0\0", 19));
    EXPECT_EQ(nulSeparatedEntries(list), (std::vector<std::string>{"a.DATA", "a.~CONFIG"}));
  }
  {
    SCOPED_TRACE("an empty list: only the end bytes");
    std::vector<uint8_t> list = {0, 0};
    EXPECT_TRUE(nulSeparatedEntries(list).empty());
  }
  {
    SCOPED_TRACE("an entry cut off by the buffer's end is kept as far as it goes");
    std::vector<uint8_t> list = bytesOf(std::string_view("one\0tw", 6));
    EXPECT_EQ(nulSeparatedEntries(list), (std::vector<std::string>{"one", "tw"}));
  }
}

TEST(CtlCatalogueView, ObjectSizes) {
  auto record = [](uint32_t a, uint32_t b) {
    std::array<uint8_t, kSizeRecordSize> r{};
    for (int i = 0; i < 4; ++i) {
      r[static_cast<size_t>(i)] = static_cast<uint8_t>(a >> (8 * i));
      r[static_cast<size_t>(4 + i)] = static_cast<uint8_t>(b >> (8 * i));
    }
    return r;
  };
  EXPECT_EQ(objectSizeText(record(3000, 3000)), "unknown");
  EXPECT_EQ(objectSizeText(record(3329, 3329)), "3329 KB");
  EXPECT_EQ(objectSizeText(record(0, 0)), "0 KB");
  EXPECT_EQ(objectSizeText(record(3000, 12)), "3000 KB / 12 KB") << "only both 3000 is unknown";
  EXPECT_EQ(objectSizeText(record(0x01020304, 0x01020304)), "16909060 KB") << "little-endian";
  EXPECT_EQ(objectLine("db.DATA", "1 KB"), "db.DATA" + std::string(33, ' ') + "1 KB");
  const std::string longName(45, 'x');
  EXPECT_EQ(objectLine(longName, "unknown"), longName + " unknown") << "a blank at least";
}

TEST(CtlCatalogueView, PropertySheetLines) {
  std::vector<uint8_t> sheet(1024, 0);
  const std::string_view lines("Property\tValue\0Installation\tII\0Size\t12 KB\0Note\0\0", 47);
  std::memcpy(sheet.data() + kPropertySheetTextOffset, lines.data(), lines.size());
  const uint32_t reported = static_cast<uint32_t>(kPropertySheetTextOffset + lines.size());
  std::vector<std::string> shown = propertySheetLines(sheet, reported);
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0], "    Property" + std::string(16, ' ') + "Value");
  EXPECT_EQ(shown[2], "    Size" + std::string(20, ' ') + "12 KB");
  EXPECT_EQ(shown[3], "    Note") << "a line without a TAB is shown as it is";
  {
    SCOPED_TRACE("the reported size bounds the reading");
    std::vector<std::string> cut = propertySheetLines(sheet, kPropertySheetTextOffset + 10);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0], "    Property" + std::string(16, ' ') + "V");
    EXPECT_TRUE(propertySheetLines(sheet, kPropertySheetTextOffset).empty());
    EXPECT_TRUE(propertySheetLines(std::span(sheet).first(100), reported).empty())
        << "a buffer shorter than the text offset";
  }
  {
    SCOPED_TRACE("a reported size beyond the buffer is bounded by the buffer");
    std::vector<uint8_t> full(1024, 'z');
    std::vector<std::string> all = propertySheetLines(full, 1u << 30);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].size(), 4u + 1024u - kPropertySheetTextOffset);
  }
}

}  // namespace
}  // namespace ferry::ctl
