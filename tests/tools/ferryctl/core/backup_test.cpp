// The backup plan (which objects, in which order, on which connection) and the backup stream
// state machine against scripted agent streams: what lands in the archive, and every way a
// stream can break its shape.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "core/archive_format.h"
#include "core/backup_plan.h"
#include "core/backup_stream.h"

namespace ferry::ctl {
namespace {

using archive::ObjectHeader;
using archive::ObjectInfo;

TEST(CtlBackupPlan, ObjectNames) {
  struct Case {
    std::string name;
    bool valid;
    ObjectKind kind;
    std::string database;
  };
  const Case cases[] = {
      {"db.DATA", true, ObjectKind::kData, "db"},
      {"db.data", true, ObjectKind::kData, "db"},
      {"db.DaTa", true, ObjectKind::kData, "db"},
      {"db.~CONFIG", true, ObjectKind::kConfiguration, "db"},
      {"~JOURNAL OF DATABASE db", true, ObjectKind::kJournal, "db"},
      {"db.~config", false, {}, ""},
      {"db.DATA.old", false, {}, ""},
      {"db", false, {}, ""},
      {".DATA", false, {}, ""},
      {"~journal of database db", false, {}, ""},
      {"~JOURNAL OF DATABASE ", false, {}, ""},
      {"~JOURNAL OF DATABASE a.b", false, {}, ""},
      {std::string(33, 'd') + ".DATA", false, {}, ""},
      {std::string(32, 'd') + ".DATA", true, ObjectKind::kData, std::string(32, 'd')},
  };
  for (const Case& c : cases) {
    std::optional<ObjectName> named = classifyObjectName(c.name);
    ASSERT_EQ(named.has_value(), c.valid) << "'" << c.name << "'";
    if (!c.valid) continue;
    EXPECT_EQ(named->kind, c.kind) << c.name;
    EXPECT_EQ(named->database, c.database) << c.name;
  }
  EXPECT_EQ(dataObjectName("db"), "db.DATA");
  EXPECT_EQ(configurationObjectName("db"), "db.~CONFIG");
  EXPECT_EQ(journalObjectName("db"), "~JOURNAL OF DATABASE db");
}

TEST(CtlBackupPlan, OneConnectionPerDatabaseInCatalogueOrder) {
  std::string error;
  const std::vector<std::string> named = {"~JOURNAL OF DATABASE a", "b.~CONFIG", "a.~CONFIG",
                                          "a.data", "b.DATA"};
  auto plans = planBackup(named, &error);
  ASSERT_TRUE(plans) << error;
  ASSERT_EQ(plans->size(), 2u);
  EXPECT_EQ((*plans)[0].database, "a");
  EXPECT_EQ((*plans)[0].objects,
            (std::vector<std::string>{"a.data", "a.~CONFIG", "~JOURNAL OF DATABASE a"}));
  EXPECT_EQ((*plans)[1].database, "b");
  EXPECT_EQ((*plans)[1].objects, (std::vector<std::string>{"b.DATA", "b.~CONFIG"}));

  const std::vector<std::string> twice = {"a.DATA", "a.~CONFIG", "a.data"};
  EXPECT_FALSE(planBackup(twice, &error));
  EXPECT_NE(error.find("'a.data' is named twice"), std::string::npos) << error;
}

TEST(CtlBackupPlan, DatabaseObjectsFromTheCatalogue) {
  // The catalogue's own order is not relied on, and names of other databases that share a
  // prefix are not taken.
  const std::vector<std::string> catalogue = {"sample2.DATA", "~JOURNAL OF DATABASE sample",
                                              "sample.~CONFIG", "sample.DATA", "sample2.~CONFIG"};
  EXPECT_EQ(
      databaseObjects(catalogue, "sample"),
      (std::vector<std::string>{"sample.DATA", "sample.~CONFIG", "~JOURNAL OF DATABASE sample"}));
  EXPECT_EQ(databaseObjects(catalogue, "sample2"),
            (std::vector<std::string>{"sample2.DATA", "sample2.~CONFIG"}))
      << "not journaled: two objects";
  EXPECT_TRUE(databaseObjects(catalogue, "none").empty());
}

TEST(CtlBackupPlan, RestoreReplaysJournalsAndConfigurationBeforeData) {
  std::vector<ObjectInfo> objects = {
      {ObjectKind::kData, 0, "a.DATA"},
      {ObjectKind::kConfiguration, 0, "a.~CONFIG"},
      {ObjectKind::kJournal, 0, "~JOURNAL OF DATABASE a"},
      {ObjectKind::kData, 0, "b.DATA"},
      {ObjectKind::kJournal, 0, "~JOURNAL OF DATABASE b"},
  };
  EXPECT_EQ(restoreOrder(objects), (std::vector<size_t>{2, 1, 0, 4, 3}));
  EXPECT_TRUE(restoreOrder({}).empty());
}

// ---- the stream ----

ObjectHeader headerFor(const std::string& path, uint32_t sizeKb, char fill = 0) {
  ObjectHeader header{};
  std::memset(header.data() + 900, fill, 100);  // bytes past the fields are kept as they came
  std::memcpy(header.data(), "FERRYMAN", 8);
  std::memcpy(header.data() + 12, "0004", 4);
  std::memcpy(header.data() + 512, path.data(), path.size());
  for (int i = 0; i < 4; ++i)
    header[768 + static_cast<size_t>(i)] = static_cast<uint8_t>(sizeKb >> (8 * i));
  return header;
}

// One scripted DSARead answer.
struct Step {
  uint32_t result = 0;
  std::vector<uint8_t> bytes;  // copied into the buffer; count = size unless `count` is set
  std::optional<uint32_t> count;
};

Step headerStep(const ObjectHeader& header) { return {0, {header.begin(), header.end()}, {}}; }
Step dataStep(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return {0, bytes, {}};
}
Step endOfFile() { return {9999, {}, {}}; }
Step endOfObject() { return {0, {}, {}}; }

class ScriptedAgent {
 public:
  explicit ScriptedAgent(std::vector<Step> steps) : steps_(steps.begin(), steps.end()) {}
  ReadCall call() {
    return [this](uint8_t* buffer, uint32_t* count) -> uint32_t {
      ++calls;
      lastCapacity = *count;
      if (steps_.empty()) {
        ADD_FAILURE() << "read past the end of the script";
        *count = 0;
        return 9;
      }
      Step step = steps_.front();
      steps_.pop_front();
      if (!step.bytes.empty()) {
        std::memcpy(buffer, step.bytes.data(), std::min<size_t>(step.bytes.size(), *count));
      }
      *count = step.count.value_or(static_cast<uint32_t>(step.bytes.size()));
      return step.result;
    };
  }
  size_t left() const { return steps_.size(); }
  int calls = 0;
  uint32_t lastCapacity = 0;

