#include "core/archive_format.h"

#include <algorithm>
#include <cstring>

namespace ferry::ctl::archive {
namespace {

void putU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void putU64(uint8_t* at, uint64_t value) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getU32(const uint8_t* at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(at[i]) << (8 * i);
  return value;
}

uint64_t getU64(const uint8_t* at) {
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value |= static_cast<uint64_t>(at[i]) << (8 * i);
  return value;
}

std::string boundedText(const uint8_t* at, size_t size) {
  const void* nul = std::memchr(at, '\0', size);
  size_t length =
      nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - at) : size;
  return std::string(reinterpret_cast<const char*>(at), length);
}

bool knownKind(uint32_t kind) {
  return kind == static_cast<uint32_t>(ObjectKind::kData) ||
         kind == static_cast<uint32_t>(ObjectKind::kJournal) ||
         kind == static_cast<uint32_t>(ObjectKind::kConfiguration);
}

std::string_view recordName(uint32_t type) {
  switch (static_cast<RecordType>(type)) {
    case RecordType::kObject:
      return "object";
    case RecordType::kFile:
      return "file";
    case RecordType::kChunk:
      return "chunk";
    case RecordType::kFileEnd:
      return "file end";
    case RecordType::kObjectEnd:
      return "object end";
    case RecordType::kArchiveEnd:
      return "archive end";
  }
  return "unknown";
}

std::vector<uint8_t> prefix(RecordType type, uint32_t bodyLength) {
  std::vector<uint8_t> bytes(sizeof(RecordPrefixLayout));
  putU32(bytes.data() + offsetof(RecordPrefixLayout, type), static_cast<uint32_t>(type));
  putU32(bytes.data() + offsetof(RecordPrefixLayout, bodyLength), bodyLength);
  return bytes;
}

}  // namespace

std::string objectHeaderPath(const ObjectHeader& header) {
  return boundedText(header.data() + 512, 256);
}

std::string objectHeaderCheckpoint(const ObjectHeader& header) {
  return boundedText(header.data() + 12, 500);
}

uint32_t objectHeaderSizeKb(const ObjectHeader& header) { return getU32(header.data() + 768); }

// ---- writing ----

bool MemorySink::write(std::span<const uint8_t> data) {
  bytes.insert(bytes.end(), data.begin(), data.end());
  return true;
}

std::string_view writeErrorName(WriteError error) {
  switch (error) {
    case WriteError::kNone:
      return "none";
    case WriteError::kOutOfOrder:
      return "out of order";
    case WriteError::kLimit:
      return "limit exceeded";
    case WriteError::kSinkFailed:
      return "sink failed";
  }
  return "unknown";
}

WriteError ArchiveWriter::fail(WriteError error) {
  state_ = State::kFailed;
  return error;
}

WriteError ArchiveWriter::emit(std::span<const uint8_t> bytes) {
  if (!sink_.write(bytes)) return fail(WriteError::kSinkFailed);
  bytesWritten_ += bytes.size();
  return WriteError::kNone;
}

WriteError ArchiveWriter::begin(const ArchiveInfo& info) {
  if (state_ != State::kStart) return fail(WriteError::kOutOfOrder);
  if (info.agentInfo.size() > kMaxAgentInfoLength) return fail(WriteError::kLimit);
  std::vector<uint8_t> bytes(sizeof(ArchiveHeaderLayout), 0);
  std::copy(kMagic.begin(), kMagic.end(), bytes.begin());
  putU32(bytes.data() + offsetof(ArchiveHeaderLayout, formatVersion), kFormatVersion);
  putU64(bytes.data() + offsetof(ArchiveHeaderLayout, creationTime), info.creationTime);
  putU32(bytes.data() + offsetof(ArchiveHeaderLayout, agentInfoLength),
         static_cast<uint32_t>(info.agentInfo.size()));
  bytes.insert(bytes.end(), info.agentInfo.begin(), info.agentInfo.end());
  state_ = State::kArchive;
  return emit(bytes);
}

