// The checkpoint template's bytes, its file name and the extractor pipe name, with the limits of
// the buffers they are built in.
#include "core/checkpoint_template.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace ferry::agent {
namespace {

std::string readExpected(const char* name) {
  const std::string path = std::string(FERRY_CORE_TEST_DATA) + "/" + name;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "<cannot open " + path + ">";
  std::string bytes;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  std::fclose(file);
  return bytes;
}

// First differing byte, for a readable failure message.
std::string firstDifference(const std::string& actual, const std::string& expected) {
  size_t i = 0;
  while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
  if (i == actual.size() && i == expected.size()) return "none";
  const size_t from = i < 40 ? 0 : i - 40;
  return "offset " + std::to_string(i) + ": actual \"" + actual.substr(from, 80) +
         "\" expected \"" + expected.substr(from, 80) + "\"";
}

TEST(CheckpointTemplate, TextMatchesTheReviewedFileByteForByte) {
  const std::string expected = readExpected("checkpoint_template_expected.def");
  const std::string actual = checkpointTemplateText("C:\\AGENT~1", "\\\\.\\pipe\\TIDUAdemo");
  EXPECT_EQ(actual.size(), expected.size()) << firstDifference(actual, expected);
  EXPECT_TRUE(actual == expected) << firstDifference(actual, expected);
}

TEST(CheckpointTemplate, LinesEndInCrLfAndCarryTheValuesOnlyInSiphonLines) {
  const char* pipe = "\\\\.\\pipe\\TIDUAdemo";
  int siphonLines = 0;
  for (int number = 1; number <= kTemplateLineCount; ++number) {
    const std::string line = checkpointTemplateLine(number, "C:\\AGENT~1", pipe);
    ASSERT_GE(line.size(), 7u) << "line " << number;
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n") << "line " << number;
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "line " << number << ": one line end only";
    EXPECT_EQ(line[4], ':') << "line " << number << ": " << line;
    EXPECT_EQ(line.find("%%"), std::string::npos) << "line " << number << ": " << line;
    if (line.find("siphon") != std::string::npos) {
      ++siphonLines;
      EXPECT_NE(line.find(std::string("-N ") + pipe + "\r\n"), std::string::npos)
          << "line " << number << ": " << line;
      EXPECT_EQ(line[0], 'W') << "line " << number;
    }
  }
  EXPECT_EQ(siphonLines, 8);
  EXPECT_EQ(checkpointTemplateLine(0, "d", "p"), "");
  EXPECT_EQ(checkpointTemplateLine(49, "d", "p"), "");
  {
    SCOPED_TRACE("no short agent directory: the command starts with the backslash");
    EXPECT_EQ(checkpointTemplateLine(20, "", "P"),
              "WSTD:\t \\siphon -P \"%D\" -C %F -T db_backup -N P\r\n");
  }
}

TEST(ExtractorPipeName, FitsSixtyThreeCharactersAndRefusesMore) {
  char name[kExtractorPipeNameSize + 8];
  std::memset(name, 0xbd, sizeof name);
  ASSERT_TRUE(buildExtractorPipeName("II", "demo", name, kExtractorPipeNameSize));
  EXPECT_STREQ(name, "\\\\.\\pipe\\TIDIIdemo");
  EXPECT_EQ(std::strlen(kExtractorPipePrefix), 12u);

  // 12 characters of prefix leave 51 for code and database name together.
  const std::string fits(49, 'd');
  std::memset(name, 0xbd, sizeof name);
  EXPECT_TRUE(buildExtractorPipeName("UA", fits.c_str(), name, kExtractorPipeNameSize));
  EXPECT_EQ(std::strlen(name), 63u);
  EXPECT_EQ(static_cast<unsigned char>(name[kExtractorPipeNameSize]), 0xbdu) << "guard byte";

  const std::string tooLong(50, 'd');
  std::memset(name, 0xbd, sizeof name);
  EXPECT_FALSE(buildExtractorPipeName("UA", tooLong.c_str(), name, kExtractorPipeNameSize));
  EXPECT_STREQ(name, "") << "refused, not cut";
  EXPECT_EQ(static_cast<unsigned char>(name[kExtractorPipeNameSize]), 0xbdu) << "guard byte";
}

TEST(TemplatePath, BuiltFromRootAndCodeWithinTwoHundredFiftyNineCharacters) {
  char path[kUtilityPathSize];
  ASSERT_TRUE(buildTemplatePath("C:\\ferrytest\\UA", "UA", path, sizeof path));
  EXPECT_STREQ(path, "C:\\ferrytest\\UA\\ingres\\files\\htbtmplUA.def");
  // "\ingres\files\htbtmpl" (21) + "UA" + ".def" (4) = 27 characters after the root.
  const std::string root(259 - 27, 'r');
  EXPECT_TRUE(buildTemplatePath(root.c_str(), "UA", path, sizeof path));
  EXPECT_EQ(std::strlen(path), 259u);
  EXPECT_FALSE(buildTemplatePath((root + "r").c_str(), "UA", path, sizeof path));
  EXPECT_STREQ(path, "");
}

}  // namespace
}  // namespace ferry::agent
