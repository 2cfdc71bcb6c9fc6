// Backups through the exported entry points against a simulated installation: the data stream
// of a two-location database (with the simulated ckpdb and the real extractor), journal and
// configuration objects, the journal clean-up, and the calls that must begin nothing.
#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "agent_fixture.h"
#include "ferryman.h"
#include "ingsim/installation.h"
#include "object_header.h"
#include "oidb_msg.h"
#include "remote_stream.h"
#include "support/child_role.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

template <typename Fn>
Fn bound(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

constexpr uint32_t kBufferSize = 64 * 1024;
constexpr uint32_t kEndOfFile = 9999;

// One file of a backup stream as the server received it.
struct StreamFile {
  std::string path;
  uint32_t sizeKb = 0;
  std::string checkpoint;
  bool magic = false;
  std::vector<unsigned char> bytes;
  int dataCalls = 0;
};

// A whole object: its files in stream order, and how it ended.
struct StreamObject {
  std::vector<StreamFile> files;
  uint32_t failure = 0;  // the first result that was neither 0 nor 9999
  std::string fault;     // a break of the stream's rules, described
  bool ended = false;    // the final call returned 0 with count 0
};

std::vector<unsigned char> fileBytes(const std::string& path) {
  std::string text = readWholeFile(path);
  return {text.begin(), text.end()};
}

class Backup : public testing::Test {
 protected:
  ScopedTestDirectory testDirectory_;  // made first, undone last

  void SetUp() override {
    savedMachineRoot_ = machineEnvironmentValue("II_SYSTEM");
    buffer_ = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, kBufferSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(buffer_, nullptr);
  }

  void TearDown() override {
    if (connectionId_ != 0) {
      EXPECT_EQ(disconnect_(connectionId_), 0u);
    }
    if (HasFailure() && agent_) std::printf("---- trace (end)\n%s\n", traceTail().c_str());
    terminateProcesses("siphon.exe");
    agent_.reset();
    account_.reset();
    removeAgentInstallation(&installation_);
    for (const std::string& area : extraAreas_) removeTree(area);
    setMachineEnvironmentValue("II_SYSTEM", savedMachineRoot_);
    if (buffer_ != nullptr) VirtualFree(buffer_, 0, MEM_RELEASE);
  }

  // Use with ASSERT_NO_FATAL_FAILURE. `extractor` is the program placed as siphon.exe.
  void install(const std::string& code, const std::string& extractor = "siphon.exe") {
    std::vector<Companion> companions = agentCompanions();
    companions.push_back({extractor, "siphon.exe"});
    agent_ = std::make_unique<AgentCopy>("bk_" + code, companions);
    ASSERT_EQ(agent_->setupError(), "");
    ASSERT_EQ(agent_->load(), 0u);
    HMODULE module = agent_->module();
    connect_ = bound<PFN_DSAConnectAgent>(module, "DSAConnectAgent");
    disconnect_ = bound<PFN_DSADisconnectAgent>(module, "DSADisconnectAgent");
    begin_ = bound<PFN_DSABeginBackup>(module, "DSABeginBackup");
    read_ = bound<PFN_DSARead>(module, "DSARead");
    end_ = bound<PFN_DSAEndBackup>(module, "DSAEndBackup");
    ASSERT_TRUE(connect_ && disconnect_ && begin_ && read_ && end_) << "entry points missing";
    installation_ = std::make_unique<TestInstallation>(installationOptions(code, 2));
    ASSERT_EQ(installation_->error(), "") << code;
    account_ = std::make_unique<ScopedAccount>(ingsim::Account{"ingres", "pw-" + code, ""});
    ASSERT_EQ(account_->error(), "");
  }

  std::string area(const std::string& suffix) {
    std::string path = installation_->root() + "_" + suffix;
    removeTree(path);
    extraAreas_.push_back(path);
    return path;
  }

  void connect() {
    const std::string code = installation_->code();
    ASSERT_EQ(
        connect_(0, ("server@" + code).c_str(), "ingres", ("pw-" + code).c_str(), &connectionId_),
        0u);
  }

  uint32_t begin(const std::string& name, uint32_t options, uint32_t* backupId = nullptr) {
    std::vector<char> text(name.begin(), name.end());
    text.push_back('\0');
    uint32_t id = 77;
    uint32_t remote = 0;
    uint32_t rc = begin_(connectionId_, text.data(), options, &id, &remote);
    lastCutName_ = text.data();
    if (backupId != nullptr) *backupId = id;
    return rc;
  }

  // Reads one begun object to its end, checking the rules of the stream on the way.
  StreamObject readObject() {
    StreamObject object;
    StreamFile* open = nullptr;
    for (int calls = 0; calls < 100000; ++calls) {
      uint32_t count = kBufferSize;
      std::memset(buffer_, 0xa5, kBufferSize);
      uint32_t rc = read_(connectionId_, 1, 0, buffer_, &count);
      if (open == nullptr) {
        if (rc != 0) {
          object.failure = rc;
          return object;
        }
        if (count == 0) {
          object.ended = true;
          if (!header::pathOf(buffer_).empty()) object.fault = "end with a path in the header";
          return object;
        }
        if (count != header::kSize) {
          object.fault = "header of " + std::to_string(count) + " bytes";
          return object;
        }
        StreamFile file;
        file.path = std::string(header::pathOf(buffer_));
        file.sizeKb = header::sizeKbOf(buffer_);
        file.checkpoint = std::string(header::checkpointOf(buffer_));
        file.magic = header::hasMagic(buffer_);
        object.files.push_back(file);
        open = &object.files.back();
        continue;
      }
      if (rc == kEndOfFile) {
        if (count != 0) object.fault = "9999 with count " + std::to_string(count);
        open = nullptr;
        continue;
      }
      if (rc != 0) {
        object.failure = rc;
        return object;
      }
      if (count == 0 || count > kBufferSize) {
        object.fault = "data call with count " + std::to_string(count);
        return object;
      }
      open->bytes.insert(open->bytes.end(), buffer_, buffer_ + count);
      ++open->dataCalls;
    }
    object.fault = "no end";
    return object;
  }

  // The end of the agent's trace (written for installations whose debug setting is on).
  std::string traceTail() const {
    std::string text = readWholeFile(agent_->path("ferryman.trc"));
    return text.substr(text.size() > 30000 ? text.size() - 30000 : 0);
  }

  std::string savedMachineRoot_;
  std::unique_ptr<AgentCopy> agent_;
  std::unique_ptr<TestInstallation> installation_;
  std::unique_ptr<ScopedAccount> account_;
  std::vector<std::string> extraAreas_;
  uint32_t connectionId_ = 0;
  PFN_DSAConnectAgent connect_ = nullptr;
  PFN_DSADisconnectAgent disconnect_ = nullptr;
  PFN_DSABeginBackup begin_ = nullptr;
  PFN_DSARead read_ = nullptr;
  PFN_DSAEndBackup end_ = nullptr;
  unsigned char* buffer_ = nullptr;
  std::string lastCutName_;
};

TEST_F(Backup, TwoLocationDataStreamCarriesEveryFileInLocationOrder) {
  ASSERT_NO_FATAL_FAILURE(install("BA"));
  const std::string second = area("area2");
  ingsim::DatabaseOptions db;
  db.name = "twoloc";
  db.journaled = true;
  db.journalFiles = 1;
  db.locations = {{"", {{"aaaaaaab.t00", 70000}, {"aaaaaaac.t00", 0}, {"aaaaaaad.t00", 1024}}},
                  {second, {{"aaaaaaae.t00", 3 * 1024 * 1024 + 5}, {"aaaaaaaf.t00", 1}}}};
  ASSERT_EQ(ingsim::addDatabase("BA", db), "");
  ScopedAgentSettings settings("BA");  // traced, for the failure messages
  ASSERT_EQ(settings.setDebug(1), ERROR_SUCCESS);
  const std::string first = ingsim::dataFolder(installation_->root(), "twoloc");
  const std::string secondFolder = ingsim::dataFolder(second, "twoloc");
  ASSERT_NO_FATAL_FAILURE(connect());

  uint32_t backupId = 0;
  // The suffix is compared without regard to case; the caller's name is cut at the '.'.
  ASSERT_EQ(begin("twoloc.data", 0, &backupId), 0u);
  EXPECT_EQ(lastCutName_, "twoloc");
  EXPECT_EQ(backupId, 1u);
  StreamObject data = readObject();
  EXPECT_EQ(data.failure, 0u) << traceTail();
  EXPECT_EQ(data.fault, "");
  EXPECT_TRUE(data.ended);
  // Every file of the first location before any of the second, each byte as on disk.
  std::map<std::string, size_t> position;
  for (size_t i = 0; i < data.files.size(); ++i) position[data.files[i].path] = i;
  const std::vector<std::string> firstFiles = {"aaaaaaab.t00", "aaaaaaac.t00", "aaaaaaad.t00"};
  const std::vector<std::string> secondFiles = {"aaaaaaae.t00", "aaaaaaaf.t00"};
  size_t lastOfFirst = 0;
  size_t firstOfSecond = data.files.size();
  for (const std::string& name : firstFiles) {
    std::string path = first + "\\" + name;
    ASSERT_EQ(position.count(path), 1u) << path;
    lastOfFirst = std::max(lastOfFirst, position[path]);
  }
  for (const std::string& name : secondFiles) {
    std::string path = secondFolder + "\\" + name;
    ASSERT_EQ(position.count(path), 1u) << path;
    firstOfSecond = std::min(firstOfSecond, position[path]);
  }
  EXPECT_LT(lastOfFirst, firstOfSecond);
  for (const StreamFile& file : data.files) {
    SCOPED_TRACE(file.path);
    EXPECT_TRUE(file.magic);
    EXPECT_FALSE(file.checkpoint.empty());
    const std::vector<unsigned char> disk = fileBytes(file.path);
    EXPECT_TRUE(file.bytes == disk)
        << file.bytes.size() << " bytes read, " << disk.size() << " on disk";
    EXPECT_EQ(file.sizeKb, std::max<uint32_t>(1, static_cast<uint32_t>(disk.size() >> 10)));
    // An empty file: header, then 9999 at once.
    if (disk.empty()) {
      EXPECT_EQ(file.dataCalls, 0);
    }
  }
  const std::string checkpoint = data.files.empty() ? "" : data.files.front().checkpoint;

  EXPECT_EQ(end_(connectionId_, 0), 0u);
  EXPECT_EQ(end_(connectionId_, 0), 9u) << "second end";
  uint32_t count = kBufferSize;
  EXPECT_EQ(read_(connectionId_, 1, 0, buffer_, &count), 9u) << "read after the end";

  // The configuration object on the same connection carries the data backup's checkpoint.
  ASSERT_EQ(begin("twoloc.~CONFIG", 0, &backupId), 0u);
  EXPECT_EQ(backupId, 2u);
  StreamObject config = readObject();
  EXPECT_EQ(config.failure, 0u);
  EXPECT_TRUE(config.ended);
  const std::string dump = ingsim::dumpFolder(installation_->root(), "twoloc");
  ASSERT_EQ(config.files.size(), 1u);
  EXPECT_EQ(config.files[0].path, dump + "\\aaaaaaaa.cnf");
  EXPECT_TRUE(config.files[0].bytes == fileBytes(dump + "\\aaaaaaaa.cnf"));
  EXPECT_EQ(end_(connectionId_, 0), 0u);
  EXPECT_EQ(checkpoint.size(), 4u) << checkpoint;
}

TEST_F(Backup, JournalsAreDeliveredAndOnlyOlderOnesDeletedWithTheOption) {
  ASSERT_NO_FATAL_FAILURE(install("BB"));
  ingsim::DatabaseOptions db;
  db.name = "jdb";
  db.journaled = true;
  db.journalFiles = 3;
  db.journalFileSize = 5000;
  db.dumpFiles = {{"c0000001.dmp", 3000}};
  ASSERT_EQ(ingsim::addDatabase("BB", db), "");
  ASSERT_NO_FATAL_FAILURE(connect());
  const std::string journals = ingsim::journalFolder(installation_->root(), "jdb");
  auto journal = [&](int n) { return journals + "\\j000000" + std::to_string(n) + ".jnl"; };

  // Without the option: all three delivered, nothing deleted.
  ASSERT_EQ(begin("~JOURNAL OF DATABASE jdb", 0), 0u);
  StreamObject kept = readObject();
  EXPECT_TRUE(kept.ended);
  EXPECT_EQ(kept.fault, "");
  ASSERT_EQ(kept.files.size(), 3u);
  for (const StreamFile& file : kept.files) {
    EXPECT_TRUE(file.bytes == fileBytes(file.path)) << file.path;
    EXPECT_TRUE(file.checkpoint.empty());
  }
  EXPECT_EQ(end_(connectionId_, 0), 0u);
  for (int n = 1; n <= 3; ++n) EXPECT_TRUE(fileExists(journal(n))) << n;

  // An object ended before its last file deletes nothing, even with the option.
  ASSERT_EQ(begin("~JOURNAL OF DATABASE jdb", 0x10), 0u);
  uint32_t count = kBufferSize;
  ASSERT_EQ(read_(connectionId_, 1, 0, buffer_, &count), 0u);
  EXPECT_EQ(count, header::kSize);
  EXPECT_EQ(end_(connectionId_, 1), 0u);
  for (int n = 1; n <= 3; ++n) EXPECT_TRUE(fileExists(journal(n))) << n;

  // With 0x10 and the whole object read: the two older journals go, the current one stays.
  ASSERT_EQ(begin("~JOURNAL OF DATABASE jdb", 0x10), 0u);
  StreamObject deleted = readObject();
  EXPECT_TRUE(deleted.ended);
  EXPECT_EQ(deleted.files.size(), 3u);
  EXPECT_EQ(end_(connectionId_, 0), 0u);
  EXPECT_FALSE(fileExists(journal(1)));
  EXPECT_FALSE(fileExists(journal(2)));
  EXPECT_TRUE(fileExists(journal(3)));

  // An empty journal directory: the first read ends the object with an empty header.
  ASSERT_TRUE(DeleteFileA(journal(3).c_str()));
  ASSERT_EQ(begin("~JOURNAL OF DATABASE jdb", 0), 0u);
  StreamObject empty = readObject();
  EXPECT_TRUE(empty.ended);
  EXPECT_TRUE(empty.files.empty());
  EXPECT_EQ(end_(connectionId_, 0), 0u);

  // Configuration without an earlier data backup: every file of the dump directory.
  ASSERT_EQ(begin("jdb.~CONFIG", 0), 0u);
  StreamObject config = readObject();
  EXPECT_TRUE(config.ended);
  EXPECT_EQ(config.files.size(), 2u);
  for (const StreamFile& file : config.files) {
    EXPECT_TRUE(file.bytes == fileBytes(file.path)) << file.path;
  }
  EXPECT_EQ(end_(connectionId_, 0), 0u);

  // A dump destination that does not exist delivers no file and no failure.
  removeTree(ingsim::dumpFolder(installation_->root(), "jdb"));
  ASSERT_EQ(begin("jdb.~CONFIG", 0), 0u);
  StreamObject none = readObject();
  EXPECT_EQ(none.failure, 0u);
  EXPECT_TRUE(none.ended);
  EXPECT_TRUE(none.files.empty());
  EXPECT_EQ(end_(connectionId_, 0), 0u);
}

TEST_F(Backup, CallsThatMustBeginNothing) {
  ASSERT_NO_FATAL_FAILURE(install("BC"));
  ingsim::DatabaseOptions db;
  db.name = "mydb";
  db.journaled = true;
  db.journalFiles = 1;
  ASSERT_EQ(ingsim::addDatabase("BC", db), "");
  ASSERT_NO_FATAL_FAILURE(connect());

  uint32_t count = kBufferSize;
  EXPECT_EQ(read_(connectionId_, 1, 0, buffer_, &count), 9u) << "read before a begin";
  EXPECT_EQ(end_(connectionId_, 0), 9u) << "end before a begin";
  EXPECT_EQ(read_(connectionId_ + 1, 1, 0, buffer_, &count), 2u) << "unknown connection";

  uint32_t backupId = 99;
  EXPECT_EQ(begin("mydb.DATA.old", 0, &backupId), 21u);
  EXPECT_EQ(backupId, 0u);
  EXPECT_EQ(lastCutName_, "mydb.DATA.old") << "name changed although nothing began";
  EXPECT_EQ(begin("~journal of database mydb", 0), 21u) << "the journal prefix is case-sensitive";
  EXPECT_EQ(begin("~JOURNAL OF DATABASE", 0), 21u) << "no database name";
  EXPECT_EQ(end_(connectionId_, 0), 9u) << "none of those began a backup";

  // A header is only written into a buffer that holds all of it.
  ASSERT_EQ(begin("~JOURNAL OF DATABASE mydb", 0, &backupId), 0u);
  EXPECT_EQ(backupId, 1u) << "refused begins take no backup id";
  EXPECT_EQ(begin("mydb.~CONFIG", 0), 9u) << "a second begin before the end";
  std::memset(buffer_, 0x5a, kBufferSize);
  count = 1023;
  EXPECT_EQ(read_(connectionId_, 1, 0, buffer_, &count), 500u);
  EXPECT_EQ(buffer_[0], 0x5a);
  EXPECT_EQ(buffer_[512], 0x5a);
  StreamObject journal = readObject();
  EXPECT_TRUE(journal.ended);
  EXPECT_EQ(journal.files.size(), 1u) << "the refused read lost no file";
  EXPECT_EQ(end_(connectionId_, 0), 0u);
}

// A file that cannot be read is never delivered as an empty one: the object fails, later reads
// say so again, no checkpoint is taken from it, and a journal that was not delivered survives
// the clean-up of option 0x10.
TEST_F(Backup, FileHeldWithoutSharingFailsTheObjectAndKeepsItsJournal) {
  ASSERT_NO_FATAL_FAILURE(install("BD"));
  ingsim::DatabaseOptions db;
  db.name = "held";
  db.journaled = true;
  db.journalFiles = 3;
  db.locations = {{"", {{"aaaaaaab.t00", 5000}, {"aaaaaaac.t00", 9000}}}};
  ASSERT_EQ(ingsim::addDatabase("BD", db), "");
  ASSERT_NO_FATAL_FAILURE(connect());
  {
    SCOPED_TRACE("a data file held without sharing");
    const std::string path = ingsim::dataFolder(installation_->root(), "held") + "\\aaaaaaab.t00";
    ferry::UniqueFile held(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    ASSERT_EQ(begin("held.DATA", 0), 0u);
    StreamObject data = readObject();
    EXPECT_EQ(data.failure, 1u);
    EXPECT_FALSE(data.ended);
    for (const StreamFile& file : data.files) EXPECT_NE(file.path, path) << "delivered anyway";
    uint32_t count = kBufferSize;
    EXPECT_EQ(read_(connectionId_, 1, 0, buffer_, &count), 1u) << "the object stays failed";
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(end_(connectionId_, 0), 26u) << "ended as a success, it is not one";
    EXPECT_EQ(processesNamed("ckpdb.exe"), 0);
    EXPECT_TRUE(noProcessNamedWithin("siphon.exe", 10000));
    EXPECT_EQ(readWholeFile(agent_->path("ckpdbBDheld.out")).find("completed."), std::string::npos)
        << "a checkpoint was recorded";
    EXPECT_NE(readWholeFile(agent_->path("ferryman.log")).find(path), std::string::npos)
        << "the activity log names the file";
  }
  {
    SCOPED_TRACE("a journal held without sharing, option 0x10");
    const std::string jnl = ingsim::journalFolder(installation_->root(), "held");
    ferry::UniqueFile held(CreateFileA((jnl + "\\j0000002.jnl").c_str(), GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    ASSERT_EQ(begin("~JOURNAL OF DATABASE held", 0x10), 0u);
    StreamObject journals = readObject();
    EXPECT_EQ(journals.failure, 1u);
    EXPECT_EQ(end_(connectionId_, 0), 26u);
    held.reset();
    for (const char* name : {"j0000001.jnl", "j0000002.jnl", "j0000003.jnl"}) {
      EXPECT_TRUE(fileExists(jnl + "\\" + name)) << name << " deleted";
    }
  }
}

// Whatever goes wrong in the checkpoint run or its extractor fails the backup where the server
// sees it, and leaves neither a checkpoint nor a process behind.
TEST_F(Backup, FailuresOfTheCheckpointRunAndItsExtractorFailTheBackup) {
  ASSERT_NO_FATAL_FAILURE(install("BG"));
  const std::string second = area("area2");
  ingsim::DatabaseOptions db;
  db.name = "faulty";
  db.locations = {{"", {{"aaaaaaab.t00", 300000}, {"aaaaaaac.t00", 3000}}},
                  {second, {{"aaaaaaad.t00", 7000}}}};
  ASSERT_EQ(ingsim::addDatabase("BG", db), "");
  ScopedAgentSettings settings("BG");
  ASSERT_EQ(settings.setDebug(1), 0);
  ASSERT_NO_FATAL_FAILURE(connect());
  const std::string checkpointOutput = agent_->path("ckpdbBGfaulty.out");
  auto noCheckpoint = [&] {
    EXPECT_TRUE(noProcessNamedWithin("ckpdb.exe", 10000)) << "ckpdb outlived the backup";
    EXPECT_TRUE(noProcessNamedWithin("siphon.exe", 10000)) << "an extractor outlived the backup";
    EXPECT_EQ(readWholeFile(checkpointOutput).find("completed."), std::string::npos);
  };
  {
    SCOPED_TRACE("ckpdb fails after its last location");
    ASSERT_EQ(ingsim::setVariable("BG", "II_SIM_FAIL_STEP", "ESDD"), "");
    ASSERT_EQ(begin("faulty.DATA", 0), 0u);
    StreamObject data = readObject();
    EXPECT_TRUE(data.ended) << data.failure;
    EXPECT_EQ(data.files.size(), 3u);
    EXPECT_EQ(end_(connectionId_, 0), 1u) << "the checkpoint it belongs to failed";
    noCheckpoint();
  }
  {
    SCOPED_TRACE("ckpdb fails before the second location");
    ASSERT_EQ(ingsim::setVariable("BG", "II_SIM_FAIL_STEP", "PSDD:2"), "");
    ASSERT_EQ(begin("faulty.DATA", 0), 0u);
    StreamObject data = readObject();
    EXPECT_EQ(data.failure, 24u);
    EXPECT_EQ(data.files.size(), 2u) << "the first location only";
    EXPECT_EQ(end_(connectionId_, data.failure), 0u);
    noCheckpoint();
    ASSERT_EQ(ingsim::setVariable("BG", "II_SIM_FAIL_STEP", ""), "");
  }
  {
    SCOPED_TRACE("the extractor killed in the middle of its location");
    // The begin has read the location's first record: its extractor is connected and listing.
    ASSERT_EQ(begin("faulty.DATA", 0), 0u);
    EXPECT_GE(terminateProcesses("siphon.exe"), 1);
    StreamObject data = readObject();
    EXPECT_EQ(data.failure, 24u) << "the rest of the backup cannot be whole";
    EXPECT_EQ(end_(connectionId_, 0), 26u);
    noCheckpoint();
  }
  {
    SCOPED_TRACE("a disconnect in the middle of the backup");
    ASSERT_EQ(begin("faulty.DATA", 0), 0u);
    uint32_t count = kBufferSize;
    ASSERT_EQ(read_(connectionId_, 1, 0, buffer_, &count), 0u);
    EXPECT_EQ(disconnect_(connectionId_), 0u);
    connectionId_ = 0;
    noCheckpoint();
  }
}

TEST_F(Backup, EndInTheMiddleReleasesTheRunAndTheNextBackupIsWhole) {
  ASSERT_NO_FATAL_FAILURE(install("BF"));
  const std::string second = area("area2");
  ingsim::DatabaseOptions db;
  db.name = "cut";
  db.locations = {{"", {{"aaaaaaab.t00", 200000}, {"aaaaaaac.t00", 3000}}},
                  {second, {{"aaaaaaad.t00", 7000}}}};
  ASSERT_EQ(ingsim::addDatabase("BF", db), "");
  ASSERT_NO_FATAL_FAILURE(connect());

  ASSERT_EQ(begin("cut.DATA", 0), 0u);
  uint32_t count = kBufferSize;
  ASSERT_EQ(read_(connectionId_, 1, 0, buffer_, &count), 0u);
  ASSERT_EQ(count, header::kSize);
  count = kBufferSize;
  ASSERT_EQ(read_(connectionId_, 1, 0, buffer_, &count), 0u);
  // The server gives up in the middle of the first file.
  EXPECT_EQ(end_(connectionId_, 1), 0u);
  EXPECT_EQ(processesNamed("ckpdb.exe"), 0) << "the checkpoint run outlived its backup";
  // The released extractor is on its way out; it must not wait for anything any more.
  EXPECT_TRUE(noProcessNamedWithin("siphon.exe", 10000)) << "an extractor outlived its backup";

  ASSERT_EQ(begin("cut.DATA", 0), 0u);
  StreamObject data = readObject();
  EXPECT_EQ(data.failure, 0u);
  EXPECT_TRUE(data.ended);
  EXPECT_EQ(data.files.size(), 3u);
  for (const StreamFile& file : data.files) {
    EXPECT_TRUE(file.bytes == fileBytes(file.path)) << file.path;
  }
  EXPECT_EQ(end_(connectionId_, 0), 0u);
}

TEST_F(Backup, ExtractorThatNeverConnectsTimesOutAndEndsTheCheckpoint) {
  ASSERT_NO_FATAL_FAILURE(install("BE", "ag_hang_utility.exe"));
  ingsim::DatabaseOptions db;
  db.name = "silent";
  db.journaled = true;
  db.journalFiles = 1;
  ASSERT_EQ(ingsim::addDatabase("BE", db), "");
  ASSERT_NO_FATAL_FAILURE(connect());
  ASSERT_EQ(begin("silent.DATA", 0), 300u);
  EXPECT_EQ(processesNamed("ckpdb.exe"), 0) << "ckpdb left running";
  EXPECT_EQ(end_(connectionId_, 0), 9u) << "the failed begin left a backup begun";
  // Nothing of the failed begin stays in the way of the next object; ended as a success without
  // having been read, that object reports its backup incomplete.
  EXPECT_EQ(begin("~JOURNAL OF DATABASE silent", 0), 0u);
  EXPECT_EQ(end_(connectionId_, 0), 26u);
}

// Whoever reaches the extractor pipe before the run's siphon, at the start or at a change of
// location, is turned away before anything of it is read: the backup holds exactly the files of
// the database's locations.
TEST_F(Backup, ForeignClientOnTheExtractorPipeIsTurnedAway) {
  ASSERT_NO_FATAL_FAILURE(install("BH"));
  const std::string second = area("area2");
  ingsim::DatabaseOptions db;
  db.name = "guarded";
  db.locations = {{"", {{"aaaaaaab.t00", 5000}}}, {second, {{"aaaaaaac.t00", 7000}}}};
  ASSERT_EQ(ingsim::addDatabase("BH", db), "");
  ScopedAgentSettings settings("BH");
  ASSERT_EQ(settings.setDebug(1), 0);
  ASSERT_NO_FATAL_FAILURE(connect());
  const std::string pipe = std::string(kExtractorPipePrefix) + "BHguarded";
  const std::string planted = installation_->root() + "\\planted.txt";
  std::ofstream(planted) << "not of the database";  // real, so that delivering it would show
  std::atomic<bool> done{false}, firstLocationHeld{false};
  std::atomic<int> admittedRecords{0}, connects{0};
  // Reaches the pipe before the run's siphon: once as soon as the pipe exists, and once the moment
  // the agent lets the first location's siphon go. Each time it offers a file of its own.
  std::thread intruder([&] {
    while (!done && connects < 2) {
      if (connects == 1 && !firstLocationHeld) {
        Sleep(1);
        continue;
      }
      ferry::UniqueFile client(CreateFileA(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
      if (!client) {
        Sleep(1);
        continue;
      }
      ++connects;
      OidbMsg name = makeOidbMsg(OIDBMSGTYPE_CKPDB_NAME, "", "c9999001.ckp");
      OidbMsg file = makeOidbMsg(OIDBMSGTYPE_FILE_NAME, planted, "c9999001.ckp");
      DWORD bytes = 0;
      WriteFile(client.get(), &name, sizeof name, &bytes, nullptr);
      WriteFile(client.get(), &file, sizeof file, &bytes, nullptr);
      OidbMsg reply{};
      if (ReadFile(client.get(), &reply, sizeof reply, &bytes, nullptr)) ++admittedRecords;
    }
  });
  const uint32_t begun = begin("guarded.DATA", 0);
  firstLocationHeld = true;  // the begin returns once the first siphon is on the pipe
  StreamObject data = begun == 0 ? readObject() : StreamObject{};
  done = true;
  intruder.join();
  ASSERT_EQ(begun, 0u);
  EXPECT_TRUE(data.ended) << data.failure << " " << data.fault;
  EXPECT_EQ(connects.load(), 2)
      << "the intruder did not reach the pipe at the start and at the change";
  EXPECT_EQ(admittedRecords.load(), 0) << "the intruder was sent a record";
  std::vector<std::string> paths;
  for (const StreamFile& file : data.files) paths.push_back(file.path);
  const std::vector<std::string> expected = {
      ingsim::dataFolder(installation_->root(), "guarded") + "\\aaaaaaab.t00",
      ingsim::dataFolder(second, "guarded") + "\\aaaaaaac.t00"};
  EXPECT_EQ(paths, expected);
  EXPECT_EQ(end_(connectionId_, 0), 0u);
  EXPECT_NE(readWholeFile(agent_->path("ferryman.log")).find("not the run's extractor"),
            std::string::npos);
}

// One data run per installation: a second connection's is refused while the first runs, which
// completes; and the second connection's disconnect leaves the first run's template alone.
TEST_F(Backup, SecondDataRunOfTheInstallationIsRefusedWhileTheFirstCompletes) {
  ASSERT_NO_FATAL_FAILURE(install("BI"));
  ingsim::DatabaseOptions one, two;
  one.name = "first";
  one.locations = {{"", {{"aaaaaaab.t00", 3000}}}};
  two.name = "second";
  ASSERT_EQ(ingsim::addDatabase("BI", one), "");
  ASSERT_EQ(ingsim::addDatabase("BI", two), "");
  ScopedAgentSettings settings("BI");
  ASSERT_EQ(settings.setDebug(1), 0);
  ASSERT_NO_FATAL_FAILURE(connect());
  uint32_t other = 0;
  ASSERT_EQ(connect_(0, "server@BI", "ingres", "pw-BI", &other), 0u);
  ASSERT_EQ(begin("first.DATA", 0), 0u);
  std::vector<char> name = {'s', 'e', 'c', 'o', 'n', 'd', '.', 'D', 'A', 'T', 'A', '\0'};
  uint32_t id = 0, remote = 0;
  EXPECT_EQ(begin_(other, name.data(), 0, &id, &remote), 32u) << "the installation is busy";
  EXPECT_EQ(disconnect_(other), 0u);
  EXPECT_NE(traceTail().find("II_CKTMPL_FILE is left set"), std::string::npos);
  StreamObject data = readObject();
  EXPECT_TRUE(data.ended) << data.failure;
  EXPECT_EQ(data.files.size(), 1u);
  EXPECT_EQ(end_(connectionId_, 0), 0u);
  {
    SCOPED_TRACE("begun on a thread that lives on and ended on another, the run lets go");
    std::atomic<bool> returned{false}, release{false};
    std::atomic<uint32_t> begun{0};
    std::thread beginner([&] {
      begun = begin("second.DATA", 0);
      returned = true;
      while (!release) Sleep(10);
    });
    while (!returned) Sleep(10);
    StreamObject second = begun == 0 ? readObject() : StreamObject{};
    const uint32_t ended = end_(connectionId_, 0);
    const uint32_t again = begun == 0 ? begin("first.DATA", 0) : 1;
    release = true;
    beginner.join();
    ASSERT_EQ(begun.load(), 0u);
    EXPECT_TRUE(second.ended);
    EXPECT_EQ(ended, 0u);
    ASSERT_EQ(again, 0u) << "the installation stayed busy";
    EXPECT_TRUE(readObject().ended);
    EXPECT_EQ(end_(connectionId_, 0), 0u);
  }
}

FERRY_CHILD_ROLE(backup_and_hang) {
  // argv: <agent path> <installation code>
  if (argc < 2) return 2;
  HMODULE agent = LoadLibraryA(argv[0]);
  if (agent == nullptr) return 3;
  auto connect = bound<PFN_DSAConnectAgent>(agent, "DSAConnectAgent");
  auto begin = bound<PFN_DSABeginBackup>(agent, "DSABeginBackup");
  auto read = bound<PFN_DSARead>(agent, "DSARead");
  uint32_t id = 0;
  const std::string code = argv[1];
  if (connect(0, ("server@" + code).c_str(), "ingres", ("pw-" + code).c_str(), &id) != 0) return 4;
  char name[] = "killed.DATA";
  uint32_t backupId = 0, remote = 0;
  if (begin(id, name, 0, &backupId, &remote) != 0) return 5;
  void* buffer = VirtualAlloc(nullptr, kBufferSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  uint32_t count = kBufferSize;
  if (read(id, backupId, 0, buffer, &count) != 0) return 6;
  if (HANDLE reading = OpenEventA(EVENT_MODIFY_STATE, FALSE, "ferrytest_backup_reading")) {
    SetEvent(reading);
  }
  Sleep(INFINITE);  // killed here
  return 0;
}

// The backup server's host dies in the middle of a backup: its extractor and checkpoint run do
// not outlive it (nothing else holds their pipe), and the next backup of the database succeeds.
TEST_F(Backup, HostKilledInTheMiddleLeavesNothingBehind) {
  ASSERT_NO_FATAL_FAILURE(install("BJ"));
  ingsim::DatabaseOptions db;
  db.name = "killed";
  db.locations = {{"", {{"aaaaaaab.t00", 300000}, {"aaaaaaac.t00", 1000}}}};
  ASSERT_EQ(ingsim::addDatabase("BJ", db), "");
  ferry::UniqueHandleNull reading(CreateEventA(nullptr, TRUE, FALSE, "ferrytest_backup_reading"));
  ASSERT_TRUE(reading);
  std::string commandLine =
      "\"" + selfPath() + "\" --child backup_and_hang \"" + agent_->path("ferryman.dll") + "\" BJ";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &started))
      << GetLastError();
  ferry::UniqueHandleNull host(started.hProcess);
  ferry::UniqueHandleNull thread(started.hThread);
  HANDLE waits[] = {reading.get(), host.get()};
  ASSERT_EQ(WaitForMultipleObjects(2, waits, FALSE, 60000), WAIT_OBJECT_0)
      << "the host did not get to its first read";
  ASSERT_TRUE(TerminateProcess(host.get(), 9));
  WaitForSingleObject(host.get(), 10000);
  EXPECT_TRUE(noProcessNamedWithin("siphon.exe", 30000)) << "an extractor outlived its host";
  EXPECT_TRUE(noProcessNamedWithin("ckpdb.exe", 30000)) << "ckpdb outlived its host";
  ASSERT_NO_FATAL_FAILURE(connect());
  ASSERT_EQ(begin("killed.DATA", 0), 0u);
  StreamObject data = readObject();
  EXPECT_TRUE(data.ended) << data.failure;
  EXPECT_EQ(data.files.size(), 2u);
  EXPECT_EQ(end_(connectionId_, 0), 0u);
}

// ---------------------------------------------------------------------------------------------
// Remote backups: the media side's end of the remote pipe.

namespace remote_side {

// What a media side took from the remote pipe, and how the pipe ended.
struct Taken {
  std::vector<std::vector<unsigned char>> messages;
  DWORD openError = 0;
  DWORD endError = 0;
  std::vector<std::string> daclSids;  // the pipe's DACL, as SID texts
};

std::string sidText(PSID sid) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "?";
  std::string result = text;
  LocalFree(text);
  return result;
}

// The SID text of the account this process runs as.
std::string processUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "?";
  ferry::UniqueHandleNull owned(token);
  std::vector<unsigned char> buffer(512);
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                           &size)) {
    return "?";
  }
  return sidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

// Opens the pipe as a client and reads its messages until it ends, or until `keep` messages
// were read (then it lets go in the middle of the stream).
Taken takeStream(const std::string& name, size_t keep = SIZE_MAX) {
  Taken taken;
  HANDLE pipe = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 500 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
    pipe = CreateFileA(name.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                       OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
      taken.openError = GetLastError();
      Sleep(20);
    }
  }
  if (pipe == INVALID_HANDLE_VALUE) return taken;
  taken.openError = 0;
  ferry::UniqueFile owned(pipe);
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                      nullptr, &descriptor) == ERROR_SUCCESS &&
      dacl != nullptr) {
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      void* ace = nullptr;
      if (GetAce(dacl, i, &ace) &&
          static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE) {
        taken.daclSids.push_back(sidText(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart));
      }
    }
  }
  if (descriptor != nullptr) LocalFree(descriptor);
  std::vector<unsigned char> buffer(70000);
  while (taken.messages.size() < keep) {
    DWORD got = 0;
    if (!ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      taken.endError = GetLastError();
      break;
    }
    taken.messages.emplace_back(buffer.begin(), buffer.begin() + got);
  }
  return taken;
}