WriteError ArchiveWriter::beginObject(const ObjectInfo& object) {
  if (state_ != State::kArchive) return fail(WriteError::kOutOfOrder);
  if (object.name.empty() || object.name.size() > kMaxObjectNameLength ||
      archive_.objectCount == UINT32_MAX || !knownKind(static_cast<uint32_t>(object.kind))) {
    return fail(WriteError::kLimit);
  }
  uint32_t nameLength = static_cast<uint32_t>(object.name.size());
  std::vector<uint8_t> bytes =
      prefix(RecordType::kObject, static_cast<uint32_t>(sizeof(ObjectBodyLayout)) + nameLength);
  size_t body = bytes.size();
  bytes.resize(body + sizeof(ObjectBodyLayout));
  putU32(bytes.data() + body + offsetof(ObjectBodyLayout, kind),
         static_cast<uint32_t>(object.kind));
  putU32(bytes.data() + body + offsetof(ObjectBodyLayout, options), object.options);
  putU32(bytes.data() + body + offsetof(ObjectBodyLayout, nameLength), nameLength);
  bytes.insert(bytes.end(), object.name.begin(), object.name.end());
  state_ = State::kObject;
  object_ = {};
  return emit(bytes);
}

WriteError ArchiveWriter::beginFile(const ObjectHeader& header) {
  if (state_ != State::kObject) return fail(WriteError::kOutOfOrder);
  if (object_.fileCount == UINT32_MAX) return fail(WriteError::kLimit);
  std::vector<uint8_t> bytes = prefix(RecordType::kFile, kObjectHeaderSize);
  bytes.insert(bytes.end(), header.begin(), header.end());
  state_ = State::kFile;
  file_ = {};
  return emit(bytes);
}

WriteError ArchiveWriter::appendData(std::span<const uint8_t> data) {
  if (state_ != State::kFile) return fail(WriteError::kOutOfOrder);
  if (data.size() > kMaxFileDataLength - file_.dataLength) return fail(WriteError::kLimit);
  while (!data.empty()) {
    if (file_.chunkCount == UINT32_MAX) return fail(WriteError::kLimit);
    size_t length = std::min<size_t>(data.size(), kMaxChunkLength);
    std::vector<uint8_t> bytes = prefix(RecordType::kChunk, static_cast<uint32_t>(length));
    if (WriteError error = emit(bytes); error != WriteError::kNone) return error;
    if (WriteError error = emit(data.first(length)); error != WriteError::kNone) return error;
    file_.dataLength += length;
    ++file_.chunkCount;
    data = data.subspan(length);
  }
  return WriteError::kNone;
}

WriteError ArchiveWriter::endFile(const Digest& digest) {
  if (state_ != State::kFile) return fail(WriteError::kOutOfOrder);
  std::vector<uint8_t> bytes =
      prefix(RecordType::kFileEnd, static_cast<uint32_t>(sizeof(FileEndBodyLayout)));
  size_t body = bytes.size();
  bytes.resize(body + sizeof(FileEndBodyLayout), 0);
  putU64(bytes.data() + body + offsetof(FileEndBodyLayout, dataLength), file_.dataLength);
  putU32(bytes.data() + body + offsetof(FileEndBodyLayout, chunkCount), file_.chunkCount);
  std::copy(digest.begin(), digest.end(),
            bytes.begin() + static_cast<ptrdiff_t>(body + offsetof(FileEndBodyLayout, digest)));
  ++object_.fileCount;
  object_.dataLength += file_.dataLength;
  state_ = State::kObject;
  return emit(bytes);
}

WriteError ArchiveWriter::endObject() {
  if (state_ != State::kObject) return fail(WriteError::kOutOfOrder);
  std::vector<uint8_t> bytes =
      prefix(RecordType::kObjectEnd, static_cast<uint32_t>(sizeof(ObjectEndBodyLayout)));
  size_t body = bytes.size();
  bytes.resize(body + sizeof(ObjectEndBodyLayout), 0);
  putU32(bytes.data() + body + offsetof(ObjectEndBodyLayout, fileCount), object_.fileCount);
  putU64(bytes.data() + body + offsetof(ObjectEndBodyLayout, dataLength), object_.dataLength);
  ++archive_.objectCount;
  archive_.fileCount += object_.fileCount;
  archive_.dataLength += object_.dataLength;
  state_ = State::kArchive;
  return emit(bytes);
}

