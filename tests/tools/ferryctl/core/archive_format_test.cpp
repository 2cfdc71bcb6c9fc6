// The archive writer and reader: round trips, every truncation point, corrupted fields and the
// format's limits.
#include "core/archive_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace ferry::ctl::archive {
namespace {

// Stands in for the caller's SHA-256: any digest that changes with every byte will do here.
class TestDigest final : public DigestCalculator {
 public:
  void reset() override { state_ = 1469598103934665603ull; }
  void update(std::span<const uint8_t> data) override {
    for (uint8_t byte : data) state_ = (state_ ^ byte) * 1099511628211ull;
  }
  Digest finish() override {
    Digest digest{};
    for (size_t i = 0; i < kDigestSize; ++i)
      digest[i] = static_cast<uint8_t>(state_ >> (i % 8 * 8));
    return digest;
  }

 private:
  uint64_t state_ = 0;
};

Digest digestOf(std::span<const uint8_t> data) {
  TestDigest digest;
  digest.reset();
  digest.update(data);
  return digest.finish();
}

ObjectHeader makeHeader(const std::string& path, uint32_t sizeKb) {
  ObjectHeader header;
  header.fill(0xbd);  // the local agent leaves unwritten bytes as they were: keep them exactly
  std::memcpy(header.data() + 12, "1234", 5);
  std::memset(header.data() + 512, 0, 256);
  std::memcpy(header.data() + 512, path.data(), path.size());
  for (int i = 0; i < 4; ++i) header[768 + i] = static_cast<uint8_t>(sizeKb >> (8 * i));
  return header;
}

struct TestFile {
  ObjectHeader header;
  std::vector<uint8_t> data;
};

struct TestObject {
  ObjectInfo info;
  std::vector<TestFile> files;
};

std::vector<uint8_t> pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
  return data;
}

// Writes the objects, feeding each file's data in pieces of `piece` bytes as DSARead would.
std::vector<uint8_t> writeArchive(const std::vector<TestObject>& objects, size_t piece) {
  MemorySink sink;
  ArchiveWriter writer(sink);
  ArchiveInfo info{132000000000000000ull, {'a', 'g', 'e', 'n', 't'}};
  EXPECT_EQ(writer.begin(info), WriteError::kNone);
  for (const TestObject& object : objects) {
    EXPECT_EQ(writer.beginObject(object.info), WriteError::kNone) << object.info.name;
    for (const TestFile& file : object.files) {
      EXPECT_EQ(writer.beginFile(file.header), WriteError::kNone);
      std::span<const uint8_t> rest(file.data);
      while (!rest.empty()) {
        size_t length = std::min(piece, rest.size());
        EXPECT_EQ(writer.appendData(rest.first(length)), WriteError::kNone);
        rest = rest.subspan(length);
      }
      EXPECT_EQ(writer.endFile(digestOf(file.data)), WriteError::kNone);
    }
    EXPECT_EQ(writer.endObject(), WriteError::kNone);
  }
  EXPECT_EQ(writer.finish(), WriteError::kNone);
  EXPECT_EQ(writer.bytesWritten(), sink.bytes.size());
  return sink.bytes;
}

// Rebuilds the objects from the visitor calls, so that a round trip compares whole values.
class Collector : public ArchiveVisitor {
 public:
  bool onArchive(const ArchiveInfo& info) override {
    archive = info;
    return true;
  }
  bool onObject(const ObjectInfo& info) override {
    objects.push_back({info, {}});
    return true;
  }
  bool onFile(const ObjectHeader& header) override {
    objects.back().files.push_back({header, {}});
    return true;
  }
  bool onData(std::span<const uint8_t> data) override {
    ++chunks;
    auto& target = objects.back().files.back().data;
    target.insert(target.end(), data.begin(), data.end());
    return true;
  }
  bool onArchiveEnd(const ArchiveSummary& summary) override {
    end = summary;
    return true;
  }
  ArchiveInfo archive;
  std::vector<TestObject> objects;
  ArchiveSummary end;
  size_t chunks = 0;
};

ReadResult readBytes(std::span<const uint8_t> bytes, ArchiveVisitor& visitor) {
  MemorySource source(bytes);
  TestDigest digest;
  return readArchive(source, visitor, &digest);
}

