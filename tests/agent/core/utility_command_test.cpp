// The command lines of the checkpoint and roll-forward runs for their option words, the output
// file names, and the limits of the buffers they are built in.
#include "core/utility_command.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/checkpoint_template.h"

namespace ferry::agent {
namespace {

constexpr char kRoot[] = "C:\\ferrytest\\UA";

std::string ckpdb(uint32_t options) {
  char line[kUtilityCommandLineSize];
  std::memset(line, 0xbd, sizeof line);
  CommandStatus status = buildCkpdbCommand(kRoot, "demo", options, line, sizeof line);
  if (status != CommandStatus::Ok) return "<status " + std::to_string(int(status)) + ">";
  return line;
}

std::string roll(uint32_t options, const char* checkpointId = "12", const char* endTime = nullptr) {
  char line[kUtilityCommandLineSize];
  std::memset(line, 0xbd, sizeof line);
  CommandStatus status =
      buildRollforwardCommand(kRoot, "demo", checkpointId, options, endTime, line, sizeof line);
  if (status != CommandStatus::Ok) return "<status " + std::to_string(int(status)) + ">";
  return line;
}

TEST(CkpdbCommand, OptionBitsGiveTheirFlagsInOrder) {
  const std::string base = "\"C:\\ferrytest\\UA\\ingres\\bin\\ckpdb\" demo";
  EXPECT_EQ(ckpdb(0), base);
  EXPECT_EQ(ckpdb(0x120), base + " -v -d") << "verbose first, then purge";
  EXPECT_EQ(ckpdb(0x20), base + " -d");
  EXPECT_EQ(ckpdb(0x100), base + " -v");
  EXPECT_EQ(ckpdb(0x40), base) << "enable journaling passes no flag";
  EXPECT_EQ(ckpdb(0x80), base) << "disable journaling passes no flag";
  EXPECT_EQ(ckpdb(0xFFFFFFFFu), base + " -v -d") << "unknown bits are ignored";
}

TEST(RollforwardCommand, OptionBitsGiveTheirFlagsInOrder) {
  const std::string base = "\"C:\\ferrytest\\UA\\ingres\\bin\\rollforwarddb\" demo #c12";
  EXPECT_EQ(roll(0), base + " +j");
  EXPECT_EQ(roll(0x1C00, "12", "08-Dec-2026:16:20:02"), base + " -v -e08-Dec-2026:16:20:02 -j");
  EXPECT_EQ(roll(0x1000), base + " -v +j");
  EXPECT_EQ(roll(0x400), base + " -j");
  EXPECT_EQ(roll(0x800, "12", "T"), base + " -eT +j");
  EXPECT_EQ(roll(0x1000, "12", "not used without 0x800"), base + " -v +j");
  EXPECT_EQ(roll(0, ""), "\"C:\\ferrytest\\UA\\ingres\\bin\\rollforwarddb\" demo #c +j");
}

TEST(RollforwardCommand, PiecesBeyondTheirBuffersAreRefused) {
  const std::string id28(28, '7');
  EXPECT_EQ(roll(0, id28.c_str()),
            "\"C:\\ferrytest\\UA\\ingres\\bin\\rollforwarddb\" demo #c" + id28 + " +j");
  EXPECT_EQ(roll(0, (id28 + "7").c_str()),
            "<status " + std::to_string(int(CommandStatus::CheckpointIdTooLong)) + ">");
  const std::string time36(36, 't');
  EXPECT_NE(roll(0x800, "1", time36.c_str()).find(" -e" + time36 + " +j"), std::string::npos);
  EXPECT_EQ(roll(0x800, "1", (time36 + "t").c_str()),
            "<status " + std::to_string(int(CommandStatus::EndTimeTooLong)) + ">");
  EXPECT_EQ(roll(0, "1", (time36 + "t").c_str()).substr(0, 1), "\"")
      << "the end time is not looked at without 0x800";
}

TEST(UtilityCommand, LinesOfTwoHundredFiftyFiveCharactersFitAndLongerAreRefused) {
  // ckpdb: '"' + root + "\ingres\bin\ckpdb\" " (19) + name = 255 exactly.
  const std::string root = kRoot;
  const size_t fixed = 1 + root.size() + 19;
  const std::string fits(255 - fixed, 'n');
  char line[kUtilityCommandLineSize + 4];
  std::memset(line, 0xbd, sizeof line);
  ASSERT_EQ(buildCkpdbCommand(kRoot, fits.c_str(), 0, line, kUtilityCommandLineSize),
            CommandStatus::Ok);
  EXPECT_EQ(std::strlen(line), 255u);
  EXPECT_EQ(static_cast<unsigned char>(line[kUtilityCommandLineSize]), 0xbdu) << "guard byte";
  EXPECT_EQ(buildCkpdbCommand(kRoot, fits.c_str(), 0x100, line, kUtilityCommandLineSize),
            CommandStatus::TooLong)
      << "the flag makes it 258";
  EXPECT_STREQ(line, "") << "refused, not cut";
  EXPECT_EQ(static_cast<unsigned char>(line[kUtilityCommandLineSize]), 0xbdu) << "guard byte";

  const std::string longName(250, 'n');
  EXPECT_EQ(buildRollforwardCommand(kRoot, longName.c_str(), "1", 0, nullptr, line,
                                    kUtilityCommandLineSize),
            CommandStatus::TooLong);
  EXPECT_STREQ(line, "");
}

TEST(UtilityCommand, IngsetenvLineAndOutputFiles) {
  char line[kIngsetenvCommandSize];
  ASSERT_EQ(
      buildIngsetenvCommand("C:\\FERRYT~1\\UA", "C:\\ferrytest\\UA\\t.def", line, sizeof line),
      CommandStatus::Ok);
  EXPECT_STREQ(
      line,
      "\"C:\\FERRYT~1\\UA\\ingres\\bin\\ingsetenv\" II_CKTMPL_FILE \"C:\\ferrytest\\UA\\t.def\"");

  char path[kUtilityPathSize];
  ASSERT_TRUE(buildUtilityOutputPath("C:\\agent", "ckpderr", "UA", "demo", path, sizeof path));
  EXPECT_STREQ(path, "C:\\agent\\ckpderrUAdemo.out");
  // "\rollerr" (8) + "UA" + ".out" (4) = 14 characters besides directory and name.
  const std::string directory(259 - 14 - 4, 'a');
  EXPECT_TRUE(
      buildUtilityOutputPath(directory.c_str(), "rollerr", "UA", "demo", path, sizeof path));
  EXPECT_EQ(std::strlen(path), 259u);
  EXPECT_FALSE(
      buildUtilityOutputPath(directory.c_str(), "rollerr", "UA", "demo1", path, sizeof path));
  EXPECT_STREQ(path, "");

  // A captured run's own file: the process and the run in its name, never cut either.
  ASSERT_TRUE(
      buildCapturedOutputPath("C:\\agent", "infodb", "UA", "demo", 4242, 7, path, sizeof path));
  EXPECT_STREQ(path, "C:\\agent\\infodbUAdemo-4242-7.out");
  ASSERT_TRUE(
      buildCapturedOutputPath("C:\\agent", "env", "UA", "", 4294967295u, 1, path, sizeof path));
  EXPECT_STREQ(path, "C:\\agent\\envUA-4294967295-1.out");
  EXPECT_FALSE(
      buildCapturedOutputPath(directory.c_str(), "env", "UA", "demodemo", 1, 1, path, sizeof path));
  EXPECT_STREQ(path, "");
}

TEST(UtilityCommand, CapturedRunsAndIngunsetQuoteTheProgramAndAreNeverCut) {
  const char* root = "C:\\Program Files\\Ingres II";
  const std::string program = "\"C:\\Program Files\\Ingres II\\ingres\\bin\\";
  char line[kUtilityCommandLineSize];
  ASSERT_EQ(buildInfodbCommand(root, "demo", line, sizeof line), CommandStatus::Ok);
  EXPECT_EQ(std::string(line), program + "infodb\" demo");
  ASSERT_EQ(buildInfodbListCommand(root, "ingres", line, sizeof line), CommandStatus::Ok);
  EXPECT_EQ(std::string(line), program + "infodb\" -uingres");
  ASSERT_EQ(buildIngprenvCommand(root, nullptr, line, sizeof line), CommandStatus::Ok);
  EXPECT_EQ(std::string(line), program + "ingprenv\"");
  ASSERT_EQ(buildIngprenvCommand(root, "II_DATABASE", line, sizeof line), CommandStatus::Ok);
  EXPECT_EQ(std::string(line), program + "ingprenv\" II_DATABASE");
  ASSERT_EQ(buildIngunsetCommand(root, line, sizeof line), CommandStatus::Ok);
  EXPECT_EQ(std::string(line), program + "ingunset\" II_CKTMPL_FILE");

  // "\"" + root + "\ingres\bin\infodb\" " is 21 characters besides the root and the name.
  const std::string name(sizeof line - 1 - 21 - std::strlen(root), 'd');
  EXPECT_EQ(buildInfodbCommand(root, name.c_str(), line, sizeof line), CommandStatus::Ok);
  EXPECT_EQ(std::strlen(line), sizeof line - 1) << "the longest line fits exactly";
  std::memset(line, 0xbd, sizeof line);
  EXPECT_EQ(buildInfodbCommand(root, (name + "d").c_str(), line, sizeof line),
            CommandStatus::TooLong);
  EXPECT_STREQ(line, "") << "one character more is refused, not cut";
}

}  // namespace
}  // namespace ferry::agent
