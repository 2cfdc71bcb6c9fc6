#include "core/journal_records.h"

#include <algorithm>

#include "core/sample_pattern.h"

namespace ingsim::core {
namespace {

void putU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void putI64(std::vector<uint8_t>& out, int64_t value) {
  const uint64_t bits = static_cast<uint64_t>(value);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

uint32_t getU32(std::span<const uint8_t> bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

int64_t getI64(std::span<const uint8_t> bytes, size_t at) {
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value |= static_cast<uint64_t>(bytes[at + i]) << (8 * i);
  return static_cast<int64_t>(value);
}

JournalContents damaged(std::string fault, size_t offset) {
  JournalContents contents;
  contents.kind = JournalKind::kDamaged;
  contents.fault = fault + " at offset " + std::to_string(offset);
  return contents;
}

}  // namespace

std::vector<uint8_t> encodeTimedJournal(const std::string& fileName,
                                        const std::vector<int64_t>& times, uint32_t recordLength) {
  if (times.size() > kMaxJournalRecords || recordLength > kMaxJournalRecordLength) return {};
  std::vector<uint8_t> out(kJournalMagic.begin(), kJournalMagic.end());
  putU32(out, static_cast<uint32_t>(times.size()));
  putU32(out, 0);
  const uint64_t seed = sampleSeed(fileName);
  for (int64_t time : times) {
    putI64(out, time);
    putU32(out, recordLength);
    putU32(out, 0);
    const size_t at = out.size();
    out.resize(at + recordLength);
    fillSample(seed, at, out.data() + at, recordLength);
  }
  return out;
}

JournalContents readJournal(std::span<const uint8_t> bytes) {
  if (bytes.size() < kJournalMagic.size() ||
      !std::equal(kJournalMagic.begin(), kJournalMagic.end(), bytes.begin())) {
    return {};
  }
  if (bytes.size() < kJournalHeadSize) return damaged("the journal head is cut off", 0);
  const uint32_t count = getU32(bytes, 8);
  if (count > kMaxJournalRecords) {
    return damaged("a record count of " + std::to_string(count) + " (at most " +
                       std::to_string(kMaxJournalRecords) + ")",
                   8);
  }
  if (getU32(bytes, 12) != 0) return damaged("a reserved field that is not 0", 12);
  JournalContents contents;
  contents.kind = JournalKind::kTimed;
  size_t at = kJournalHeadSize;
  for (uint32_t n = 0; n < count; ++n) {
    if (bytes.size() - at < kJournalRecordHeadSize) {
      return damaged("record " + std::to_string(n + 1) + " of " + std::to_string(count) +
                         " is cut off in its head",
                     at);
    }
    const int64_t time = getI64(bytes, at);
    const uint32_t length = getU32(bytes, at + 8);
    if (length > kMaxJournalRecordLength || getU32(bytes, at + 12) != 0) {
      return damaged("record " + std::to_string(n + 1) + " has a length of " +
                         std::to_string(length) + " or a reserved field that is not 0",
                     at);
    }
    if (bytes.size() - at - kJournalRecordHeadSize < length) {
      return damaged(
          "record " + std::to_string(n + 1) + " of " + std::to_string(length) + " bytes is cut off",
          at);
    }
    contents.recordTimes.push_back(time);
    at += kJournalRecordHeadSize + length;
  }
  if (at != bytes.size()) {
    return damaged("bytes after the last record (" + std::to_string(bytes.size() - at) + ")", at);
  }
  return contents;
}

JournalApplication applyJournals(const std::vector<JournalFile>& files,
                                 std::optional<int64_t> endTime) {
  JournalApplication result;
  bool stopped = false;
  for (const JournalFile& file : files) {
    if (file.contents.kind == JournalKind::kDamaged) stopped = true;
    if (stopped) {
      result.recordsNotApplied += file.contents.recordTimes.size();
      continue;
    }
    bool appliedHere = file.contents.kind == JournalKind::kUntimed;
    const std::vector<int64_t>& times = file.contents.recordTimes;
    for (size_t i = 0; i < times.size(); ++i) {
      if (endTime && times[i] > *endTime) {
        stopped = true;
        result.stoppedInFile = file.name;
        result.stoppedAtRecord = static_cast<uint32_t>(i + 1);
        result.stoppedAtTime = times[i];
        result.recordsNotApplied += times.size() - i;
        break;
      }
      ++result.recordsApplied;
      appliedHere = true;
    }
    // A file of no records applies nothing, yet the roll forward went through it.
    if (appliedHere || (!stopped && times.empty())) {
      ++result.filesApplied;
      result.lastFileApplied = file.name;
    }
  }
  return result;
}

}  // namespace ingsim::core