std::vector<TestObject> sampleObjects() {
  return {
      {{ObjectKind::kJournal, 0x10, "~JOURNAL OF DATABASE sales"},
       {{makeHeader("C:\\ingres\\jnl\\j0001.jnl", 1), pattern(300, 1)}, {makeHeader("", 0), {}}}},
      {{ObjectKind::kConfiguration, 0, "sales"}, {{makeHeader("C:\\dmp\\aaaaaaaa.cnf", 0), {}}}},
      {{ObjectKind::kData, 0x120, "sales"},
       {{makeHeader("C:\\data\\aaaaaaab.t00", 1024), pattern(kMaxChunkLength, 3)},
        {makeHeader("C:\\data\\aaaaaaac.t00", 2049), pattern(2 * kMaxChunkLength + 5, 9)}}},
      {{ObjectKind::kData, 0, "empty"}, {}},
  };
}

TEST(CtlArchive, RoundTripKeepsEveryObjectFileAndByte) {
  std::vector<TestObject> objects = sampleObjects();
  for (size_t piece : {size_t{1} << 16, size_t{kMaxChunkLength}, size_t{3} * kMaxChunkLength}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    std::vector<uint8_t> bytes = writeArchive(objects, piece);
    Collector collector;
    ReadResult result = readBytes(bytes, collector);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(collector.archive.creationTime, 132000000000000000ull);
    EXPECT_EQ(std::string(collector.archive.agentInfo.begin(), collector.archive.agentInfo.end()),
              "agent");
    ASSERT_EQ(collector.objects.size(), objects.size());
    for (size_t o = 0; o < objects.size(); ++o) {
      const TestObject& want = objects[o];
      const TestObject& got = collector.objects[o];
      EXPECT_EQ(got.info.name, want.info.name);
      EXPECT_EQ(got.info.kind, want.info.kind) << want.info.name;
      EXPECT_EQ(got.info.options, want.info.options) << want.info.name;
      ASSERT_EQ(got.files.size(), want.files.size()) << want.info.name;
      for (size_t f = 0; f < want.files.size(); ++f) {
        EXPECT_TRUE(got.files[f].header == want.files[f].header) << want.info.name << " file " << f;
        EXPECT_EQ(got.files[f].data.size(), want.files[f].data.size()) << "file " << f;
        EXPECT_TRUE(got.files[f].data == want.files[f].data) << want.info.name << " file " << f;
      }
    }
    EXPECT_EQ(collector.end.objectCount, 4u);
    EXPECT_EQ(collector.end.fileCount, 5u);
    EXPECT_EQ(collector.end.dataLength, 300u + 3 * kMaxChunkLength + 5);
  }
  // One chunk of exactly the limit stays one chunk; the larger file splits at the limit.
  Collector collector;
  ASSERT_TRUE(readBytes(writeArchive(objects, 3 * kMaxChunkLength), collector).ok());
  EXPECT_EQ(collector.chunks, 1u + 1u + 3u) << "300 bytes, one full chunk, two full and 5 bytes";
}

TEST(CtlArchive, HeaderFieldsReadWithinTheirBounds) {
  ObjectHeader header = makeHeader("C:\\data\\aaaaaaab.t00", 0x01020304);
  EXPECT_EQ(objectHeaderPath(header), "C:\\data\\aaaaaaab.t00");
  EXPECT_EQ(objectHeaderCheckpoint(header), "1234");
  EXPECT_EQ(objectHeaderSizeKb(header), 0x01020304u);
  std::memset(header.data() + 512, 'p', 256);  // no NUL: the path stops at its field's end
  EXPECT_EQ(objectHeaderPath(header), std::string(256, 'p'));
}

std::vector<uint8_t> smallArchive() {
  return writeArchive(
      {{{ObjectKind::kData, 4, "db"},
        {{makeHeader("C:\\d\\f1", 1), pattern(20, 5)}, {makeHeader("C:\\d\\f2", 0), {}}}}},
      8);
}

TEST(CtlArchive, EveryTruncationIsReportedInsideTheInput) {
  std::vector<uint8_t> bytes = smallArchive();
  for (size_t length = 0; length < bytes.size(); ++length) {
    // Copy so that AddressSanitizer sees any read past the shortened archive.
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length));
    ArchiveVisitor visitor;
    ReadResult result = readBytes(cut, visitor);
    EXPECT_EQ(result.error, ReadError::kTruncated)
        << "length " << length << ": " << readErrorName(result.error) << ": " << result.message;
    EXPECT_LE(result.offset, length) << result.message;
  }
  bytes.push_back(0);
  ArchiveVisitor visitor;
  ReadResult result = readBytes(bytes, visitor);
  EXPECT_EQ(result.error, ReadError::kTrailingBytes) << result.message;
  EXPECT_EQ(result.offset, bytes.size() - 1) << result.message;
}

