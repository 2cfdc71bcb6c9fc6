// The console's archive file: what a backup wrote and what a later restore replays. The layout
// is documented in docs/archive-format.md; this header is its one implementation.
//
// Conventions: platform-free; no exceptions; no file I/O (bytes go to a ByteSink and come from a
// ByteSource that the caller supplies); no hashing (the SHA-256 of a file's data is computed by
// the caller, with the system's cryptography, and handed in as 32 bytes). Every integer in the
// archive is little-endian with a fixed width. The writer appends front to back in one pass and
// never seeks; the reader never asks its source for more bytes than the archive declares and
// reports the first fault with its offset.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ferry::ctl::archive {

inline constexpr std::array<uint8_t, 8> kMagic = {'F', 'E', 'R', 'R', 'Y', 'A', 'R', 'C'};
inline constexpr uint32_t kFormatVersion = 1;

// The block that DSARead returns ahead of each file, kept byte for byte.
inline constexpr size_t kObjectHeaderSize = 1024;
inline constexpr size_t kDigestSize = 32;

// Limits checked when reading, so that a corrupted length can never make the reader allocate or
// wait for more than a sane archive holds. The writer keeps to the same limits.
inline constexpr uint32_t kMaxAgentInfoLength = 4096;
inline constexpr uint32_t kMaxObjectNameLength = 512;
inline constexpr uint32_t kMaxChunkLength = 1u << 20;
inline constexpr uint64_t kMaxFileDataLength = uint64_t{1} << 40;

constexpr uint32_t fourCc(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

// Record types: the four bytes read as text in a dump of the file.
enum class RecordType : uint32_t {
  kObject = fourCc("OBJ "),
  kFile = fourCc("FILE"),
  kChunk = fourCc("DATA"),
  kFileEnd = fourCc("FEND"),
  kObjectEnd = fourCc("OEND"),
  kArchiveEnd = fourCc("AEND"),
};

// The agent's ObjectType values; the restore replays journals and configuration before data.
enum class ObjectKind : uint32_t {
  kData = 2,
  kJournal = 6,
  kConfiguration = 8,
};

// Wire layouts. The encoder and decoder write and read each field at these offsets with explicit
// little-endian conversion; the structs fix the offsets in one place.
struct ArchiveHeaderLayout {
  uint8_t magic[8];
  uint32_t formatVersion;
  uint32_t reserved;      // 0
  uint64_t creationTime;  // Windows file time (100 ns since 1601, UTC)
  uint32_t agentInfoLength;
  uint32_t reserved2;  // 0
  // followed by agentInfoLength bytes: the agent's information record as DSAGetAgentInfo gave it
};
static_assert(sizeof(ArchiveHeaderLayout) == 32);
static_assert(offsetof(ArchiveHeaderLayout, magic) == 0);
static_assert(offsetof(ArchiveHeaderLayout, formatVersion) == 8);
static_assert(offsetof(ArchiveHeaderLayout, reserved) == 12);
static_assert(offsetof(ArchiveHeaderLayout, creationTime) == 16);
static_assert(offsetof(ArchiveHeaderLayout, agentInfoLength) == 24);
static_assert(offsetof(ArchiveHeaderLayout, reserved2) == 28);

struct RecordPrefixLayout {
  uint32_t type;        // RecordType
  uint32_t bodyLength;  // bytes after this prefix
};
static_assert(sizeof(RecordPrefixLayout) == 8);
static_assert(offsetof(RecordPrefixLayout, type) == 0);
static_assert(offsetof(RecordPrefixLayout, bodyLength) == 4);

struct ObjectBodyLayout {
  uint32_t kind;     // ObjectKind
  uint32_t options;  // the option bits DSABeginBackup was given
  uint32_t nameLength;
  // followed by nameLength bytes of the object name, no NUL
};
static_assert(sizeof(ObjectBodyLayout) == 12);
static_assert(offsetof(ObjectBodyLayout, kind) == 0);
static_assert(offsetof(ObjectBodyLayout, options) == 4);
static_assert(offsetof(ObjectBodyLayout, nameLength) == 8);

struct FileEndBodyLayout {
  uint64_t dataLength;  // sum of the file's chunk lengths
  uint32_t chunkCount;
  uint32_t reserved;  // 0
  uint8_t digest[kDigestSize];
};
static_assert(sizeof(FileEndBodyLayout) == 48);
static_assert(offsetof(FileEndBodyLayout, dataLength) == 0);
static_assert(offsetof(FileEndBodyLayout, chunkCount) == 8);
static_assert(offsetof(FileEndBodyLayout, reserved) == 12);
static_assert(offsetof(FileEndBodyLayout, digest) == 16);

struct ObjectEndBodyLayout {
  uint32_t fileCount;
  uint32_t reserved;  // 0
  uint64_t dataLength;
};
static_assert(sizeof(ObjectEndBodyLayout) == 16);
static_assert(offsetof(ObjectEndBodyLayout, fileCount) == 0);
static_assert(offsetof(ObjectEndBodyLayout, reserved) == 4);
static_assert(offsetof(ObjectEndBodyLayout, dataLength) == 8);

struct ArchiveEndBodyLayout {
  uint32_t objectCount;
  uint32_t reserved;  // 0
  uint64_t fileCount;
  uint64_t dataLength;
};
static_assert(sizeof(ArchiveEndBodyLayout) == 24);
static_assert(offsetof(ArchiveEndBodyLayout, objectCount) == 0);
static_assert(offsetof(ArchiveEndBodyLayout, reserved) == 4);
static_assert(offsetof(ArchiveEndBodyLayout, fileCount) == 8);
static_assert(offsetof(ArchiveEndBodyLayout, dataLength) == 16);

using ObjectHeader = std::array<uint8_t, kObjectHeaderSize>;
using Digest = std::array<uint8_t, kDigestSize>;

struct ArchiveInfo {
  uint64_t creationTime = 0;
  std::vector<uint8_t> agentInfo;
};

struct ObjectInfo {
  ObjectKind kind = ObjectKind::kData;
  uint32_t options = 0;
  std::string name;
};

struct FileSummary {
  uint64_t dataLength = 0;
  uint32_t chunkCount = 0;
  Digest digest{};
};

struct ObjectSummary {
  uint32_t fileCount = 0;
  uint64_t dataLength = 0;
};

struct ArchiveSummary {
  uint32_t objectCount = 0;
  uint64_t fileCount = 0;
  uint64_t dataLength = 0;
};

// Fields of the object header the console shows and the restore orders by, each bounded to its
// field and its first NUL.
std::string objectHeaderPath(const ObjectHeader& header);
std::string objectHeaderCheckpoint(const ObjectHeader& header);
uint32_t objectHeaderSizeKb(const ObjectHeader& header);

// ---- writing ----

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // All of `bytes` or false.
  virtual bool write(std::span<const uint8_t> bytes) = 0;
};

