// restore --as-of and verify against the testbed agent and a simulated installation: the roll
// forward of the data ends at the point in time (the simulated rollforwarddb leaves the journal
// records after it unapplied and says so), and a point in time the archive cannot reach is
// refused before anything is written.
#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "ferryctl_fixture.h"
#include "ingsim/installation.h"

namespace ferry::test {
namespace {

std::tm localOf(int64_t seconds) {
  const __time64_t value = seconds;
  std::tm local{};
  _localtime64_s(&local, &value);
  return local;
}

std::string formatted(int64_t seconds, const char* format) {
  std::tm local = localOf(seconds);
  char text[40];
  std::strftime(text, sizeof text, format, &local);
  return text;
}

ingsim::JournalTime journalTime(int64_t seconds) {
  std::tm local = localOf(seconds);
  ingsim::JournalTime time;
  time.relative = false;
  time.year = local.tm_year + 1900;
  time.month = local.tm_mon + 1;
  time.day = local.tm_mday;
  time.hour = local.tm_hour;
  time.minute = local.tm_min;
  time.second = local.tm_sec;
  return time;
}

TEST_F(FerryctlAgent, RestoreAsOfEndsTheRollForwardThereAndRefusesWhatTheArchiveCannotReach) {
  ASSERT_NO_FATAL_FAILURE(install("FT"));
  std::string second;
  ASSERT_EQ(addJournaledShop("FT", 4096, &second), "");
  const std::string archive = "C:\\ferrytest\\ctl_FT.fya";
  const std::string journalsOnly = "C:\\ferrytest\\ctl_FT_jnl.fya";
  removeAfterwards_.push_back(archive);
  removeAfterwards_.push_back(journalsOnly);
  CtlRun backup = run("backup", quoted(archive) + " --database shop");
  ASSERT_EQ(backup.process.exitCode, 0u) << backup.describe();
  CtlRun journalBackup = run("backup", quoted(journalsOnly) + " \"~JOURNAL OF DATABASE shop\"");
  ASSERT_EQ(journalBackup.process.exitCode, 0u) << journalBackup.describe();
  {
    SCOPED_TRACE("verify: the archive alone, its listing the same as restore --list");
    CtlRun verify = ferryctl("verify " + quoted(archive));
    EXPECT_EQ(verify.process.exitCode, 0u) << verify.describe();
    EXPECT_NE(verify.out.find("3 objects, 7 files, "), std::string::npos) << verify.describe();
    EXPECT_NE(verify.out.find("bytes; every length and checksum verified\n"), std::string::npos);
    EXPECT_EQ(ferryctl("restore --list " + quoted(archive)).out, verify.out);
    CtlRun missing = ferryctl("verify C:\\ferrytest\\ctl_FT_none.fya");
    EXPECT_EQ(missing.process.exitCode, 4u) << missing.describe();
    EXPECT_NE(missing.err.find("cannot open C:\\ferrytest\\ctl_FT_none.fya: error 2"),
              std::string::npos)
        << missing.describe();
  }

  // The work done after the backup: three journal records an hour apart.
  const int64_t now = _time64(nullptr);
  ingsim::JournalOptions journal;
  journal.database = "shop";
  journal.times = {journalTime(now + 3600), journalTime(now + 7200), journalTime(now + 10800)};
  std::string report;
  ASSERT_EQ(ingsim::addJournal("FT", journal, &report), "");
  // The data are lost; the journals are not.
  const std::string first = ingsim::dataFolder(installation_->root(), "shop");
  const std::vector<std::string> dataFiles = {
      first + "\\aaaaaaab.t00", first + "\\aaaaaaac.t00",
      ingsim::dataFolder(second, "shop") + "\\aaaaaaad.t00"};
  for (const std::string& path : dataFiles) ASSERT_TRUE(DeleteFileA(path.c_str())) << path;
  const std::string rollReport = agent_->path("rollFTshop.out");
  {
    SCOPED_TRACE("refused before anything is written");
    struct Refusal {
      std::string archive;
      std::string asOf;
      unsigned exitCode;
      std::string message;
    };
    for (const Refusal& r :
         {Refusal{archive, "2000-01-01 00:00:00", 2,
                  "--as-of 2000-01-01 00:00:00 is before the archive's checkpoint: the earliest "
                  "point in time it can be restored to is "},
          Refusal{archive, formatted(now - 3600, "%Y-%m-%d %H:%M:%S"), 2, "is before the archive"},
          Refusal{archive, "2026-13-01 00:00:00", 2,
                  "--as-of '2026-13-01 00:00:00' is not a local time of the form"},
          Refusal{archive, "tomorrow", 2, "is not a local time"},
          Refusal{journalsOnly, formatted(now + 7200, "%Y-%m-%d %H:%M:%S"), 2,
                  "the archive holds no database data"}}) {
      CtlRun refused = run("restore " + quoted(r.archive), "--as-of " + quoted(r.asOf));
      EXPECT_EQ(refused.process.exitCode, r.exitCode) << refused.describe();
      EXPECT_NE(refused.err.find(r.message), std::string::npos) << refused.describe();
      EXPECT_EQ(refused.out, "") << refused.describe();
    }
    for (const std::string& path : dataFiles) EXPECT_FALSE(fileExists(path)) << path;
    EXPECT_FALSE(fileExists(rollReport)) << "a roll forward ran";
  }

  const std::string asOf = formatted(now + 7200, "%Y-%m-%d %H:%M:%S");
  CtlRun restore =
      run("restore " + quoted(archive), "--as-of " + quoted(asOf) + " --option-bits 0x200");
  ASSERT_EQ(restore.process.exitCode, 0u) << restore.describe();
  EXPECT_EQ(restore.out.find("point in time " + asOf +
                             " (local time): the roll forward of the data ends there\n"),
            0u)
      << restore.describe();
  EXPECT_NE(restore.out.find("verified 7 files: all match the archive\n"), std::string::npos)
      << restore.describe();
  for (const std::string& path : dataFiles) EXPECT_TRUE(fileExists(path)) << path;
  // The agent gives rollforwarddb the time as local time; the record after it stays unapplied.
  const std::string endTime = formatted(now + 7200, "%d-%b-%Y:%H:%M:%S");
  const std::string rolled = withoutCarriageReturns(readWholeFile(rollReport));
  EXPECT_NE(rolled.find("RFP: Applied journal files j0000001.jnl to j0000003.jnl up to " + endTime +
                        "\n"),
            std::string::npos)
      << rolled;
  EXPECT_NE(rolled.find("RFP: 2 timed journal records applied\n"), std::string::npos) << rolled;
  EXPECT_NE(rolled.find("RFP: 1 journal record after the end time " + endTime +
                        " not applied, from record 3 of j0000003.jnl (written " +
                        formatted(now + 10800, "%d-%b-%Y:%H:%M:%S") + ")\n"),
            std::string::npos)
      << rolled;
  EXPECT_NE(rolled.find("completed."), std::string::npos) << rolled;
  EXPECT_TRUE(fileExists(ingsim::journalFolder(installation_->root(), "shop") + "\\j0000003.jnl"))
      << "the journal the archive does not hold stays";
}

}  // namespace
}  // namespace ferry::test