// Offsets in smallArchive(): header 32 + agent info 5; object record 8 + 12 + 2 at 37; file
// record at 59; its chunks of 8, 8 and 4 bytes at 1091, 1107, 1123; file end at 1135.
constexpr size_t kObjectAt = 37;
constexpr size_t kFileAt = 59;
constexpr size_t kChunkAt = kFileAt + 8 + kObjectHeaderSize;
constexpr size_t kFileEndAt = kChunkAt + 16 + 16 + 12;

void putU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

struct Corruption {
  const char* title;
  size_t at;
  uint32_t value;
  ReadError expected;
  size_t offset;
};

TEST(CtlArchive, CorruptedFieldsAreRejectedAtTheirRecord) {
  const std::vector<uint8_t> good = smallArchive();
  {
    ArchiveVisitor visitor;
    ASSERT_TRUE(readBytes(good, visitor).ok()) << "the offsets below assume a valid archive";
    ASSERT_EQ(good[kChunkAt], 'D') << "chunk record expected at " << kChunkAt;
    ASSERT_EQ(good[kFileEndAt + 1], 'E') << "file end record expected at " << kFileEndAt;
  }
  const Corruption cases[] = {
      {"magic", 0, 0x59525245, ReadError::kBadMagic, 0},
      {"version 2", 8, 2, ReadError::kBadVersion, 8},
      {"version 0", 8, 0, ReadError::kBadVersion, 8},
      {"reserved header field", 12, 1, ReadError::kBadField, 12},
      {"agent info past its limit", 24, kMaxAgentInfoLength + 1, ReadError::kLimit, 24},
      {"agent info longer than the archive", 24, 4000, ReadError::kTruncated, good.size()},
      {"unknown record type", kObjectAt, 0x58585858, ReadError::kBadRecordType, kObjectAt},
      {"file record before any object", kObjectAt, fourCc("FILE"), ReadError::kOutOfOrder,
       kObjectAt},
      {"object record too short", kObjectAt + 4, 11, ReadError::kBadLength, kObjectAt},
      {"object record too long", kObjectAt + 4, 12 + kMaxObjectNameLength + 1,
       ReadError::kBadLength, kObjectAt},
      {"object kind 7", kObjectAt + 8, 7, ReadError::kBadField, kObjectAt},
      {"name length disagrees with the record", kObjectAt + 16, 3, ReadError::kBadLength,
       kObjectAt},
      {"object header of 1023 bytes", kFileAt + 4, 1023, ReadError::kBadLength, kFileAt},
      {"empty chunk", kChunkAt + 4, 0, ReadError::kLimit, kChunkAt},
      {"chunk past the limit", kChunkAt + 4, kMaxChunkLength + 1, ReadError::kLimit, kChunkAt},
      {"chunk longer than the archive", kChunkAt + 4, kMaxChunkLength, ReadError::kTruncated,
       good.size()},
      {"chunk data changed", kChunkAt + 8, 0xffffffff, ReadError::kDigestMismatch, kFileEndAt},
      {"file end length", kFileEndAt + 8, 21, ReadError::kCountMismatch, kFileEndAt},
      {"file end chunk count", kFileEndAt + 16, 4, ReadError::kCountMismatch, kFileEndAt},
      {"file end digest", kFileEndAt + 24, 0, ReadError::kDigestMismatch, kFileEndAt},
      {"object end file count", good.size() - 48, 3, ReadError::kCountMismatch, good.size() - 56},
      {"archive end object count", good.size() - 24, 2, ReadError::kCountMismatch,
       good.size() - 32},
      {"archive end data length", good.size() - 8, 19, ReadError::kCountMismatch, good.size() - 32},
  };
  for (const Corruption& c : cases) {
    std::vector<uint8_t> bytes = good;
    putU32(bytes, c.at, c.value);
    ArchiveVisitor visitor;
    ReadResult result = readBytes(bytes, visitor);
    EXPECT_EQ(result.error, c.expected)
        << c.title << ": got " << readErrorName(result.error) << ": " << result.message;
    EXPECT_EQ(result.offset, c.offset) << c.title << ": " << result.message;
    EXPECT_NE(result.message.find(std::to_string(c.offset)), std::string::npos)
        << c.title << ": the message names the offset: " << result.message;
  }
}