 private:
  std::deque<Step> steps_;
};

// A stand-in digest: the length and a position-weighted sum, enough to tell data apart.
class SumDigest final : public archive::DigestCalculator {
 public:
  void reset() override { sum_ = length_ = 0; }
  void update(std::span<const uint8_t> data) override {
    for (uint8_t b : data) sum_ = sum_ * 31 + b, ++length_;
  }
  archive::Digest finish() override {
    archive::Digest d{};
    for (int i = 0; i < 8; ++i) {
      d[static_cast<size_t>(i)] = static_cast<uint8_t>(sum_ >> (8 * i));
      d[static_cast<size_t>(8 + i)] = static_cast<uint8_t>(length_ >> (8 * i));
    }
    return d;
  }

 private:
  uint64_t sum_ = 0;
  uint64_t length_ = 0;
};

// What a reader finds in the archive.
class Collector final : public archive::ArchiveVisitor {
 public:
  bool onObject(const ObjectInfo& o) override {
    objects.push_back(o);
    return true;
  }
  bool onFile(const ObjectHeader& h) override {
    headers.push_back(h);
    data.emplace_back();
    return true;
  }
  bool onData(std::span<const uint8_t> d) override {
    data.back().insert(data.back().end(), d.begin(), d.end());
    return true;
  }
  std::vector<ObjectInfo> objects;
  std::vector<ObjectHeader> headers;
  std::vector<std::vector<uint8_t>> data;
};

struct ScriptRun {
  ObjectBackup backup;
  archive::MemorySink sink;
  bool finished = false;
};

void runScript(ScriptedAgent& agent, size_t bufferSize, ScriptRun& run,
               const ObjectInfo& object = {ObjectKind::kData, 0x10, "db.DATA"}) {
  archive::ArchiveWriter writer(run.sink);
  ASSERT_EQ(writer.begin({}), archive::WriteError::kNone);
  std::vector<uint8_t> buffer(bufferSize, 0xbd);
  SumDigest digest;
  run.backup = backupObjectStream(agent.call(), buffer, object, writer, digest);
  run.finished = writer.finish() == archive::WriteError::kNone;
}

TEST(CtlBackupStream, FilesLandInTheArchiveAsDelivered) {
  const ObjectHeader first = headerFor("C:\\ing\\data\\db\\aaaaaaab.t00", 2, 0x55);
  const ObjectHeader empty = headerFor("C:\\ing\\data\\db\\aaaaaaad.t00", 0);
  const ObjectHeader second = headerFor("D:\\loc2\\db\\aaaaaaae.t00", 0);
  const Step a1 = dataStep(1024, 1), a2 = dataStep(1024, 2), b1 = dataStep(1023, 3);
  ScriptedAgent agent({headerStep(first), a1, a2, endOfFile(), headerStep(empty), endOfFile(),
                       headerStep(second), b1, endOfFile(), endOfObject()});
  ScriptRun run;
  ASSERT_NO_FATAL_FAILURE(runScript(agent, 4096, run));
  ASSERT_EQ(run.backup.outcome, ObjectBackup::Outcome::kSaved) << run.backup.message;
  EXPECT_TRUE(run.finished) << "the archive must be completable after a saved object";
  EXPECT_EQ(agent.left(), 0u);
  EXPECT_EQ(agent.lastCapacity, 4096u) << "each call is given the whole buffer";
  ASSERT_EQ(run.backup.files.size(), 3u);
  EXPECT_EQ(run.backup.files[0].path, "C:\\ing\\data\\db\\aaaaaaab.t00");
  EXPECT_EQ(run.backup.files[0].bytes, 2048u);
  EXPECT_EQ(run.backup.files[1].bytes, 0u);
  EXPECT_EQ(run.backup.files[2].bytes, 1023u);
  EXPECT_EQ(run.backup.bytes, 3071u);
  EXPECT_TRUE(run.backup.warnings.empty()) << run.backup.warnings.front();

  archive::MemorySource source(run.sink.bytes);
  Collector found;
  SumDigest check;
  archive::ReadResult read = archive::readArchive(source, found, &check);
  ASSERT_TRUE(read.ok()) << read.message;
  ASSERT_EQ(found.objects.size(), 1u);
  EXPECT_EQ(found.objects[0].name, "db.DATA");
  EXPECT_EQ(found.objects[0].options, 0x10u);
  ASSERT_EQ(found.headers.size(), 3u);
  EXPECT_EQ(found.headers[0], first) << "the header is kept byte for byte";
  EXPECT_EQ(found.headers[2], second);
  std::vector<uint8_t> expected = a1.bytes;
  expected.insert(expected.end(), a2.bytes.begin(), a2.bytes.end());
  EXPECT_EQ(found.data[0], expected);
  EXPECT_TRUE(found.data[1].empty());
  EXPECT_EQ(found.data[2], b1.bytes);
  SumDigest direct;
  direct.update(expected);
  EXPECT_EQ(run.backup.files[0].digest, direct.finish()) << "the digest covers only the data";
}

TEST(CtlBackupStream, AnEmptyObjectIsSaved) {
  ScriptedAgent agent({endOfObject()});
  ScriptRun run;
  ASSERT_NO_FATAL_FAILURE(
      runScript(agent, 1024, run, {ObjectKind::kJournal, 0, "~JOURNAL OF DATABASE db"}));
  EXPECT_EQ(run.backup.outcome, ObjectBackup::Outcome::kSaved) << run.backup.message;
  EXPECT_TRUE(run.backup.files.empty());
  EXPECT_TRUE(run.finished);
}

TEST(CtlBackupStream, SmallFilesInTheAgentsKbCountAreNoDifference) {
  // The header gives a file below 1 KB, the empty one too, as 1 KB (or 0).
  ScriptedAgent agent({headerStep(headerFor("empty", 1)), endOfFile(),
                       headerStep(headerFor("small", 1)), dataStep(1023, 1), endOfFile(),
                       headerStep(headerFor("zero", 0)), dataStep(5, 1), endOfFile(),
                       endOfObject()});
  ScriptRun run;
  ASSERT_NO_FATAL_FAILURE(runScript(agent, 4096, run));
  EXPECT_EQ(run.backup.outcome, ObjectBackup::Outcome::kSaved) << run.backup.message;
  EXPECT_TRUE(run.backup.warnings.empty()) << run.backup.warnings.front();
  EXPECT_EQ(run.backup.files.size(), 3u);
}

TEST(CtlBackupStream, SizeDifferencesAreReportedNotFatal) {
  ScriptedAgent agent(
      {headerStep(headerFor("j0000003.jnl", 1)), dataStep(3000, 9), endOfFile(), endOfObject()});
  ScriptRun run;
  ASSERT_NO_FATAL_FAILURE(runScript(agent, 4096, run));
  EXPECT_EQ(run.backup.outcome, ObjectBackup::Outcome::kSaved) << run.backup.message;
  ASSERT_EQ(run.backup.warnings.size(), 1u);
  EXPECT_NE(run.backup.warnings[0].find("header says 1 KB, 3000 bytes"), std::string::npos)
      << run.backup.warnings[0];
}

TEST(CtlBackupStream, AgentErrorsAndBrokenStreamsLeaveTheArchiveIncomplete) {
  const ObjectHeader header = headerFor("C:\\f", 1);
  ObjectHeader noMagic = header;
  noMagic[0] = 'X';
  struct Case {
    const char* title;
    std::vector<Step> steps;
    ObjectBackup::Outcome outcome;
    uint32_t agentResult;
    const char* message;
  };
  const Case cases[] = {
      {"agent error on the header",
       {{20, {}, {}}},
       ObjectBackup::Outcome::kAgentError,
       20,
       "where a file header was due"},
      {"read error in the data",
       {headerStep(header), {1, {}, {}}},
       ObjectBackup::Outcome::kAgentError,
       1,
       "while reading C:\\f"},
      {"system error code",
       {headerStep(header), dataStep(1024, 1), {10005, {}, {}}},
       ObjectBackup::Outcome::kAgentError,
       10005,
       "while reading"},
      {"a header that is not 1024 bytes",
       {dataStep(512, 1)},
       ObjectBackup::Outcome::kStreamFault,
       0,
       "a block of 512 bytes where a 1024-byte file header was due"},
      {"a header without the magic",
       {headerStep(noMagic)},
       ObjectBackup::Outcome::kStreamFault,
       0,
       "lacks the header magic"},
      {"end of file where a header was due",
       {endOfFile()},
       ObjectBackup::Outcome::kStreamFault,
       0,
       "end of file (9999) where a file header was due"},
      {"end of file with bytes",
       {headerStep(header), {9999, {1, 2}, {}}},
       ObjectBackup::Outcome::kStreamFault,
       0,
       "end of file of C:\\f with 2 bytes"},
      {"no bytes and no end of file",
       {headerStep(header), endOfObject()},
       ObjectBackup::Outcome::kStreamFault,
       0,
       "no bytes and no end of file"},
      {"a count beyond the buffer",
       {headerStep(header), {0, {}, 4097u}},
       ObjectBackup::Outcome::kStreamFault,
       0,
       "reported 4097 bytes in a buffer of 4096"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    ScriptedAgent agent(c.steps);
    ScriptRun run;
    ASSERT_NO_FATAL_FAILURE(runScript(agent, 4096, run));
    EXPECT_EQ(run.backup.outcome, c.outcome) << run.backup.message;
    EXPECT_EQ(run.backup.agentResult, c.agentResult);
    EXPECT_NE(run.backup.message.find(c.message), std::string::npos) << run.backup.message;
    EXPECT_EQ(agent.left(), 0u) << "the stream stops at the fault";
    EXPECT_FALSE(run.finished) << "a failed object must never let the archive be completed";
    archive::MemorySource source(run.sink.bytes);
    Collector found;
    archive::ReadResult read = archive::readArchive(source, found);
    EXPECT_EQ(read.error, archive::ReadError::kTruncated) << read.message;
  }
}

class FailingSink final : public archive::ByteSink {
 public:
  explicit FailingSink(size_t allowed) : allowed_(allowed) {}
  bool write(std::span<const uint8_t> bytes) override {
    if (bytes.size() > allowed_) return false;
    allowed_ -= bytes.size();
    return true;
  }

 private:
  size_t allowed_;
};

TEST(CtlBackupStream, ASinkFailureEndsTheObject) {
  ScriptedAgent agent({headerStep(headerFor("C:\\f", 4)), dataStep(4096, 1), dataStep(4096, 2)});
  FailingSink sink(32 + 8 + 12 + 7 + 8 + 1024 + 100);  // fails in the first data record
  archive::ArchiveWriter writer(sink);
  ASSERT_EQ(writer.begin({}), archive::WriteError::kNone);
  std::vector<uint8_t> buffer(4096);
  SumDigest digest;
  ObjectBackup backup =
      backupObjectStream(agent.call(), buffer, {ObjectKind::kData, 0, "db.DATA"}, writer, digest);
  EXPECT_EQ(backup.outcome, ObjectBackup::Outcome::kArchiveError);
  EXPECT_NE(backup.message.find("sink failed"), std::string::npos) << backup.message;
  EXPECT_EQ(agent.calls, 2) << "no further reads after the archive failed";
  EXPECT_NE(writer.finish(), archive::WriteError::kNone);
}

}  // namespace
}  // namespace ferry::ctl