WriteError ArchiveWriter::finish() {
  if (state_ != State::kArchive) return fail(WriteError::kOutOfOrder);
  std::vector<uint8_t> bytes =
      prefix(RecordType::kArchiveEnd, static_cast<uint32_t>(sizeof(ArchiveEndBodyLayout)));
  size_t body = bytes.size();
  bytes.resize(body + sizeof(ArchiveEndBodyLayout), 0);
  putU32(bytes.data() + body + offsetof(ArchiveEndBodyLayout, objectCount), archive_.objectCount);
  putU64(bytes.data() + body + offsetof(ArchiveEndBodyLayout, fileCount), archive_.fileCount);
  putU64(bytes.data() + body + offsetof(ArchiveEndBodyLayout, dataLength), archive_.dataLength);
  state_ = State::kFinished;
  return emit(bytes);
}

// ---- reading ----

bool MemorySource::read(std::span<uint8_t> buffer, size_t& got) {
  got = std::min(buffer.size(), bytes_.size() - position_);
  if (got != 0) std::memcpy(buffer.data(), bytes_.data() + position_, got);
  position_ += got;
  return true;
}

std::string_view readErrorName(ReadError error) {
  switch (error) {
    case ReadError::kNone:
      return "none";
    case ReadError::kSourceFailed:
      return "read failed";
    case ReadError::kTruncated:
      return "truncated archive";
    case ReadError::kBadMagic:
      return "not an archive";
    case ReadError::kBadVersion:
      return "unsupported format version";
    case ReadError::kBadRecordType:
      return "unknown record type";
    case ReadError::kOutOfOrder:
      return "record out of order";
    case ReadError::kBadLength:
      return "bad record length";
    case ReadError::kLimit:
      return "limit exceeded";
    case ReadError::kBadField:
      return "bad field";
    case ReadError::kCountMismatch:
      return "count mismatch";
    case ReadError::kDigestMismatch:
      return "digest mismatch";
    case ReadError::kTrailingBytes:
      return "bytes after the end record";
    case ReadError::kStoppedByVisitor:
      return "stopped";
  }
  return "unknown";
}

namespace {

class Reader {
 public:
  Reader(ByteSource& source, ArchiveVisitor& visitor, DigestCalculator* digest)
      : source_(source), visitor_(visitor), digest_(digest) {}

  ReadResult run();

 private:
  enum class State { kArchive, kObject, kFile };

  // Reads exactly buffer.size() bytes; `what` names them for the truncation message.
  bool readExact(std::span<uint8_t> buffer, std::string_view what);
  bool fault(ReadError error, uint64_t offset, std::string detail);
  bool readHeader();
  bool readRecord(bool& ended);
  bool onObject(uint64_t at, uint32_t bodyLength);
  bool onFile(uint64_t at, uint32_t bodyLength);
  bool onChunk(uint64_t at, uint32_t bodyLength);
  bool onFileEnd(uint64_t at, uint32_t bodyLength);
  bool onObjectEnd(uint64_t at, uint32_t bodyLength);
  bool onArchiveEnd(uint64_t at, uint32_t bodyLength);
  bool expectLength(uint64_t at, uint32_t type, uint32_t bodyLength, size_t expected);
  bool stopped(bool keepGoing, uint64_t at);