class MemorySink final : public ByteSink {
 public:
  bool write(std::span<const uint8_t> bytes) override;
  std::vector<uint8_t> bytes;
};

enum class WriteError {
  kNone,
  kOutOfOrder,  // a call the record order does not allow here, or a call after a failure
  kLimit,       // a length or count beyond the format's limits
  kSinkFailed,
};

std::string_view writeErrorName(WriteError error);

// Calls in the order begin, (beginObject, (beginFile, appendData*, endFile)*, endObject)*,
// finish. After the first failure every call returns kOutOfOrder and nothing more is written,
// so the archive ends without an end record and a reader reports it as truncated.
class ArchiveWriter {
 public:
  explicit ArchiveWriter(ByteSink& sink) : sink_(sink) {}

  WriteError begin(const ArchiveInfo& info);
  WriteError beginObject(const ObjectInfo& object);
  WriteError beginFile(const ObjectHeader& header);
  // Data as it arrives from DSARead; split into chunks of at most kMaxChunkLength, nothing
  // written for an empty span.
  WriteError appendData(std::span<const uint8_t> data);
  WriteError endFile(const Digest& digest);
  WriteError endObject();
  WriteError finish();

  uint64_t bytesWritten() const { return bytesWritten_; }

 private:
  enum class State { kStart, kArchive, kObject, kFile, kFinished, kFailed };

  WriteError emit(std::span<const uint8_t> bytes);
  WriteError fail(WriteError error);

  ByteSink& sink_;
  State state_ = State::kStart;
  uint64_t bytesWritten_ = 0;
  FileSummary file_;
  ObjectSummary object_;
  ArchiveSummary archive_;
};

// ---- reading ----

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Fills `buffer` and sets `got`; fewer bytes than asked only at the end of the archive.
  // False on a read failure.
  virtual bool read(std::span<uint8_t> buffer, size_t& got) = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool read(std::span<uint8_t> buffer, size_t& got) override;

 private:
  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
};

// The caller's SHA-256 (or, in tests, any 32-byte digest), fed the data of one file at a time.
class DigestCalculator {
 public:
  virtual ~DigestCalculator() = default;
  virtual void reset() = 0;
  virtual void update(std::span<const uint8_t> data) = 0;
  virtual Digest finish() = 0;
};

// Each call returns false to stop reading (a restore that failed); the default accepts.
class ArchiveVisitor {
 public:
  virtual ~ArchiveVisitor() = default;
  virtual bool onArchive(const ArchiveInfo&) { return true; }
  virtual bool onObject(const ObjectInfo&) { return true; }
  virtual bool onFile(const ObjectHeader&) { return true; }
  virtual bool onData(std::span<const uint8_t>) { return true; }
  // Called after the file's lengths, and its digest when a calculator is given, were checked.
  virtual bool onFileEnd(const FileSummary&) { return true; }
  virtual bool onObjectEnd(const ObjectSummary&) { return true; }
  virtual bool onArchiveEnd(const ArchiveSummary&) { return true; }
};

enum class ReadError {
  kNone,
  kSourceFailed,
  kTruncated,  // the archive ends before its end record
  kBadMagic,
  kBadVersion,
  kBadRecordType,  // a type no version of the format has
  kOutOfOrder,     // a known record where the record order does not allow it
  kBadLength,      // a record length that does not fit its type
  kLimit,          // a length beyond the format's limits
  kBadField,       // an unknown object kind, a non-zero reserved field
  kCountMismatch,  // an end record's lengths or counts differ from what preceded it
  kDigestMismatch,
  kTrailingBytes,  // bytes after the end record
  kStoppedByVisitor,
};

std::string_view readErrorName(ReadError error);

struct ReadResult {
  ReadError error = ReadError::kNone;
  uint64_t offset = 0;  // of the record or field at fault
  std::string message;  // one line naming the fault, its offset and the values involved
  bool ok() const { return error == ReadError::kNone; }
};

// Reads a whole archive, calling the visitor record by record; `digest` may be null, and then
// only the lengths and counts are checked.
ReadResult readArchive(ByteSource& source, ArchiveVisitor& visitor,
                       DigestCalculator* digest = nullptr);

}  // namespace ferry::ctl::archive