bool isMarker(const std::vector<unsigned char>& message) {
  return message.size() == remote::kEndMarkerSize &&
         std::memcmp(message.data(), remote::kEndOfSubstream, remote::kEndMarkerSize) == 0;
}

// One file of the remote stream: its header and the sizes of its data messages.
struct RemoteFile {
  std::vector<unsigned char> header;
  std::vector<unsigned char> bytes;
  std::vector<size_t> messageSizes;
  bool ended = false;  // its end marker came
};

// The files of a remote stream whose first header DSARead returned.
std::vector<RemoteFile> filesOf(const std::vector<unsigned char>& firstHeader,
                                const std::vector<std::vector<unsigned char>>& messages,
                                std::string* fault) {
  std::vector<RemoteFile> files(1);
  files[0].header = firstHeader;
  for (const std::vector<unsigned char>& message : messages) {
    RemoteFile& file = files.back();
    if (file.ended) {
      if (message.size() != header::kSize || !header::hasMagic(message.data())) {
        *fault = "a message of " + std::to_string(message.size()) + " bytes after an end marker";
        return files;
      }
      files.push_back({message, {}, {}, false});
    } else if (isMarker(message)) {
      file.ended = true;
    } else {
      file.bytes.insert(file.bytes.end(), message.begin(), message.end());
      file.messageSizes.push_back(message.size());
    }
  }
  return files;
}

}  // namespace remote_side

