// The restore flow: DSABeginRestore / DSAWrite / DSAEndRestore against simulated installations,
// with the simulated rollforwarddb and siphon for data restores. The tests build the restore stream
// themselves: per file a 1024-byte object header and the data blocks, one session per file.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/restore_names.h"
#include "ferryman.h"
#include "ingsim/installation.h"
#include "object_header.h"
#include "restore_fixture.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

constexpr uint32_t kOverwriteJournals = 0x200;
constexpr uint32_t kPointInTime = 0x800;
constexpr uint32_t kKeepConfiguration = 0x2000;

std::set<std::string> namesIn(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA entry;
  UniqueFind search(FindFirstFileA((folder + "\\*").c_str(), &entry));
  if (!search) return names;
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") names.insert(name);
  } while (FindNextFileA(search.get(), &entry));
  return names;
}

std::string joined(const std::set<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += "[" + name + "]";
  return text;
}

size_t occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// Every file of both locations comes back byte for byte; rollforwarddb ran each location's
// siphon in step and ended; the only file more is the end marker in the last location.
TEST_F(Restore, DataRoundTripOfTwoLocations) {
  ingsim::DatabaseOptions db;
  db.name = "rtdb";
  db.journaled = true;
  db.checkpointSequence = 1;
  db.journalFiles = 2;
  const std::vector<std::pair<std::string, size_t>> first = {
      {"aaaaaaab.t00", 1024},  {"aaaaaaac.t00", 0},     {"aaaaaaad.t00", 1},
      {"aaaaaaae.t00", 1023},  {"aaaaaaaf.t00", 1025},  {"aaaaaaag.t00", 65535},
      {"aaaaaaah.t00", 65536}, {"aaaaaaai.t00", 65537}, {"aaaaaaaj.t00", 3 * 1048576 + 7}};
  const std::vector<std::pair<std::string, size_t>> second = {
      {"aaaaaaba.t00", 0}, {"aaaaaabb.t00", 1024}, {"aaaaaabc.t00", 70000}};
  ingsim::DataLocation one, two;
  for (const auto& [name, size] : first) one.files.push_back({name, size});
  two.area = "C:\\ferrytest\\RA\\area2";
  for (const auto& [name, size] : second) two.files.push_back({name, size});
  db.locations = {one, two};
  ASSERT_NO_FATAL_FAILURE(install("RA", db));
  const std::vector<std::string> folders = {ingsim::dataFolder(root(), "rtdb"),
                                            ingsim::dataFolder(two.area, "rtdb")};

  // The stream: every file as the backup would return it, read before the files are spoilt.
  std::vector<RestoredFile> stream;
  for (size_t location = 0; location < folders.size(); ++location) {
    for (const auto& [name, size] : location == 0 ? first : second) {
      const std::string path = folders[location] + "\\" + name;
      stream.push_back({path, readWholeFile(path)});
      ASSERT_EQ(stream.back().content.size(), size) << path;
    }
  }
  for (const RestoredFile& file : stream) {
    HANDLE handle = CreateFileA(file.path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    const UniqueFile owned(handle);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << file.path;
  }
  // rollforwarddb empties each location before its siphon runs: a stray file goes too.
  {
    HANDLE stray = CreateFileA((folders[1] + "\\stray.tmp").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const UniqueFile owned(stray);
    ASSERT_NE(stray, INVALID_HANDLE_VALUE);
  }

  const uint32_t id = connect();
  ASSERT_NE(id, 0u);
  for (const RestoredFile& file : stream) {
    // 0x800 without a point in time: no end time reaches rollforwarddb.
    ASSERT_EQ(restoreFile(id, "rtdb.DATA", kPointInTime, file), 0u) << file.path;
  }
  disconnect(id);
  ASSERT_TRUE(waitForRollForward(60000)) << "rollforwarddb did not end";

  EXPECT_EQ(readWholeFile(agentFile("rollerr")), "");
  const std::string output = readWholeFile(agentFile("roll"));
  EXPECT_NE(output.find("Roll forward of database rtdb from checkpoint 1 completed."),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("Applied journal files"), std::string::npos) << output;
  EXPECT_EQ(output.find(" up to "), std::string::npos) << "an end time without a point in time";
  for (const RestoredFile& file : stream) {
    EXPECT_TRUE(readWholeFile(file.path) == file.content)
        << file.path << ": " << readWholeFile(file.path).size() << " bytes, expected "
        << file.content.size();
  }
  std::set<std::string> expectedFirst, expectedSecond = {"zzzz0001.ali"};
  for (const auto& entry : first) expectedFirst.insert(entry.first);
  for (const auto& entry : second) expectedSecond.insert(entry.first);
  EXPECT_EQ(joined(namesIn(folders[0])), joined(expectedFirst));
  EXPECT_EQ(joined(namesIn(folders[1])), joined(expectedSecond));
  EXPECT_EQ(readWholeFile(folders[1] + "\\zzzz0001.ali"), "");
  const std::string log = trace();
  EXPECT_EQ(occurrences(log, "DSAWrite(): a new location "), 1u);
  EXPECT_EQ(occurrences(log, "DSADisconnectAgent(): WriteFile() successful"), 1u)
      << "the last location's siphon is released at disconnect";
}

// A location whose files come in two runs around another location's: the point in time reaches
// the roll forward, but once the extractor of a location has been released the roll forward has
// passed it, so a file for it is refused and the restore fails without being finalised.
TEST_F(Restore, LocationRevisitedAfterItsReleaseIsRefusedAndTheRestoreFails) {
  ingsim::DatabaseOptions db;
  db.name = "abadb";
  db.journaled = true;
  db.checkpointSequence = 3;
  db.journalFiles = 1;
  ingsim::DataLocation one, two;
  one.files = {{"aaaaaaab.t00", 100}};
  two.area = "C:\\ferrytest\\RB\\area2";
  two.files = {{"aaaaaaac.t00", 100}};
  db.locations = {one, two};
  ASSERT_NO_FATAL_FAILURE(install("RB", db));
  const std::string a = ingsim::dataFolder(root(), "abadb");
  const std::string b = ingsim::dataFolder(two.area, "abadb");
  const std::vector<RestoredFile> stream = {{a + "\\aaaaaaab.t00", ""},
                                            {a + "\\aaaaaaac.t00", pattern(5000, 1)},
                                            {b + "\\aaaaaaad.t00", pattern(3000, 2)}};
  const RestoredFile late{a + "\\aaaaaaae.t00", pattern(1024, 3)};

  const uint32_t id = connect();
  ASSERT_NE(id, 0u);
  const int64_t when = 1767600000;  // 5 Jan 2026 08:00:00 UTC
  ASSERT_EQ(pointInTime_(id, -1), 10087u);
  ASSERT_EQ(pointInTime_(id, when), 0u);
  for (const RestoredFile& file : stream) {
    ASSERT_EQ(restoreFile(id, "abadb.DATA", kPointInTime, file, "0003"), 0u) << file.path;
  }
  EXPECT_EQ(pointInTime_(id, when), 9u) << "after the roll-forward has started";
  EXPECT_EQ(restoreFile(id, "abadb.DATA", kPointInTime, late, "0003"), 29u) << late.path;
  EXPECT_FALSE(fileExists(late.path));
  EXPECT_EQ(disconnect_(id), 27u) << "a restore that lost a file is not complete";
  std::replace(connections_.begin(), connections_.end(), id, 0u);
  ASSERT_TRUE(waitForRollForward(60000)) << "rollforwarddb did not end";

  EXPECT_EQ(readWholeFile(agentFile("roll")).find("completed."), std::string::npos)
      << "the roll forward completed on a partial location";
  const __time64_t seconds = when;
  std::tm local{};
  ASSERT_EQ(_localtime64_s(&local, &seconds), 0);
  char expectedTime[31];
  ASSERT_TRUE(agent::formatEndTime(local, expectedTime, sizeof expectedTime));
  EXPECT_NE(trace().find(std::string(" -e") + expectedTime), std::string::npos)
      << "the point in time reached rollforwarddb's command line";
  EXPECT_EQ(joined(namesIn(b)), "[aaaaaaad.t00]") << "no end marker";
  EXPECT_NE(readWholeFile(agent_->path("ferryman.log")).find("already passed"), std::string::npos);
}

// A stream whose locations come in another order than rollforwarddb visits them: an extractor
// holding a location the stream does not need yet is released, so that no file is written to a
// location that rollforwarddb would empty afterwards; the released location's own files then
// come too late and the restore fails.
TEST_F(Restore, StreamInAnotherOrderThanTheLocationsFails) {
  ingsim::DatabaseOptions db;
  db.name = "orddb";
  db.checkpointSequence = 2;
  ingsim::DataLocation one, two, three;
  two.area = "C:\\ferrytest\\RF\\area2";
  three.area = "C:\\ferrytest\\RF\\area3";
  one.files = {{"aaaaaaab.t00", 10}};
  two.files = {{"aaaaaaac.t00", 10}};
  three.files = {{"aaaaaaad.t00", 10}};
  db.locations = {one, two, three};
  ASSERT_NO_FATAL_FAILURE(install("RF", db));
  const std::string a = ingsim::dataFolder(root(), "orddb");
  const std::string b = ingsim::dataFolder(two.area, "orddb");
  const std::string c = ingsim::dataFolder(three.area, "orddb");
  const std::vector<RestoredFile> stream = {{a + "\\aaaaaaab.t00", pattern(2000, 11)},
                                            {c + "\\aaaaaaad.t00", pattern(3000, 12)},
                                            {c + "\\aaaaaaae.t00", pattern(100, 13)},
                                            {b + "\\aaaaaaac.t00", pattern(4000, 14)}};

  const uint32_t id = connect();
  ASSERT_NE(id, 0u);
  for (size_t i = 0; i + 1 < stream.size(); ++i) {
    ASSERT_EQ(restoreFile(id, "orddb.DATA", 0, stream[i], "0002"), 0u) << stream[i].path;
  }
  // b was released on the way to c: the roll forward has passed it.
  EXPECT_EQ(restoreFile(id, "orddb.DATA", 0, stream.back(), "0002"), 29u);
  EXPECT_EQ(disconnect_(id), 27u);
  std::replace(connections_.begin(), connections_.end(), id, 0u);
  ASSERT_TRUE(waitForRollForward(60000)) << "rollforwarddb did not end";
  EXPECT_EQ(readWholeFile(agentFile("roll")).find("completed."), std::string::npos);
  EXPECT_TRUE(readWholeFile(stream[0].path) == stream[0].content);
  EXPECT_EQ(joined(namesIn(b)), "") << "emptied by the roll forward, nothing written after";
  EXPECT_EQ(joined(namesIn(c)), "[aaaaaaad.t00][aaaaaaae.t00]") << "no end marker";
  const std::string log = trace();
  EXPECT_EQ(occurrences(log, "DSAWrite(): WriteFile() successful"), 2u)
      << "a at the change to c, b because c comes first";
  EXPECT_EQ(occurrences(log, "; released"), 2u) << "a and b, on the way to c";
}

// Journals: an existing file is kept and the restored one goes beside it unless 0x200 asks for
// the overwrite; a missing directory is made; names and places that do not fit are refused.
TEST_F(Restore, JournalFilesAndRefusals) {
  ingsim::DatabaseOptions db;
  db.name = "jdb";
  db.journaled = true;
  db.checkpointSequence = 1;
  db.journalFiles = 2;
  ASSERT_NO_FATAL_FAILURE(install("RC", db));
  const std::string jnl = ingsim::journalFolder(root(), "jdb");
  const std::string object = "~JOURNAL OF DATABASE jdb";
  const std::string original1 = readWholeFile(jnl + "\\j0000001.jnl");
  const std::string original2 = readWholeFile(jnl + "\\j0000002.jnl");
  ASSERT_FALSE(original1.empty());

  const uint32_t id = connect();
  ASSERT_NE(id, 0u);
  {
    SCOPED_TRACE("0x200 clear: kept, restored beside it; again: the next free suffix");
    const RestoredFile first{jnl + "\\j0000001.jnl", pattern(5000, 4)};
    ASSERT_EQ(restoreFile(id, object, 0, first, /*checkpoint=*/""), 0u);
    EXPECT_EQ(readWholeFile(jnl + "\\j0000001.jnl"), original1);
    EXPECT_TRUE(readWholeFile(jnl + "\\j0000001.jnl.0") == first.content);
    const RestoredFile again{jnl + "\\j0000001.jnl", pattern(100, 5)};
    ASSERT_EQ(restoreFile(id, object, 0, again), 0u);
    EXPECT_TRUE(readWholeFile(jnl + "\\j0000001.jnl.0") == first.content) << "earlier copy kept";
    EXPECT_TRUE(readWholeFile(jnl + "\\j0000001.jnl.1") == again.content);
    const RestoredFile fresh{jnl + "\\j0000003.jnl", ""};
    ASSERT_EQ(restoreFile(id, object, 0, fresh), 0u);
    EXPECT_TRUE(fileExists(fresh.path)) << "an empty file is created";
    EXPECT_FALSE(fileExists(fresh.path + ".0"));
  }
  {
    SCOPED_TRACE("a name with a '.' of no form: 0, the kind stays");
    uint32_t restoreId = 0, ioUnit = 0;
    EXPECT_EQ(begin_(id, "jdb.XYZ", 0, &restoreId, &ioUnit), 0u);
    ASSERT_NE(record(id), nullptr);
    EXPECT_EQ(agent::asNumber(record(id)->restore.restoreKind), 6);
    EXPECT_EQ(std::string(record(id)->dbName), "jdb");
    EXPECT_EQ(end_(id, 0), 0u);
    SCOPED_TRACE("another object on the same connection");
    EXPECT_EQ(begin_(id, "jdb.DATA", 0, &restoreId, &ioUnit), 8u);
    EXPECT_EQ(begin_(id, "~JOURNAL OF DATABASE other", 0, &restoreId, &ioUnit), 8u);
  }
  {
    SCOPED_TRACE("paths outside the journal destination: refused, nothing written");
    const std::vector<std::string> outside = {
        root() + "\\outside.jnl", jnl + "\\..\\escaped.jnl", "escaped.jnl",
        ingsim::dumpFolder(root(), "jdb") + "\\x.jnl", jnl + "\\sub\\deeper.jnl"};
    for (const std::string& path : outside) {
      uint32_t restoreId = 0, ioUnit = 0;
      ASSERT_EQ(begin_(id, object.c_str(), 0, &restoreId, &ioUnit), 0u);
      EXPECT_EQ(writeBlock(id, objectHeader(path, "0001")), 23u) << path;
      const std::string data = pattern(300, 6);
      uint32_t count = static_cast<uint32_t>(data.size());
      EXPECT_EQ(write_(id, 0, 0, data.data(), &count), 22u) << "data where a header is due";
      EXPECT_EQ(end_(id, 0), 0u);
    }
    EXPECT_FALSE(fileExists(root() + "\\outside.jnl"));
    EXPECT_FALSE(fileExists(ingsim::journalFolder(root(), "") + "escaped.jnl"));
    EXPECT_FALSE(fileExists("C:\\ferrytest\\escaped.jnl"));
    EXPECT_FALSE(fileExists(jnl + "\\sub"));
    EXPECT_NE(readWholeFile(agent_->path("ferryman.log"))
                  .find("Restore refused: " + root() + "\\outside.jnl lies outside"),
              std::string::npos);
  }
  {
    SCOPED_TRACE("0x200 set: replaced in place");
    const uint32_t other = connect();
    ASSERT_NE(other, 0u);
    const RestoredFile replaced{jnl + "\\j0000002.jnl", pattern(9000, 7)};
    ASSERT_EQ(restoreFile(other, object, kOverwriteJournals, replaced), 0u);
    EXPECT_TRUE(readWholeFile(replaced.path) == replaced.content);
    EXPECT_FALSE(fileExists(replaced.path + ".0"));
    EXPECT_NE(original2, replaced.content);
  }
  {
    SCOPED_TRACE("targets that cannot be replaced: refused at the header, the original kept");
    const uint32_t other = connect();
    ASSERT_NE(other, 0u);
    const std::string readOnly = jnl + "\\j0000002.jnl";
    const std::string before = readWholeFile(readOnly);
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(restoreFile(other, object, kOverwriteJournals, {readOnly, pattern(3000, 15)}),
              10000u + ERROR_ACCESS_DENIED);
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(readWholeFile(readOnly), before);
    const std::string directory = jnl + "\\j0000008.jnl";
    ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
    EXPECT_EQ(restoreFile(other, object, kOverwriteJournals, {directory, pattern(100, 16)}),
              10000u + ERROR_DIRECTORY);
    RemoveDirectoryA(directory.c_str());
    EXPECT_EQ(joined(namesIn(jnl)).find(".restoring"), std::string::npos);
  }
  {
    SCOPED_TRACE("the journal directory is missing: made anew");
    removeTree(jnl);
    ASSERT_FALSE(fileExists(jnl));
    const uint32_t third = connect();
    ASSERT_NE(third, 0u);
    const RestoredFile file{jnl + "\\j0000001.jnl", pattern(2048, 8)};
    ASSERT_EQ(restoreFile(third, object, 0, file), 0u);
    EXPECT_TRUE(readWholeFile(file.path) == file.content);
    disconnect(third);
    EXPECT_EQ(joined(namesIn(jnl)), "[j0000001.jnl]") << "no end marker for journals";
  }
}

// Configuration: replaced unless 0x2000 keeps the existing file.
bool writeFile(const std::string& path, const std::string& text) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file &&
         WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

// What another account placed first under a name the restore uses is never used: an event of
// the restore event's name, a second name of a file elsewhere under a restored file's
// ".restoring" name.
TEST_F(Restore, NamesPlacedFirstByAnotherAreNeverUsed) {
  ingsim::DatabaseOptions db;
  db.name = "ldb";
  db.journaled = true;
  db.checkpointSequence = 1;
  db.journalFiles = 1;
  ASSERT_NO_FATAL_FAILURE(install("RL", db));
  const std::string jnl = ingsim::journalFolder(root(), "ldb");
  const std::string object = "~JOURNAL OF DATABASE ldb";
  const std::string log = agent_->path("ferryman.log");
  const uint32_t id = connect();
  ASSERT_NE(id, 0u);
  uint32_t restoreId = 0xbdbdbdbd, ioUnit = 0xbdbdbdbd;
  {
    SCOPED_TRACE("the restore event made first by another account: 15, no session begun");
    ForeignSecurity foreign;
    UniqueHandleNull squatter(CreateEventA(foreign.attributes(), TRUE, FALSE, "RestoreEventRL"));
    ASSERT_TRUE(squatter.valid()) << "error " << GetLastError();
    EXPECT_EQ(begin_(id, object.c_str(), 0, &restoreId, &ioUnit), DSA_ERROR_FOREIGN_OBJECT);
    EXPECT_EQ(restoreId, 0u);
    EXPECT_NE(readWholeFile(log).find("-RL-The named object RestoreEventRL exists already and "
                                      "belongs to another account; it was not used.\r\n"),
              std::string::npos)
        << readWholeFile(log);
    EXPECT_EQ(readWholeFile(log).find("Restore of " + object + " begun"), std::string::npos);
    EXPECT_EQ(writeBlock(id, objectHeader(jnl + "\\j0000008.jnl", "0001")),
              DSA_ERROR_OUT_OF_SEQUENCE);
  }
  {
    SCOPED_TRACE("the agent's own event carries its DACL");
    ASSERT_EQ(begin_(id, object.c_str(), 0, &restoreId, &ioUnit), 0u);
    UniqueHandleNull event(OpenEventA(READ_CONTROL, FALSE, "RestoreEventRL"));
    EXPECT_EQ(kernelObjectDacl(event.get()), agentObjectDacl());
    EXPECT_EQ(end_(id, 0), 0u);
  }
  const std::string restored = jnl + "\\j0000009.jnl";
  const std::string temporary = restored + ".restoring";
  const std::string elsewhere = root() + "\\elsewhere.txt";
  {
    SCOPED_TRACE("a second name of a file elsewhere under the .restoring name: 16, untouched");
    ASSERT_TRUE(writeFile(elsewhere, "not the agent's"));
    ASSERT_TRUE(CreateHardLinkA(temporary.c_str(), elsewhere.c_str(), nullptr))
        << "error " << GetLastError();
    ASSERT_EQ(begin_(id, object.c_str(), 0, &restoreId, &ioUnit), 0u);
    EXPECT_EQ(writeBlock(id, objectHeader(restored, "0001")), DSA_ERROR_LINK_REFUSED);
    EXPECT_EQ(end_(id, 0), 0u);
    EXPECT_EQ(readWholeFile(elsewhere), "not the agent's");
    EXPECT_FALSE(fileExists(restored));
    EXPECT_NE(readWholeFile(log).find("-RL-The file " + temporary +
                                      " is a link or reparse point, or has a second name; the "
                                      "agent did not write through it.\r\n"),
              std::string::npos)
        << readWholeFile(log);
  }
  {
    SCOPED_TRACE("a plain file left under that name by an earlier restore is written over");
    ASSERT_TRUE(DeleteFileA(temporary.c_str())) << GetLastError();
    ASSERT_TRUE(writeFile(temporary, std::string(20000, 'x')));
    const RestoredFile file{restored, pattern(3000, 9)};
    ASSERT_EQ(restoreFile(id, object, 0, file), 0u);
    EXPECT_TRUE(readWholeFile(restored) == file.content) << "not emptied before it was written";
    EXPECT_FALSE(fileExists(temporary));
    EXPECT_EQ(readWholeFile(elsewhere), "not the agent's");
  }
}

TEST_F(Restore, ConfigurationFilesKeptOnlyWhenAsked) {
  ingsim::DatabaseOptions db;
  db.name = "cdb";
  db.checkpointSequence = 1;
  db.dumpFiles = {{"d0000001.dmp", 3000}};
  ASSERT_NO_FATAL_FAILURE(install("RD", db));
  const std::string dmp = ingsim::dumpFolder(root(), "cdb");
  const std::string config = dmp + "\\aaaaaaaa.cnf";
  const std::string original = readWholeFile(config);
  ASSERT_FALSE(original.empty());

  const uint32_t keeping = connect();
  ASSERT_NE(keeping, 0u);
  const RestoredFile kept{config, pattern(8192, 9)};
  ASSERT_EQ(restoreFile(keeping, "cdb.~CONFIG", kKeepConfiguration, kept, /*checkpoint=*/""), 0u);
  EXPECT_EQ(readWholeFile(config), original);
  EXPECT_TRUE(readWholeFile(config + ".0") == kept.content);
  EXPECT_EQ(restoreFile(keeping, "cdb.~CONFIG", kKeepConfiguration,
                        {ingsim::journalFolder(root(), "cdb") + "\\j0000001.jnl", "x"}),
            23u)
      << "a configuration restore writes only to the dump destination";
  disconnect(keeping);

  const uint32_t replacing = connect();
  ASSERT_NE(replacing, 0u);
  const RestoredFile replaced{config, pattern(4000, 10)};
  ASSERT_EQ(restoreFile(replacing, "cdb.~CONFIG", 0, replaced), 0u);
  EXPECT_TRUE(readWholeFile(config) == replaced.content);
  EXPECT_FALSE(fileExists(config + ".1"));
  EXPECT_EQ(joined(namesIn(dmp)), "[aaaaaaaa.cnf][aaaaaaaa.cnf.0][d0000001.dmp]");

  // A restore that fails half-way leaves the configuration it would have replaced.
  const RestoredFile incoming{config, pattern(8192, 17)};
  uint32_t restoreId = 0, ioUnit = 0;
  for (uint32_t endStatus : {1u, 0u}) {
    SCOPED_TRACE(endStatus == 0 ? "short of its header" : "ended by the server with a failure");
    ASSERT_EQ(begin_(replacing, "cdb.~CONFIG", 0, &restoreId, &ioUnit), 0u);
    ASSERT_EQ(writeBlock(replacing, objectHeader(config, "", 8)), 0u);
    uint32_t count = 3000;
    ASSERT_EQ(write_(replacing, 0, 0, incoming.content.data(), &count), 0u);
    EXPECT_EQ(end_(replacing, endStatus), endStatus == 0 ? 30u : 0u);
    EXPECT_TRUE(readWholeFile(config) == replaced.content) << "the original was lost";
    EXPECT_EQ(joined(namesIn(dmp)), "[aaaaaaaa.cnf][aaaaaaaa.cnf.0][d0000001.dmp]");
  }
}

// A roll-forward whose extractor never opens the pipe: the ten connects fail and DSAWrite
// reports the last one's system error the interface's way (10000 + the error), not bare.
TEST_F(Restore, ExtractorThatNeverConnectsGivesTheSystemErrorPlus10000) {
  ingsim::DatabaseOptions db;
  db.name = "ndb";
  db.checkpointSequence = 1;
  ASSERT_NO_FATAL_FAILURE(install("RN", db));
  // A rollforwarddb that starts cleanly and ends without running the template's extractor.
  awaitRollForward_ = false;
  ASSERT_TRUE(CopyFileA((binDir() + "\\ag_stand_in_utility.exe").c_str(),
                        (root() + "\\ingres\\bin\\rollforwarddb.exe").c_str(), FALSE))
      << "error " << GetLastError();
  const uint32_t id = connect();
  ASSERT_NE(id, 0u);
  const std::string location = ingsim::dataFolder(root(), "ndb");
  const uint32_t rc = restoreFile(id, "ndb.DATA", 0, {location + "\\aaaaaaab.t00", "x"});
  EXPECT_EQ(rc, 10000u + ERROR_PIPE_LISTENING) << "rc " << rc;
  EXPECT_EQ(disconnect_(id), 27u) << "a restore that never began is not complete";
  std::replace(connections_.begin(), connections_.end(), id, 0u);
}

// What goes wrong in a data restore is reported when the connection ends, and nothing of it is
// finalised: no end marker, the extractor aborted, the roll forward failed or reported.
TEST_F(Restore, FailedDataRestoresAreReportedAndNeverFinalised) {
  ingsim::DatabaseOptions db;
  db.name = "fdb";
  db.checkpointSequence = 1;
  ingsim::DataLocation one, two;
  one.files = {{"aaaaaaab.t00", 100}};
  two.area = "C:\\ferrytest\\RG\\area2";
  two.files = {{"aaaaaaac.t00", 100}};
  db.locations = {one, two};
  ASSERT_NO_FATAL_FAILURE(install("RG", db));
  const std::string a = ingsim::dataFolder(root(), "fdb");
  const std::string b = ingsim::dataFolder(two.area, "fdb");
  const RestoredFile first{a + "\\aaaaaaab.t00", pattern(5000, 21)};
  const RestoredFile second{b + "\\aaaaaaac.t00", pattern(3000, 22)};
  auto rollForwardFailed = [&] {
    EXPECT_TRUE(waitForRollForward(60000)) << "rollforwarddb did not end";
    EXPECT_EQ(readWholeFile(agentFile("roll")).find("completed."), std::string::npos);
    EXPECT_TRUE(noProcessNamedWithin("rollforwarddb.exe", 10000));
    EXPECT_TRUE(noProcessNamedWithin("siphon.exe", 10000));
  };
  auto endConnection = [&](uint32_t id, uint32_t expected) {
    EXPECT_EQ(disconnect_(id), expected);
    std::replace(connections_.begin(), connections_.end(), id, 0u);
  };
  {
    SCOPED_TRACE("rollforwarddb fails after the last location: the restore is reported failed");
    ASSERT_EQ(ingsim::setVariable("RG", "II_SIM_FAIL_STEP", "ERDD"), "");
    const uint32_t id = connect();
    ASSERT_EQ(restoreFile(id, "fdb.DATA", 0, first), 0u);
    ASSERT_EQ(restoreFile(id, "fdb.DATA", 0, second), 0u);
    endConnection(id, 28u);
    rollForwardFailed();
    EXPECT_NE(readWholeFile(agent_->path("ferryman.log")).find("ended with exit code 1"),
              std::string::npos);
    ASSERT_EQ(ingsim::setVariable("RG", "II_SIM_FAIL_STEP", ""), "");
  }
  {
    SCOPED_TRACE("the extractor killed while its location is filled");
    // What the first run left in the second location, which this roll forward never reaches.
    DeleteFileA(second.path.c_str());
    DeleteFileA((b + "\\zzzz0001.ali").c_str());
    const uint32_t id = connect();
    ASSERT_EQ(restoreFile(id, "fdb.DATA", 0, first), 0u);
    EXPECT_GE(terminateProcesses("siphon.exe"), 1);
    EXPECT_NE(restoreFile(id, "fdb.DATA", 0, second), 0u) << "the roll forward went with it";
    EXPECT_FALSE(fileExists(second.path));
    endConnection(id, 27u);
    rollForwardFailed();
    EXPECT_FALSE(fileExists(b + "\\zzzz0001.ali"));
  }
  {
    SCOPED_TRACE("the stream ends after a header and part of the data");
    const uint32_t id = connect();
    uint32_t restoreId = 0, ioUnit = 0;
    ASSERT_EQ(begin_(id, "fdb.DATA", 0, &restoreId, &ioUnit), 0u);
    ASSERT_EQ(writeBlock(id, objectHeader(first.path, "0001", 4)), 0u);
    uint32_t count = 2000;
    ASSERT_EQ(write_(id, 0, 0, first.content.data(), &count), 0u);
    endConnection(id, 27u);
    rollForwardFailed();
    EXPECT_FALSE(fileExists(first.path)) << "a part of a file is never put in place";
    EXPECT_FALSE(fileExists(first.path + ".restoring"));
    EXPECT_FALSE(fileExists(a + "\\zzzz0001.ali"));
  }
  {
    SCOPED_TRACE("a file that ends shorter than its header says");
    const uint32_t id = connect();
    const RestoredFile shortened{first.path, first.content.substr(0, 1000)};
    uint32_t restoreId = 0, ioUnit = 0;
    ASSERT_EQ(begin_(id, "fdb.DATA", 0, &restoreId, &ioUnit), 0u);
    ASSERT_EQ(writeBlock(id, objectHeader(first.path, "0001", 4)), 0u);
    uint32_t count = static_cast<uint32_t>(shortened.content.size());
    ASSERT_EQ(write_(id, 0, 0, shortened.content.data(), &count), 0u);
    EXPECT_EQ(end_(id, 0), 30u);
    EXPECT_FALSE(fileExists(first.path));
    endConnection(id, 27u);
    rollForwardFailed();
  }
}

// Calls out of order and blocks that are no header.
TEST_F(Restore, SequenceAndHeaderChecks) {
  ingsim::DatabaseOptions db;
  db.name = "sdb";
  db.checkpointSequence = 1;
  db.journalFiles = 1;
  ASSERT_NO_FATAL_FAILURE(install("RE", db));
  const std::string jnl = ingsim::journalFolder(root(), "sdb");
  const std::string object = "~JOURNAL OF DATABASE sdb";
  const std::vector<unsigned char> good = objectHeader(jnl + "\\j0000009.jnl", "0001");

  uint32_t restoreId = 0xbdbdbdbd, ioUnit = 0xbdbdbdbd;
  EXPECT_EQ(begin_(31, object.c_str(), 0, &restoreId, &ioUnit), 2u);
  EXPECT_EQ(restoreId, 0u);
  EXPECT_EQ(ioUnit, 0u);
  const uint32_t id = connect();
  ASSERT_NE(id, 0u);
  {
    SCOPED_TRACE("no restore begun");
    EXPECT_EQ(writeBlock(id, good), 9u);
    EXPECT_EQ(end_(id, 0), 0u) << "nothing to close";
  }
  {
    SCOPED_TRACE("a name of no form on a fresh connection: nothing to begin");
    EXPECT_EQ(begin_(id, "sdb.XYZ", 0, &restoreId, &ioUnit), 0u);
    EXPECT_EQ(restoreId, 1u);
    EXPECT_EQ(ioUnit, id);
    EXPECT_EQ(writeBlock(id, good), 9u);
    EXPECT_EQ(record(id)->restore.first_write, 0);
    EXPECT_EQ(end_(id, 0), 0u);
  }
  ASSERT_EQ(begin_(id, object.c_str(), 0, &restoreId, &ioUnit), 0u);
  EXPECT_EQ(restoreId, 2u);
  {
    SCOPED_TRACE("first blocks that are no header begin nothing");
    std::vector<unsigned char> noMagic(good);
    noMagic[0] = 'X';
    EXPECT_EQ(writeBlock(id, noMagic), 22u);
    EXPECT_EQ(writeBlock(id, std::vector<unsigned char>(1023, 'F')), 22u);
    uint32_t zero = 0;
    EXPECT_EQ(write_(id, 0, 0, good.data(), &zero), 0u) << "an empty block is nothing";
    EXPECT_EQ(record(id)->restore.first_write, 0);
    EXPECT_EQ(agent::asNumber(record(id)->status), 0);
  }
  {
    SCOPED_TRACE("header, a data block of exactly 1024 bytes that carries the magic, end");
    ASSERT_EQ(writeBlock(id, good), 0u);
    std::vector<unsigned char> data = objectHeader(jnl + "\\elsewhere.jnl", "0001");
    EXPECT_EQ(writeBlock(id, data), 0u);
    EXPECT_EQ(end_(id, 0), 0u);
    EXPECT_TRUE(readWholeFile(jnl + "\\j0000009.jnl") == std::string(data.begin(), data.end()))
        << "the block after a header is data";
    EXPECT_FALSE(fileExists(jnl + "\\elsewhere.jnl"));
    EXPECT_EQ(end_(id, 0), 0u) << "a second end with no file open";
  }
  {
    SCOPED_TRACE("write after the session ended");
    EXPECT_EQ(writeBlock(id, good), 9u);
    uint32_t count = 10;
    EXPECT_EQ(write_(id, 0, 0, nullptr, &count), 5u);
    EXPECT_EQ(write_(id, 0, 0, good.data(), nullptr), 5u);
  }
  {
    SCOPED_TRACE("an empty block between header and end is nothing");
    ASSERT_EQ(begin_(id, object.c_str(), kOverwriteJournals, &restoreId, &ioUnit), 0u);
    std::vector<unsigned char> header = objectHeader(jnl + "\\j0000010.jnl", "0001");
    ASSERT_EQ(writeBlock(id, header), 0u);
    uint32_t zero = 0;
    EXPECT_EQ(write_(id, 0, 0, header.data(), &zero), 0u);
    EXPECT_EQ(end_(id, 0), 0u);
    EXPECT_EQ(readWholeFile(jnl + "\\j0000010.jnl"), "");
  }
}

}  // namespace
}  // namespace ferry::test
