// The simulated journal files: timed records written and read back, damaged files named with
// their offset, and where a roll forward with an end time stops.
#include "core/journal_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/sample_pattern.h"

namespace ingsim::core {
namespace {

std::span<const uint8_t> view(const std::vector<uint8_t>& bytes) { return bytes; }

TEST(SimJournal, TimedRecordsRoundTripAndDamageIsNamed) {
  const std::vector<int64_t> times = {1767600000, 1767600060, 1767600060, 1767603600};
  const std::vector<uint8_t> bytes = encodeTimedJournal("j0000004.jnl", times, 100);
  ASSERT_EQ(bytes.size(), kJournalHeadSize + times.size() * (kJournalRecordHeadSize + 100));
  {
    SCOPED_TRACE("read back: the times in file order, the bodies the file's sample pattern");
    JournalContents contents = readJournal(view(bytes));
    ASSERT_EQ(contents.kind, JournalKind::kTimed) << contents.fault;
    EXPECT_EQ(contents.recordTimes, times);
    const size_t body = kJournalHeadSize + kJournalRecordHeadSize;
    EXPECT_EQ(bytes[body], sampleByte("j0000004.jnl", body));
    EXPECT_EQ(bytes[body + 99], sampleByte("j0000004.jnl", body + 99));
  }
  {
    SCOPED_TRACE("no records, and sample bytes without the mark");
    EXPECT_EQ(readJournal(view(encodeTimedJournal("j1", {}, 10))).kind, JournalKind::kTimed);
    std::vector<uint8_t> sample(4096);
    fillSample(sampleSeed("j0000001.jnl"), 0, sample.data(), sample.size());
    EXPECT_EQ(readJournal(view(sample)).kind, JournalKind::kUntimed);
    EXPECT_EQ(readJournal({}).kind, JournalKind::kUntimed) << "an empty journal file";
  }
  struct Damage {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* fault;
  };
  std::vector<uint8_t> cutHead(bytes.begin(), bytes.begin() + 12);
  std::vector<uint8_t> cutRecordHead(bytes.begin(), bytes.begin() + kJournalHeadSize + 10);
  std::vector<uint8_t> cutBody(bytes.begin(), bytes.end() - 1);
  std::vector<uint8_t> trailing = bytes;
  trailing.push_back(0);
  std::vector<uint8_t> tooMany = bytes;
  tooMany[8] = 0xa1;  // 100001 records
  tooMany[9] = 0x86;
  tooMany[10] = 0x01;
  std::vector<uint8_t> longRecord = bytes;
  longRecord[kJournalHeadSize + 8 + 2] = 0x20;  // 2 MiB + 100
  std::vector<uint8_t> reserved = bytes;
  reserved[kJournalHeadSize + 12] = 1;
  for (const Damage& d : {Damage{"head cut off", cutHead, "head is cut off at offset 0"},
                          Damage{"record head cut off", cutRecordHead,
                                 "record 1 of 4 is cut off in its head at offset 16"},
                          Damage{"last body one byte short", cutBody,
                                 "record 4 of 100 bytes is cut off at offset 364"},
                          Damage{"a byte after the last record", trailing,
                                 "bytes after the last record (1) at offset 480"},
                          Damage{"count above the limit", tooMany, "a record count of 100001"},
                          Damage{"length above the limit", longRecord, "record 1 has a length"},
                          Damage{"reserved word set", reserved, "record 1 has a length of 100"}}) {
    SCOPED_TRACE(d.what);
    JournalContents contents = readJournal(view(d.bytes));
    EXPECT_EQ(contents.kind, JournalKind::kDamaged);
    EXPECT_NE(contents.fault.find(d.fault), std::string::npos) << contents.fault;
  }
  {
    SCOPED_TRACE("limits refused when writing");
    EXPECT_TRUE(encodeTimedJournal("j", {1}, kMaxJournalRecordLength + 1).empty());
    EXPECT_TRUE(
        encodeTimedJournal("j", std::vector<int64_t>(kMaxJournalRecords + 1, 1), 0).empty());
    EXPECT_FALSE(encodeTimedJournal("j", {1}, kMaxJournalRecordLength).empty());
  }
}

JournalFile timed(const std::string& name, std::vector<int64_t> times) {
  return {name, {JournalKind::kTimed, std::move(times), ""}};
}
JournalFile untimed(const std::string& name) { return {name, {}}; }

TEST(SimJournal, RollForwardStopsAtTheFirstRecordAfterTheEndTime) {
  const std::vector<JournalFile> files = {untimed("j0000001.jnl"), untimed("j0000002.jnl"),
                                          timed("j0000003.jnl", {100, 200}),
                                          timed("j0000004.jnl", {300, 400, 500})};
  {
    SCOPED_TRACE("no end time: everything");
    JournalApplication a = applyJournals(files, std::nullopt);
    EXPECT_EQ(a.filesApplied, 4);
    EXPECT_EQ(a.lastFileApplied, "j0000004.jnl");
    EXPECT_EQ(a.recordsApplied, 5u);
    EXPECT_EQ(a.recordsNotApplied, 0u);
    EXPECT_EQ(a.stoppedInFile, "");
  }
  {
    SCOPED_TRACE("an end time equal to a record's time applies that record");
    JournalApplication a = applyJournals(files, 400);
    EXPECT_EQ(a.filesApplied, 4);
    EXPECT_EQ(a.recordsApplied, 4u);
    EXPECT_EQ(a.recordsNotApplied, 1u);
    EXPECT_EQ(a.stoppedInFile, "j0000004.jnl");
    EXPECT_EQ(a.stoppedAtRecord, 3u);
    EXPECT_EQ(a.stoppedAtTime, 500);
  }
  {
    SCOPED_TRACE("between files: the later file is not applied at all");
    JournalApplication a = applyJournals(files, 250);
    EXPECT_EQ(a.filesApplied, 3);
    EXPECT_EQ(a.lastFileApplied, "j0000003.jnl");
    EXPECT_EQ(a.recordsApplied, 2u);
    EXPECT_EQ(a.recordsNotApplied, 3u);
    EXPECT_EQ(a.stoppedInFile, "j0000004.jnl");
    EXPECT_EQ(a.stoppedAtRecord, 1u);
  }
  {
    SCOPED_TRACE("before every timed record: the untimed files only");
    JournalApplication a = applyJournals(files, 99);
    EXPECT_EQ(a.filesApplied, 2);
    EXPECT_EQ(a.lastFileApplied, "j0000002.jnl");
    EXPECT_EQ(a.recordsApplied, 0u);
    EXPECT_EQ(a.recordsNotApplied, 5u);
  }
  {
    SCOPED_TRACE("a later record with an earlier time is not applied once the roll stopped");
    JournalApplication a =
        applyJournals({timed("j0000001.jnl", {100, 300, 150}), timed("j0000002.jnl", {120})}, 200);
    EXPECT_EQ(a.recordsApplied, 1u);
    EXPECT_EQ(a.recordsNotApplied, 3u);
    EXPECT_EQ(a.stoppedAtRecord, 2u);
    EXPECT_EQ(a.filesApplied, 1);
  }
  {
    SCOPED_TRACE("nothing applied: the first timed record is after the end time");
    JournalApplication a = applyJournals({timed("j0000001.jnl", {100})}, 50);
    EXPECT_EQ(a.filesApplied, 0);
    EXPECT_EQ(a.lastFileApplied, "");
    EXPECT_EQ(a.recordsNotApplied, 1u);
  }
}

}  // namespace
}  // namespace ingsim::core