// A remote backup of three locations: a zero-length file (header, end marker, no data), a
// location without files (passed at once), a file whose last chunk equals the end marker (sent
// in two messages, so that it cannot be taken for the marker; the file is longer than the
// agent's reads of a megabyte, so that the split comes in its second read); every byte as on disk;
// the pipe lets in SYSTEM, the Administrators, the connection's account and the setting's accounts.
TEST_F(Backup, RemoteBackupStreamsEveryFileThroughThePipe) {
  using namespace remote_side;
  ASSERT_NO_FATAL_FAILURE(install("BR"));
  const std::string empty = area("loc2");
  const std::string third = area("loc3");
  ingsim::DatabaseOptions db;
  db.name = "remote";
  db.locations = {{"", {{"aaaaaaab.t00", 70000}, {"aaaaaaac.t00", 0}}},
                  {empty, {}},
                  {third, {{"aaaaaaad.t00", 17 * 65536 + remote::kEndMarkerSize}}}};
  ASSERT_EQ(ingsim::addDatabase("BR", db), "");
  const std::string tricky = ingsim::dataFolder(third, "remote") + "\\aaaaaaad.t00";
  {
    std::string content = readWholeFile(tricky);
    content.replace(content.size() - remote::kEndMarkerSize, remote::kEndMarkerSize,
                    remote::kEndOfSubstream, remote::kEndMarkerSize);
    std::ofstream(tricky, std::ios::binary | std::ios::trunc) << content;
  }
  char user[256] = "";
  DWORD userSize = sizeof user;
  ASSERT_TRUE(GetUserNameA(user, &userSize));
  ScopedAgentSettings settings("BR");
  ASSERT_EQ(settings.setDebug(1), 0);
  ASSERT_EQ(settings.setText("RemotePipeAccounts", std::string(user) + "; nosuchaccount"), 0);
  ASSERT_NO_FATAL_FAILURE(connect());

  uint32_t backupId = 0;
  ASSERT_EQ(begin("remote.DATA", DSA_OPTION_REMOTE, &backupId), 0u);
  Taken taken;
  std::thread media([&] {
    taken = takeStream(remote::pipeName("BR", static_cast<int>(backupId), connectionId_));
  });
  uint32_t count = kBufferSize;
  const uint32_t first = read_(connectionId_, backupId, 0, buffer_, &count);
  std::vector<unsigned char> firstHeader(buffer_, buffer_ + (first == 0 ? count : 0));
  media.join();
  ASSERT_EQ(first, 0u);
  ASSERT_EQ(firstHeader.size(), header::kSize);
  count = 12345;
  EXPECT_EQ(read_(connectionId_, backupId, 0, buffer_, &count), 0u) << "after the stream";
  EXPECT_EQ(count, 12345u) << "later reads return no data";
  EXPECT_EQ(end_(connectionId_, 0), 0u) << "the checkpoint is complete";
  EXPECT_EQ(taken.openError, 0u);
  EXPECT_EQ(taken.endError, static_cast<DWORD>(ERROR_BROKEN_PIPE)) << "closed after the last";

  std::string fault;
  std::vector<RemoteFile> files = filesOf(firstHeader, taken.messages, &fault);
  ASSERT_EQ(fault, "");
  std::map<std::string, RemoteFile> byPath;
  const std::string checkpoint(header::checkpointOf(firstHeader.data()));
  EXPECT_FALSE(checkpoint.empty());
  for (const RemoteFile& file : files) {
    EXPECT_TRUE(file.ended) << "every file ends with the marker";
    EXPECT_EQ(header::checkpointOf(file.header.data()), checkpoint);
    for (size_t size : file.messageSizes) EXPECT_LE(size, remote::kBackupMessageSize);
    byPath[std::string(header::pathOf(file.header.data()))] = file;
  }
  const std::string home = ingsim::dataFolder(installation_->root(), "remote");
  const std::vector<std::string> expected = {home + "\\aaaaaaab.t00", home + "\\aaaaaaac.t00",
                                             tricky};
  ASSERT_EQ(files.size(), expected.size());
  EXPECT_EQ(std::string(header::pathOf(files.back().header.data())), tricky)
      << "the third location after the empty one";
  for (const std::string& path : expected) {
    ASSERT_EQ(byPath.count(path), 1u) << path;
    EXPECT_EQ(byPath[path].bytes, fileBytes(path)) << path;
  }
  EXPECT_TRUE(byPath[home + "\\aaaaaaac.t00"].messageSizes.empty()) << "no data message";
  std::vector<size_t> trickySizes(17, 65536);
  trickySizes.insert(trickySizes.end(), {remote::kEndMarkerSize - 1, 1});
  EXPECT_EQ(byPath[tricky].messageSizes, trickySizes);

  const std::string userSid = processUserSid();
  std::multiset<std::string> sids(taken.daclSids.begin(), taken.daclSids.end());
  EXPECT_EQ(sids.count("S-1-5-18"), 1u) << "SYSTEM";
  EXPECT_EQ(sids.count("S-1-5-32-544"), 1u) << "Administrators";
  EXPECT_EQ(sids.count(userSid), 2u) << "the connection's account and the setting's";
  EXPECT_EQ(sids.size(), 4u) << "nobody else";
  EXPECT_NE(readWholeFile(agent_->path("ferryman.log")).find("nosuchaccount"), std::string::npos);
}