TEST(CtlArchive, WithoutDigestOnlyLengthsAreChecked) {
  std::vector<uint8_t> bytes = smallArchive();
  putU32(bytes, kFileEndAt + 24, 0);  // a wrong digest
  MemorySource source(bytes);
  Collector collector;
  ReadResult result = readArchive(source, collector, nullptr);
  EXPECT_TRUE(result.ok()) << result.message;
  EXPECT_EQ(collector.end.dataLength, 20u);
}

TEST(CtlArchive, VisitorCanStopTheReading) {
  class StopAtData : public ArchiveVisitor {
   public:
    bool onData(std::span<const uint8_t>) override { return false; }
  } visitor;
  std::vector<uint8_t> bytes = smallArchive();
  ReadResult result = readBytes(bytes, visitor);
  EXPECT_EQ(result.error, ReadError::kStoppedByVisitor) << result.message;
  EXPECT_EQ(result.offset, kChunkAt) << result.message;
}

TEST(CtlArchive, WriterKeepsOrderAndLimits) {
  {
    SCOPED_TRACE("order");
    MemorySink sink;
    ArchiveWriter writer(sink);
    EXPECT_EQ(writer.beginObject({ObjectKind::kData, 0, "db"}), WriteError::kOutOfOrder);
    EXPECT_EQ(writer.begin({}), WriteError::kOutOfOrder) << "a failed writer stays failed";
    EXPECT_TRUE(sink.bytes.empty()) << sink.bytes.size();
  }
  {
    SCOPED_TRACE("data outside a file");
    MemorySink sink;
    ArchiveWriter writer(sink);
    ASSERT_EQ(writer.begin({}), WriteError::kNone);
    ASSERT_EQ(writer.beginObject({ObjectKind::kData, 0, "db"}), WriteError::kNone);
    uint8_t byte = 1;
    EXPECT_EQ(writer.appendData(std::span(&byte, 1)), WriteError::kOutOfOrder);
    EXPECT_EQ(writer.finish(), WriteError::kOutOfOrder);
  }
  struct LimitCase {
    const char* title;
    ArchiveInfo info;
    ObjectInfo object;
  };
  const LimitCase limits[] = {
      {"agent info",
       {0, std::vector<uint8_t>(kMaxAgentInfoLength + 1)},
       {ObjectKind::kData, 0, "d"}},
      {"empty name", {}, {ObjectKind::kData, 0, ""}},
      {"long name", {}, {ObjectKind::kData, 0, std::string(kMaxObjectNameLength + 1, 'n')}},
      {"unknown kind", {}, {static_cast<ObjectKind>(7), 0, "d"}},
  };
  for (const LimitCase& c : limits) {
    MemorySink sink;
    ArchiveWriter writer(sink);
    WriteError error = writer.begin(c.info);
    if (error == WriteError::kNone) error = writer.beginObject(c.object);
    EXPECT_EQ(error, WriteError::kLimit) << c.title << ": " << writeErrorName(error);
  }
  {
    SCOPED_TRACE("longest name accepted");
    MemorySink sink;
    ArchiveWriter writer(sink);
    ASSERT_EQ(writer.begin({0, std::vector<uint8_t>(kMaxAgentInfoLength)}), WriteError::kNone);
    EXPECT_EQ(writer.beginObject({ObjectKind::kData, 0, std::string(kMaxObjectNameLength, 'n')}),
              WriteError::kNone);
  }
}

TEST(CtlArchive, SinkFailureStopsTheWriter) {
  class FailingSink : public ByteSink {
   public:
    bool write(std::span<const uint8_t> bytes) override {
      if (calls++ >= 2) return false;
      written += bytes.size();
      return true;
    }
    int calls = 0;
    size_t written = 0;
  } sink;
  ArchiveWriter writer(sink);
  ASSERT_EQ(writer.begin({}), WriteError::kNone);
  ASSERT_EQ(writer.beginObject({ObjectKind::kData, 0, "db"}), WriteError::kNone);
  EXPECT_EQ(writer.beginFile(makeHeader("x", 0)), WriteError::kSinkFailed);
  EXPECT_EQ(writer.endFile({}), WriteError::kOutOfOrder);
  EXPECT_EQ(writer.bytesWritten(), sink.written) << "failed bytes are not counted";
}

}  // namespace
}  // namespace ferry::ctl::archive
