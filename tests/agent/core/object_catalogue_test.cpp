// The object catalogue's layouts and lists: object list bytes, name classification, the
// property sheet and the packed path list, with guard bytes after every buffer.
#include "core/object_catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace ferry::agent {
namespace {

std::string bytes(const char* data, size_t size) { return std::string(data, size); }

// A literal with its embedded NULs, without the compiler's final one.
template <size_t N>
std::string literal(const char (&text)[N]) {
  return std::string(text, N - 1);
}

TEST(ObjectCatalogue, ObjectListExpandsNamesAndJournalEntries) {
  static const char dbList[] = "payroll\0stock\0~JOURNAL OF DATABASE payroll\0";  // + end NUL
  const std::string expected = literal(
      "payroll.DATA\0payroll.~CONFIG\0stock.DATA\0stock.~CONFIG\0"
      "~JOURNAL OF DATABASE payroll\0\0\0");
  {
    SCOPED_TRACE("exact size and one more: the list and its end bytes, guard untouched");
    for (size_t size : {expected.size(), expected.size() + 1}) {
      char out[128];
      std::memset(out, 0xbd, sizeof out);
      size_t needed = buildObjectList(dbList, sizeof dbList, out, size);
      EXPECT_EQ(needed, expected.size()) << "size " << size;
      EXPECT_EQ(bytes(out, needed), expected);
      EXPECT_EQ(static_cast<unsigned char>(out[size]), 0xbd) << "guard after " << size;
    }
  }
  {
    SCOPED_TRACE("one byte short: needed size, nothing written");
    char out[128];
    std::memset(out, 0xbd, sizeof out);
    EXPECT_EQ(buildObjectList(dbList, sizeof dbList, out, expected.size() - 1), expected.size());
    EXPECT_EQ(static_cast<unsigned char>(out[0]), 0xbd);
  }
  {
    SCOPED_TRACE("empty list: only the end bytes");
    char out[4];
    std::memset(out, 0xbd, sizeof out);
    EXPECT_EQ(buildObjectList("\0", 2, out, sizeof out), 2u);
    EXPECT_EQ(bytes(out, 2), std::string("\0\0", 2));
    EXPECT_EQ(static_cast<unsigned char>(out[2]), 0xbd);
  }
  {
    SCOPED_TRACE("a list without its end stops at the buffer's end");
    const char unterminated[] = {'a', 'b'};
    char out[32] = {};
    size_t needed = buildObjectList(unterminated, sizeof unterminated, out, sizeof out);
    EXPECT_EQ(bytes(out, needed), literal("ab.DATA\0ab.~CONFIG\0\0\0"));
  }
}

TEST(ObjectCatalogue, PropertySheetLayout) {
  PropertyLabels labels{"Size", "Location", "Installation", "Object", "n/a", "Property", "Value"};
  PropertyFacts facts;
  facts.installationCode = "OA";
  facts.objectName = "db.DATA";
  facts.found = true;
  facts.sizeKb = 12;
  facts.destinations = {"C:\\a", "C:\\b"};
  size_t reported = 0;
  std::vector<char> sheet = buildPropertySheet(labels, facts, &reported);
  ASSERT_EQ(sheet.size(), kPropertySheetSize);
  uint32_t word = 0;
  std::memcpy(&word, sheet.data(), 4);
  EXPECT_EQ(word, 0x04655291u);
  uint16_t half[3];
  std::memcpy(half, sheet.data() + 8, 6);
  EXPECT_EQ(half[0], 2);
  EXPECT_EQ(half[1], 160);
  EXPECT_EQ(half[2], 220);
  std::memcpy(&word, sheet.data() + 144, 4);
  EXPECT_EQ(word, 2u);
  const std::string lines = literal(
      "Property\tValue\0Installation\tOA\0Object\tdb.DATA\0Size\t12 KB\0"
      "Location 1\tC:\\a\0Location 2\tC:\\b\0");
  EXPECT_EQ(bytes(sheet.data() + 460, lines.size()), lines);
  EXPECT_EQ(reported, 460 + lines.size() + 1);
  for (size_t i = reported - 1; i < sheet.size(); ++i) ASSERT_EQ(sheet[i], 0) << "offset " << i;

  facts.found = false;
  sheet = buildPropertySheet(labels, facts, &reported);
  const std::string failed =
      literal("Property\tValue\0Installation\tOA\0Object\tdb.DATA\0Size\tn/a\0");
  EXPECT_EQ(bytes(sheet.data() + 460, failed.size()), failed);
  EXPECT_EQ(reported, 460 + failed.size() + 1);

  facts.found = true;
  facts.destinations = {std::string(2000, 'p')};
  sheet = buildPropertySheet(labels, facts, &reported);
  EXPECT_EQ(sheet.size(), reported) << "a sheet longer than 1024 bytes grows to its lines";
}

TEST(ObjectCatalogue, AgentInfoFieldsAreCutToTheirWidth) {
  AgentInfoRecord record;
  std::memset(&record, 0xbd, sizeof record);
  fillAgentInfoRecord(&record, "12345678901234567890", "1.0", "7-4-2026");
  EXPECT_STREQ(record.vendorName, "Ingres Server");
  EXPECT_STREQ(record.ag_build, "123456789012345") << "15 characters and the NUL";
  EXPECT_EQ(record.vendorVersion[0], 0);
  EXPECT_STREQ(record.ag_ver, "1.0");
  EXPECT_STREQ(record.ag_date, "7-4-2026");
  EXPECT_EQ(agentVersionText(0x000b0005u), "11.5");
  EXPECT_EQ(sizeInKb(-1), kUnknownSizeKb);
  EXPECT_EQ(sizeInKb(2047), 1u);
}

TEST(ObjectCatalogue, PackedPathsNeverPassTheBuffer) {
  std::vector<std::string> paths = {"C:\\x", "C:\\yy"};
  char out[16];
  std::memset(out, 0xbd, sizeof out);
  EXPECT_EQ(packPaths(paths, out, 10), 11u);
  EXPECT_EQ(static_cast<unsigned char>(out[0]), 0xbd) << "nothing copied when short";
  EXPECT_EQ(packPaths(paths, out, 12), 11u);
  EXPECT_EQ(bytes(out, 12), literal("C:\\x\0C:\\yy\0\0"));
  EXPECT_EQ(static_cast<unsigned char>(out[12]), 0xbd);
}

}  // namespace
}  // namespace ferry::agent
