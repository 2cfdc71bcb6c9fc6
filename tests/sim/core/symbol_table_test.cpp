#include "core/symbol_table.h"

#include <gtest/gtest.h>

#include <string>

namespace ingsim::core {
namespace {

std::string record(const std::string& name, const std::string& value) {
  std::string out = name + "\t" + value;
  out.append(kSymbolRecordSize - 1 - out.size(), ' ');
  return out + "\n";
}

TEST(SymbolTable, RecordIsFixedWidth) {
  std::string encoded;
  {
    SCOPED_TRACE("ordinary record");
    ASSERT_EQ(encodeSymbolRecord({"II_CKTMPL_FILE", "C:\\x y\\t.def"}, &encoded), "");
    ASSERT_EQ(encoded.size(), kSymbolRecordSize) << "record: [" << encoded << "]";
    EXPECT_EQ(encoded.substr(0, 15), "II_CKTMPL_FILE\t") << encoded;
    EXPECT_EQ(encoded.substr(15, 12), "C:\\x y\\t.def") << encoded;
    EXPECT_EQ(encoded.find_first_not_of(' ', 27), 255u) << "padding must be blanks: " << encoded;
    EXPECT_EQ(encoded.back(), '\n');
  }
  {
    SCOPED_TRACE("empty value");
    ASSERT_EQ(encodeSymbolRecord({"II_EMPTY", ""}, &encoded), "");
    EXPECT_EQ(encoded, record("II_EMPTY", "")) << encoded;
  }
  {
    SCOPED_TRACE("name and value filling the record to the newline");
    std::string value(kSymbolRecordSize - 4 - 2, 'v');  // name, TAB, value, newline
    ASSERT_EQ(encodeSymbolRecord({"NAME", value}, &encoded), "");
    EXPECT_EQ(encoded, "NAME\t" + value + "\n");
    std::string error = encodeSymbolRecord({"NAME", value + "v"}, &encoded);
    EXPECT_NE(error, "") << "one byte over the record must be refused";
    EXPECT_EQ(encoded, "") << "nothing is written on failure: " << encoded;
  }
  {
    SCOPED_TRACE("name lengths");
    EXPECT_EQ(validateSymbolName(std::string(kMaxSymbolNameLength, 'N')), "");
    EXPECT_NE(validateSymbolName(std::string(kMaxSymbolNameLength + 1, 'N')), "");
    EXPECT_NE(validateSymbolName(""), "");
    EXPECT_NE(validateSymbolName("9LIVES"), "");
    EXPECT_NE(validateSymbolName("II SYSTEM"), "");
    EXPECT_NE(validateSymbolName("II=X"), "");
  }
  {
    SCOPED_TRACE("values that cannot survive the record");
    EXPECT_NE(validateSymbol("A", "line\nbreak"), "");
    EXPECT_NE(validateSymbol("A", "tab\there"), "");
    EXPECT_NE(validateSymbol("A", "trailing "), "");
    EXPECT_EQ(validateSymbol("A", " leading and = inside"), "");
  }
}

TEST(SymbolTable, RoundTripKeepsOrderAndValues) {
  SymbolTable table;
  ASSERT_EQ(setSymbol(&table, "II_SYSTEM", "C:\\Program Files\\Ingres"), "");
  ASSERT_EQ(setSymbol(&table, "II_EQ", "a=b=c"), "");
  ASSERT_EQ(setSymbol(&table, "II_EMPTY", ""), "");
  const std::string image = serializeSymbolTable(table);
  ASSERT_EQ(image.size(), 3 * kSymbolRecordSize);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(image[i * kSymbolRecordSize + kSymbolRecordSize - 1], '\n') << "record " << i;
  }
  SymbolTable back = parseSymbolTable(image);
  EXPECT_EQ(back.malformedRecords, 0u);
  ASSERT_EQ(back.symbols.size(), 3u);
  EXPECT_EQ(back.symbols[0].value, "C:\\Program Files\\Ingres");
  EXPECT_EQ(back.symbols[1].value, "a=b=c");
  EXPECT_EQ(back.symbols[2].name, "II_EMPTY");
  EXPECT_EQ(back.symbols[2].value, "");
  EXPECT_EQ(formatSymbolListing(back),
            "II_SYSTEM=C:\\Program Files\\Ingres\nII_EQ=a=b=c\nII_EMPTY=\n");
}

TEST(SymbolTable, SetAndUnset) {
  SymbolTable table = parseSymbolTable(record("A", "1") + record("B", "2") + record("C", "3"));
  {
    SCOPED_TRACE("set replaces in place");
    ASSERT_EQ(setSymbol(&table, "B", "two"), "");
    EXPECT_EQ(formatSymbolListing(table), "A=1\nB=two\nC=3\n");
  }
  {
    SCOPED_TRACE("set appends a new name; names are case-sensitive");
    ASSERT_EQ(setSymbol(&table, "b", "lower"), "");
    EXPECT_EQ(formatSymbolListing(table), "A=1\nB=two\nC=3\nb=lower\n");
  }
  {
    SCOPED_TRACE("invalid set leaves the table alone");
    EXPECT_NE(setSymbol(&table, "A", std::string(300, 'x')), "");
    EXPECT_EQ(findSymbol(table, "A")->value, "1");
  }
  {
    SCOPED_TRACE("unset");
    EXPECT_TRUE(unsetSymbol(&table, "B"));
    EXPECT_FALSE(unsetSymbol(&table, "B"));
    EXPECT_EQ(findSymbol(table, "B"), nullptr);
    EXPECT_EQ(formatSymbolListing(table), "A=1\nC=3\nb=lower\n");
  }
}

TEST(SymbolTable, MalformedRecordsAreSkipped) {
  {
    SCOPED_TRACE("bad records between good ones");
    std::string bytes = record("GOOD1", "x") + std::string(255, ' ').replace(0, 6, "NO_TAB") +
                        "\n" + record("9BAD", "y") + std::string(300, 'z') + "\n" +
                        record("GOOD2", "y") + record("GOOD1", "again");
    SymbolTable table = parseSymbolTable(bytes);
    EXPECT_EQ(table.malformedRecords, 4u) << formatSymbolListing(table);
    EXPECT_EQ(formatSymbolListing(table), "GOOD1=x\nGOOD2=y\n")
        << "a repeated name keeps its first value";
  }
  {
    SCOPED_TRACE("short lines, CRLF and a last record without newline still read");
    SymbolTable table = parseSymbolTable("A\t1\r\n\nB\tvalue two   \nC\t3");
    EXPECT_EQ(table.malformedRecords, 0u);
    EXPECT_EQ(formatSymbolListing(table), "A=1\nB=value two\nC=3\n");
  }
  {
    SCOPED_TRACE("control bytes and empty names");
    SymbolTable table = parseSymbolTable(std::string("A\tx\0y\n", 6) + "\tnoname\n");
    EXPECT_EQ(table.malformedRecords, 2u);
    EXPECT_TRUE(table.symbols.empty()) << formatSymbolListing(table);
  }
  {
    SCOPED_TRACE("empty file");
    SymbolTable table = parseSymbolTable("");
    EXPECT_TRUE(table.symbols.empty());
    EXPECT_EQ(serializeSymbolTable(table), "");
  }
}

}  // namespace
}  // namespace ingsim::core