// A media side that never opens the pipe, or lets go in the middle: the object fails (34, 33),
// its checkpoint is not completed (26 at the end), and nothing of the run is left running.
TEST_F(Backup, RemoteClientThatNeverComesOrLetsGoFailsTheObject) {
  using namespace remote_side;
  ASSERT_NO_FATAL_FAILURE(install("BS"));
  ingsim::DatabaseOptions db;
  db.name = "cut";
  db.locations = {{"", {{"aaaaaaab.t00", 2 << 20}, {"aaaaaaac.t00", 1000}}}};
  ASSERT_EQ(ingsim::addDatabase("BS", db), "");
  auto setLimits = reinterpret_cast<void (*)(DWORD, DWORD)>(
      reinterpret_cast<void*>(GetProcAddress(agent_->module(), "FerryTestSetRemoteWaitLimits")));
  ASSERT_NE(setLimits, nullptr);
  setLimits(/*connectMs=*/2000, /*stallMs=*/0);
  ASSERT_NO_FATAL_FAILURE(connect());
  // The code a failed remote stream leaves for the reads after the first, within `waitMs`.
  auto laterReadResult = [&](uint32_t backupId, DWORD waitMs) {
    for (DWORD waited = 0;; waited += 100) {
      uint32_t count = kBufferSize;
      const uint32_t result = read_(connectionId_, backupId, 0, buffer_, &count);
      if (result != 0 || waited >= waitMs) return result;
      Sleep(100);
    }
  };
  auto nothingLeftRunning = [&] {
    EXPECT_TRUE(noProcessNamedWithin("siphon.exe", 30000));
    EXPECT_TRUE(noProcessNamedWithin("ckpdb.exe", 30000));
  };
  {
    SCOPED_TRACE("no client opens the pipe");
    uint32_t backupId = 0;
    ASSERT_EQ(begin("cut.DATA", DSA_OPTION_REMOTE, &backupId), 0u);
    uint32_t count = kBufferSize;
    ASSERT_EQ(read_(connectionId_, backupId, 0, buffer_, &count), 0u);
    EXPECT_EQ(laterReadResult(backupId, 20000), 34u);
    EXPECT_EQ(end_(connectionId_, 0), 26u);
    nothingLeftRunning();
  }
  {
    SCOPED_TRACE("the client lets go after two messages");
    uint32_t backupId = 0;
    ASSERT_EQ(begin("cut.DATA", DSA_OPTION_REMOTE, &backupId), 0u);
    Taken taken;
    std::thread media([&] {
      taken = takeStream(remote::pipeName("BS", static_cast<int>(backupId), connectionId_), 2);
    });
    uint32_t count = kBufferSize;
    const uint32_t first = read_(connectionId_, backupId, 0, buffer_, &count);
    media.join();
    ASSERT_EQ(first, 0u);
    EXPECT_EQ(taken.messages.size(), 2u);
    EXPECT_EQ(laterReadResult(backupId, 20000), 33u);
    EXPECT_EQ(end_(connectionId_, 0), 26u);
    nothingLeftRunning();
  }
}

}  // namespace
}  // namespace ferry::test
