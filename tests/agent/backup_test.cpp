// Backups through the exported entry points against a simulated installation: the data stream
// of a two-location database (with the simulated ckpdb and the real extractor), journal and
// configuration objects, the journal clean-up, and the calls that must begin nothing.
#include <windows.h>
// After windows.h, which they need.
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

#include "backup_fixture.h"
#include "ferryman.h"
#include "ingsim/installation.h"
#include "object_header.h"
#include "oidb_msg.h"
#include "support/child_role.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

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

// The server writes the installation code in whatever case it likes; every name the agent
// builds from it takes Ingres' spelling, so "bl" and "BL" are one installation.
TEST_F(Backup, InstallationCodeInLowerCaseIsTheSameInstallation) {
  ASSERT_NO_FATAL_FAILURE(install("BL"));
  ingsim::DatabaseOptions db;
  db.name = "lower";
  db.locations = {{"", {{"aaaaaaab.t00", 5000}}}};
  ASSERT_EQ(ingsim::addDatabase("BL", db), "");
  ScopedAgentSettings settings("BL");
  ASSERT_EQ(settings.setDebug(1), 0);
  ASSERT_EQ(connect_(0, "server@bl", "ingres", "pw-BL", &connectionId_), 0u);
  uint32_t upper = 0;
  ASSERT_EQ(connect_(0, "server@BL", "ingres", "pw-BL", &upper), 0u);
  ASSERT_EQ(begin("lower.DATA", 0), 0u) << traceTail();
  {
    SCOPED_TRACE("while it runs, its run lock is the installation's, under the one spelling");
    UniqueHandleNull lock(OpenSemaphoreA(SYNCHRONIZE, FALSE, "ferryman_datarun_BL"));
    EXPECT_TRUE(lock.valid()) << "error " << GetLastError();
    std::vector<char> name = {'l', 'o', 'w', 'e', 'r', '.', 'D', 'A', 'T', 'A', '\0'};
    uint32_t id = 0, remote = 0;
    EXPECT_EQ(begin_(upper, name.data(), 0, &id, &remote), DSA_ERROR_INSTALLATION_BUSY)
        << "BL is the installation that bl already backs up";
  }
  StreamObject data = readObject();
  EXPECT_TRUE(data.ended) << data.failure << " " << data.fault;
  ASSERT_EQ(data.files.size(), 1u);
  EXPECT_EQ(data.files[0].bytes.size(), 5000u);
  EXPECT_EQ(end_(connectionId_, 0), 0u);
  EXPECT_EQ(disconnect_(upper), 0u);
  const std::string trace = traceTail();
  EXPECT_NE(trace.find("\\\\.\\pipe\\TIDBLlower"), std::string::npos) << trace;
  EXPECT_NE(trace.find("\nBL-"), std::string::npos) << "lines are tagged BL";
  EXPECT_EQ(trace.find("\nbl-"), std::string::npos) << trace;
}

// What another account placed first under a name the backup uses is never used: a semaphore
// of the installation's run lock's name, a second name of a file elsewhere under the name of the
// checkpoint run's output file.
TEST_F(Backup, NamesPlacedFirstByAnotherAreNeverUsed) {
  ASSERT_NO_FATAL_FAILURE(install("BF"));
  ingsim::DatabaseOptions db;
  db.name = "fixed";
  db.locations = {{"", {{"aaaaaaab.t00", 3000}}}};
  ASSERT_EQ(ingsim::addDatabase("BF", db), "");
  ASSERT_NO_FATAL_FAILURE(connect());
  const std::string log = agent_->path("ferryman.log");
  const std::string output = agent_->path("ckpdbBFfixed.out");
  {
    SCOPED_TRACE("the run lock made first by another account: 15, no checkpoint started");
    ForeignSecurity foreign;
    UniqueHandleNull squatter(CreateSemaphoreA(foreign.attributes(), 1, 1, "ferryman_datarun_BF"));
    ASSERT_TRUE(squatter.valid()) << "error " << GetLastError();
    EXPECT_EQ(begin("fixed.DATA", 0), DSA_ERROR_FOREIGN_OBJECT);
    EXPECT_NE(readWholeFile(log).find("-BF-The named object ferryman_datarun_BF exists already "
                                      "and belongs to another account; it was not used.\r\n"),
              std::string::npos)
        << readWholeFile(log);
    EXPECT_FALSE(fileExists(output)) << "the checkpoint was started";
  }
  {
    SCOPED_TRACE("a second name of another file as the checkpoint's output: 16, not written");
    const std::string elsewhere = installation_->root() + "\\elsewhere.txt";
    {
      UniqueFile file(
          CreateFileA(elsewhere.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      DWORD written = 0;
      ASSERT_TRUE(file && WriteFile(file.get(), "kept", 4, &written, nullptr));
    }
    ASSERT_TRUE(CreateHardLinkA(output.c_str(), elsewhere.c_str(), nullptr))
        << "error " << GetLastError();
    EXPECT_EQ(begin("fixed.DATA", 0), DSA_ERROR_LINK_REFUSED);
    EXPECT_EQ(readWholeFile(elsewhere), "kept");
    EXPECT_NE(readWholeFile(log).find("-BF-The file " + output +
                                      " is a link or reparse point, or has a second name; the "
                                      "agent did not write through it.\r\n"),
              std::string::npos)
        << readWholeFile(log);
    ASSERT_TRUE(DeleteFileA(output.c_str())) << GetLastError();
  }
  {
    SCOPED_TRACE("with the names free the backup runs whole, its run lock with the agent's DACL");
    ASSERT_EQ(begin("fixed.DATA", 0), 0u);
    UniqueHandleNull lock(OpenSemaphoreA(READ_CONTROL, FALSE, "ferryman_datarun_BF"));
    EXPECT_EQ(kernelObjectDacl(lock.get()), agentObjectDacl());
    StreamObject data = readObject();
    EXPECT_TRUE(data.ended) << data.failure << " " << data.fault;
    EXPECT_EQ(data.files.size(), 1u);
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
  AlignedBuffer buffer(kBufferSize);
  uint32_t count = kBufferSize;
  if (read(id, backupId, 0, buffer.data(), &count) != 0) return 6;
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

}  // namespace
}  // namespace ferry::test
