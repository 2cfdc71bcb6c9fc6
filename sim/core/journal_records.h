// The journal files of the simulated installation and what a roll forward takes from them.
//
// `ingsim database --journals N` writes journal files of sample bytes: they stand for work done
// before anything in the simulation kept time, and a roll forward applies them whole.
// `ingsim journal` adds a journal file of timed records, standing for work done on the
// database after its checkpoint:
//
//   file head (16 bytes): "IISIMJNL", the record count (u32), 0 (u32)
//   each record: its time (i64, seconds since 1970, UTC), its length (u32), 0 (u32), then
//                `length` bytes
//
// All integers little-endian. A roll forward with an end time (rollforwarddb -e) applies the
// records in journal order up to and including that time and stops at the first record written
// after it: that record and every one after it are not applied, as Ingres stops its roll
// forward there.
//
// Conventions: platform-free; no exceptions; no file I/O.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ingsim::core {

inline constexpr std::array<uint8_t, 8> kJournalMagic = {'I', 'I', 'S', 'I', 'M', 'J', 'N', 'L'};
inline constexpr size_t kJournalHeadSize = 16;
inline constexpr size_t kJournalRecordHeadSize = 16;
// Limits that ingsim keeps to and the reader checks, so that a damaged file cannot make the
// roll forward believe in more records than it holds.
inline constexpr uint32_t kMaxJournalRecords = 100000;
inline constexpr uint32_t kMaxJournalRecordLength = 1u << 20;

// The bytes of a journal file with one record per entry of `times`, each `recordLength` bytes
// of the sample pattern of `fileName`. Empty when a limit is exceeded.
std::vector<uint8_t> encodeTimedJournal(const std::string& fileName,
                                        const std::vector<int64_t>& times, uint32_t recordLength);

enum class JournalKind {
  kUntimed,  // sample bytes: applied whole
  kTimed,    // timed records
  kDamaged,  // the head says timed records, the bytes do not hold them
};

struct JournalContents {
  JournalKind kind = JournalKind::kUntimed;
  std::vector<int64_t> recordTimes;  // kTimed: in file order
  std::string fault;                 // kDamaged: what does not fit, with its offset
};

JournalContents readJournal(std::span<const uint8_t> bytes);

struct JournalFile {
  std::string name;  // j0000001.jnl
  JournalContents contents;
};

// What a roll forward takes from the journal files, given in sequence order.
struct JournalApplication {
  int filesApplied = 0;  // files from the first on with anything applied (untimed ones whole)
  std::string lastFileApplied;
  uint64_t recordsApplied = 0;  // timed records applied
  uint64_t recordsNotApplied = 0;
  // The first record not applied: its file, its number in that file (from 1) and its time.
  std::string stoppedInFile;
  uint32_t stoppedAtRecord = 0;
  int64_t stoppedAtTime = 0;
};

// `endTime`: none for a roll forward to the end of the journals. Damaged files are the
// caller's to refuse first; they count as applying nothing.
JournalApplication applyJournals(const std::vector<JournalFile>& files,
                                 std::optional<int64_t> endTime);

}  // namespace ingsim::core
