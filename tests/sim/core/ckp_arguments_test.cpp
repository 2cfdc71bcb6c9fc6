#include "core/ckp_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ingsim::core {
namespace {

TEST(CkpArguments, TakesTheAgentsCommandLines) {
  CkpArguments args;
  std::string bad = "marker";
  {
    SCOPED_TRACE("checkpoint with verbose and purge");
    EXPECT_EQ(parseCkpArguments(CkpProgram::kCheckpoint, {"salesdb", "-v", "-d"}, &args, &bad), "");
    EXPECT_EQ(bad, "");
    EXPECT_EQ(args.database, "salesdb");
    EXPECT_TRUE(args.verbose);
    EXPECT_TRUE(args.purgeEarlier);
  }
  {
    SCOPED_TRACE("roll-forward with every option");
    EXPECT_EQ(
        parseCkpArguments(CkpProgram::kRollForward,
                          {"salesdb", "#c12", "-v", "-e08-Dec-2026:16:20:02", "-j"}, &args, &bad),
        "");
    EXPECT_EQ(args.checkpoint, 12);
    EXPECT_TRUE(args.checkpointGiven);
    EXPECT_TRUE(args.endTimeGiven);
    EXPECT_EQ(args.endTime.day, 8);
    EXPECT_EQ(args.endTime.month, 12);
    EXPECT_EQ(args.endTime.year, 2026);
    EXPECT_EQ(args.endTime.second, 2);
    EXPECT_FALSE(args.applyJournals);
  }
  {
    SCOPED_TRACE("roll-forward defaults: latest checkpoint, journals applied");
    EXPECT_EQ(parseCkpArguments(CkpProgram::kRollForward, {"db", "#c"}, &args, &bad), "");
    EXPECT_EQ(args.checkpoint, 0);
    EXPECT_TRUE(args.applyJournals);
    EXPECT_FALSE(args.verbose);
  }
}

TEST(CkpArguments, RefusesWhatTheUtilityDoesNotKnow) {
  struct Case {
    CkpProgram program;
    std::vector<std::string> arguments;
    std::string badFlag;
  };
  const Case cases[] = {
      {CkpProgram::kCheckpoint, {"db", "-x"}, "-x"},
      {CkpProgram::kCheckpoint, {"db", "+j"}, "+j"},
      {CkpProgram::kCheckpoint, {"db", "#c1"}, "#c1"},
      {CkpProgram::kRollForward, {"db", "-d"}, "-d"},
      {CkpProgram::kRollForward, {"db", "#c0"}, "#c0"},
      {CkpProgram::kRollForward, {"db", "#cx"}, "#cx"},
      {CkpProgram::kRollForward, {"db", "#c12345"}, "#c12345"},
      {CkpProgram::kRollForward, {"db", "-e2026-12-08"}, "-e2026-12-08"},
      {CkpProgram::kRollForward, {"db", "-e"}, "-e"},
      {CkpProgram::kRollForward, {"db", ""}, ""},
      {CkpProgram::kRollForward, {"db", "other"}, "other"},
      {CkpProgram::kCheckpoint, {"-v"}, ""},
  };
  for (const Case& c : cases) {
    CkpArguments args;
    std::string bad = "marker";
    std::string error = parseCkpArguments(c.program, c.arguments, &args, &bad);
    std::string shown = c.arguments.back();
    EXPECT_NE(error, "") << "accepted '" << shown << "'";
    EXPECT_EQ(bad, c.badFlag) << "for '" << shown << "': " << error;
  }
}

TEST(CkpArguments, ReadsEndTimes) {
  EndTime t;
  EXPECT_TRUE(parseEndTime("1-jan-2024:00:00:00", &t));
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.month, 1);
  EXPECT_TRUE(parseEndTime("29-Feb-2024:23:59:59", &t)) << "a leap day";
  EXPECT_EQ(t.hour, 23);
  const char* const wrong[] = {"29-Feb-2023:00:00:00",
                               "31-Apr-2026:00:00:00",
                               "08-Dec-2026:24:00:00",
                               "08-Dec-2026:10:60:00",
                               "08-Dec-26:10:00:00",
                               "08-Dek-2026:10:00:00",
                               "08-Dec-2026:10:00:00x",
                               "08-Dec-2026:10:00",
                               "0-Dec-2026:10:00:00",
                               "",
                               "08-De"};
  for (const char* text : wrong) {
    t.year = -1;
    EXPECT_FALSE(parseEndTime(text, &t)) << text;
    EXPECT_EQ(t.year, -1) << "a refused time leaves the result alone: " << text;
  }
}

}  // namespace
}  // namespace ingsim::core