  ByteSource& source_;
  ArchiveVisitor& visitor_;
  DigestCalculator* digest_;
  uint64_t offset_ = 0;
  ReadResult result_;
  State state_ = State::kArchive;
  FileSummary file_;
  ObjectSummary object_;
  ArchiveSummary archive_;
  std::vector<uint8_t> chunk_;
};

bool Reader::fault(ReadError error, uint64_t offset, std::string detail) {
  result_.error = error;
  result_.offset = offset;
  result_.message =
      std::string(readErrorName(error)) + " at offset " + std::to_string(offset) + ": " + detail;
  return false;
}

bool Reader::stopped(bool keepGoing, uint64_t at) {
  if (keepGoing) return true;
  return fault(ReadError::kStoppedByVisitor, at, "the reader's caller stopped");
}

bool Reader::readExact(std::span<uint8_t> buffer, std::string_view what) {
  size_t total = 0;
  while (total < buffer.size()) {
    size_t got = 0;
    if (!source_.read(buffer.subspan(total), got)) {
      return fault(ReadError::kSourceFailed, offset_ + total,
                   "the source failed while reading " + std::string(what));
    }
    if (got == 0) {
      return fault(ReadError::kTruncated, offset_ + total,
                   std::string(what) + " needs " + std::to_string(buffer.size()) + " bytes, " +
                       std::to_string(total) + " present");
    }
    total += got;
  }
  offset_ += total;
  return true;
}

bool Reader::readHeader() {
  uint8_t bytes[sizeof(ArchiveHeaderLayout)];
  if (!readExact(bytes, "the archive header")) return false;
  if (!std::equal(kMagic.begin(), kMagic.end(), bytes)) {
    return fault(ReadError::kBadMagic, 0, "the file does not begin with the archive magic");
  }
  uint32_t version = getU32(bytes + offsetof(ArchiveHeaderLayout, formatVersion));
  if (version != kFormatVersion) {
    return fault(ReadError::kBadVersion, offsetof(ArchiveHeaderLayout, formatVersion),
                 "version " + std::to_string(version) + ", this reader knows " +
                     std::to_string(kFormatVersion));
  }
  if (getU32(bytes + offsetof(ArchiveHeaderLayout, reserved)) != 0 ||
      getU32(bytes + offsetof(ArchiveHeaderLayout, reserved2)) != 0) {
    return fault(ReadError::kBadField, offsetof(ArchiveHeaderLayout, reserved),
                 "reserved header fields are not zero");
  }
  ArchiveInfo info;
  info.creationTime = getU64(bytes + offsetof(ArchiveHeaderLayout, creationTime));
  uint32_t infoLength = getU32(bytes + offsetof(ArchiveHeaderLayout, agentInfoLength));
  if (infoLength > kMaxAgentInfoLength) {
    return fault(ReadError::kLimit, offsetof(ArchiveHeaderLayout, agentInfoLength),
                 "agent information of " + std::to_string(infoLength) + " bytes, at most " +
                     std::to_string(kMaxAgentInfoLength));
  }
  info.agentInfo.resize(infoLength);
  if (!readExact(info.agentInfo, "the agent information")) return false;
  return stopped(visitor_.onArchive(info), 0);
}

bool Reader::expectLength(uint64_t at, uint32_t type, uint32_t bodyLength, size_t expected) {
  if (bodyLength == expected) return true;
  return fault(ReadError::kBadLength, at,
               std::string(recordName(type)) + " record of " + std::to_string(bodyLength) +
                   " bytes, expected " + std::to_string(expected));
}

bool Reader::onObject(uint64_t at, uint32_t bodyLength) {
  if (bodyLength < sizeof(ObjectBodyLayout) ||
      bodyLength > sizeof(ObjectBodyLayout) + kMaxObjectNameLength) {
    return fault(ReadError::kBadLength, at,
                 "object record of " + std::to_string(bodyLength) + " bytes");
  }
  uint8_t fixed[sizeof(ObjectBodyLayout)];
  if (!readExact(fixed, "the object record")) return false;
  uint32_t kind = getU32(fixed + offsetof(ObjectBodyLayout, kind));
  uint32_t nameLength = getU32(fixed + offsetof(ObjectBodyLayout, nameLength));
  if (nameLength == 0 || nameLength != bodyLength - sizeof(ObjectBodyLayout)) {
    return fault(ReadError::kBadLength, at,
                 "object name of " + std::to_string(nameLength) + " bytes in a record of " +
                     std::to_string(bodyLength));
  }
  if (!knownKind(kind)) {
    return fault(ReadError::kBadField, at, "object kind " + std::to_string(kind));
  }
  ObjectInfo object;
  object.kind = static_cast<ObjectKind>(kind);
  object.options = getU32(fixed + offsetof(ObjectBodyLayout, options));
  object.name.resize(nameLength);
  if (!readExact(std::span(reinterpret_cast<uint8_t*>(object.name.data()), nameLength),
                 "the object name")) {
    return false;
  }
  if (archive_.objectCount == UINT32_MAX) {
    return fault(ReadError::kLimit, at, "more than 4294967295 objects");
  }
  object_ = {};
  state_ = State::kObject;
  return stopped(visitor_.onObject(object), at);
}

bool Reader::onFile(uint64_t at, uint32_t bodyLength) {
  if (!expectLength(at, static_cast<uint32_t>(RecordType::kFile), bodyLength, kObjectHeaderSize)) {
    return false;
  }
  ObjectHeader header;
  if (!readExact(header, "the object header")) return false;
  if (object_.fileCount == UINT32_MAX) {
    return fault(ReadError::kLimit, at, "more than 4294967295 files in an object");
  }
  file_ = {};
  if (digest_ != nullptr) digest_->reset();
  state_ = State::kFile;
  return stopped(visitor_.onFile(header), at);
}

bool Reader::onChunk(uint64_t at, uint32_t bodyLength) {
  if (bodyLength == 0 || bodyLength > kMaxChunkLength) {
    return fault(ReadError::kLimit, at,
                 "chunk of " + std::to_string(bodyLength) + " bytes, 1 to " +
                     std::to_string(kMaxChunkLength) + " allowed");
  }
  if (bodyLength > kMaxFileDataLength - file_.dataLength || file_.chunkCount == UINT32_MAX) {
    return fault(ReadError::kLimit, at, "file data beyond " + std::to_string(kMaxFileDataLength));
  }
  chunk_.resize(bodyLength);
  if (!readExact(chunk_, "the chunk data")) return false;
  file_.dataLength += bodyLength;
  ++file_.chunkCount;
  if (digest_ != nullptr) digest_->update(chunk_);
  return stopped(visitor_.onData(chunk_), at);
}

bool Reader::onFileEnd(uint64_t at, uint32_t bodyLength) {
  if (!expectLength(at, static_cast<uint32_t>(RecordType::kFileEnd), bodyLength,
                    sizeof(FileEndBodyLayout))) {
    return false;
  }
  uint8_t bytes[sizeof(FileEndBodyLayout)];
  if (!readExact(bytes, "the file end record")) return false;
  uint64_t dataLength = getU64(bytes + offsetof(FileEndBodyLayout, dataLength));
  uint32_t chunkCount = getU32(bytes + offsetof(FileEndBodyLayout, chunkCount));
  if (getU32(bytes + offsetof(FileEndBodyLayout, reserved)) != 0) {
    return fault(ReadError::kBadField, at, "reserved file end field is not zero");
  }
  if (dataLength != file_.dataLength || chunkCount != file_.chunkCount) {
    return fault(ReadError::kCountMismatch, at,
                 "file end says " + std::to_string(dataLength) + " bytes in " +
                     std::to_string(chunkCount) + " chunks, the archive holds " +
                     std::to_string(file_.dataLength) + " in " + std::to_string(file_.chunkCount));
  }
  std::copy_n(bytes + offsetof(FileEndBodyLayout, digest), kDigestSize, file_.digest.begin());
  if (digest_ != nullptr && digest_->finish() != file_.digest) {
    return fault(ReadError::kDigestMismatch, at, "the file's data do not match its digest");
  }
  ++object_.fileCount;
  object_.dataLength += file_.dataLength;
  state_ = State::kObject;
  return stopped(visitor_.onFileEnd(file_), at);
}

bool Reader::onObjectEnd(uint64_t at, uint32_t bodyLength) {
  if (!expectLength(at, static_cast<uint32_t>(RecordType::kObjectEnd), bodyLength,
                    sizeof(ObjectEndBodyLayout))) {
    return false;
  }
  uint8_t bytes[sizeof(ObjectEndBodyLayout)];
  if (!readExact(bytes, "the object end record")) return false;
  uint32_t fileCount = getU32(bytes + offsetof(ObjectEndBodyLayout, fileCount));
  uint64_t dataLength = getU64(bytes + offsetof(ObjectEndBodyLayout, dataLength));
  if (getU32(bytes + offsetof(ObjectEndBodyLayout, reserved)) != 0) {
    return fault(ReadError::kBadField, at, "reserved object end field is not zero");
  }
  if (fileCount != object_.fileCount || dataLength != object_.dataLength) {
    return fault(ReadError::kCountMismatch, at,
                 "object end says " + std::to_string(fileCount) + " files of " +
                     std::to_string(dataLength) + " bytes, the archive holds " +
                     std::to_string(object_.fileCount) + " of " +
                     std::to_string(object_.dataLength));
  }
  ++archive_.objectCount;
  archive_.fileCount += object_.fileCount;
  archive_.dataLength += object_.dataLength;
  state_ = State::kArchive;
  return stopped(visitor_.onObjectEnd(object_), at);
}

bool Reader::onArchiveEnd(uint64_t at, uint32_t bodyLength) {
  if (!expectLength(at, static_cast<uint32_t>(RecordType::kArchiveEnd), bodyLength,
                    sizeof(ArchiveEndBodyLayout))) {
    return false;
  }
  uint8_t bytes[sizeof(ArchiveEndBodyLayout)];
  if (!readExact(bytes, "the archive end record")) return false;
  uint32_t objectCount = getU32(bytes + offsetof(ArchiveEndBodyLayout, objectCount));
  uint64_t fileCount = getU64(bytes + offsetof(ArchiveEndBodyLayout, fileCount));
  uint64_t dataLength = getU64(bytes + offsetof(ArchiveEndBodyLayout, dataLength));
  if (getU32(bytes + offsetof(ArchiveEndBodyLayout, reserved)) != 0) {
    return fault(ReadError::kBadField, at, "reserved archive end field is not zero");
  }
  if (objectCount != archive_.objectCount || fileCount != archive_.fileCount ||
      dataLength != archive_.dataLength) {
    return fault(ReadError::kCountMismatch, at,
                 "archive end says " + std::to_string(objectCount) + " objects, " +
                     std::to_string(fileCount) + " files, " + std::to_string(dataLength) +
                     " bytes; the archive holds " + std::to_string(archive_.objectCount) + ", " +
                     std::to_string(archive_.fileCount) + ", " +
                     std::to_string(archive_.dataLength));
  }
  return stopped(visitor_.onArchiveEnd(archive_), at);
}

bool Reader::readRecord(bool& ended) {
  uint64_t at = offset_;
  uint8_t bytes[sizeof(RecordPrefixLayout)];
  if (!readExact(bytes, "a record prefix")) return false;
  uint32_t type = getU32(bytes + offsetof(RecordPrefixLayout, type));
  uint32_t bodyLength = getU32(bytes + offsetof(RecordPrefixLayout, bodyLength));
  if (recordName(type) == "unknown") {
    return fault(
        ReadError::kBadRecordType, at, "record type 0x" + [type] {
          static constexpr char kHex[] = "0123456789abcdef";
          std::string hex;
          for (int shift = 28; shift >= 0; shift -= 4) hex += kHex[(type >> shift) & 0xf];
          return hex;
        }());
  }
  RecordType kind = static_cast<RecordType>(type);
  bool allowed = false;
  switch (state_) {
    case State::kArchive:
      allowed = kind == RecordType::kObject || kind == RecordType::kArchiveEnd;
      break;
    case State::kObject:
      allowed = kind == RecordType::kFile || kind == RecordType::kObjectEnd;
      break;
    case State::kFile:
      allowed = kind == RecordType::kChunk || kind == RecordType::kFileEnd;
      break;
  }
  if (!allowed) {
    return fault(ReadError::kOutOfOrder, at,
                 std::string(recordName(type)) + " record where it cannot stand");
  }
  switch (kind) {
    case RecordType::kObject:
      return onObject(at, bodyLength);
    case RecordType::kFile:
      return onFile(at, bodyLength);
    case RecordType::kChunk:
      return onChunk(at, bodyLength);
    case RecordType::kFileEnd:
      return onFileEnd(at, bodyLength);
    case RecordType::kObjectEnd:
      return onObjectEnd(at, bodyLength);
    case RecordType::kArchiveEnd:
      ended = true;
      return onArchiveEnd(at, bodyLength);
  }
  return false;
}

ReadResult Reader::run() {
  if (!readHeader()) return result_;
  bool ended = false;
  while (!ended) {
    if (!readRecord(ended)) return result_;
  }
  uint8_t extra = 0;
  size_t got = 0;
  if (!source_.read(std::span(&extra, 1), got)) {
    fault(ReadError::kSourceFailed, offset_, "the source failed after the end record");
  } else if (got != 0) {
    fault(ReadError::kTrailingBytes, offset_, "the archive continues after its end record");
  }
  return result_;
}

}  // namespace

ReadResult readArchive(ByteSource& source, ArchiveVisitor& visitor, DigestCalculator* digest) {
  return Reader(source, visitor, digest).run();
}

}  // namespace ferry::ctl::archive
