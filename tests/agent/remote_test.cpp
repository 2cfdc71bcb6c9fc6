// Remote streaming through the exported entry points: the agent's remote pipe with the test as
// the backup server's media side (tools/media's client end), for a remote backup of a
// several-location database, clients that never come or let go, and remote restore sessions.
#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "backup_fixture.h"
#include "media_pipe.h"
#include "remote_stream.h"
#include "restore_fixture.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

// The agent made the pipe before its begin call returned; a message of the agent's comes or is
// taken well within a minute.
constexpr media::PipeWaits kMediaWaits{/*openMs=*/10000, /*retryMs=*/20, /*messageMs=*/60000};

// ---------------------------------------------------------------------------------------------
// Remote backups: the media side's end of the remote pipe.

class RemoteBackup : public Backup {};

namespace remote_side {

// What a media side took from the remote pipe, and how the pipe ended.
struct Taken {
  std::vector<std::vector<unsigned char>> messages;
  DWORD openError = 0;
  DWORD endError = 0;
  std::vector<std::string> daclSids;  // the pipe's DACL, as SID texts
};

std::string sidText(PSID sid) {
  UniqueLocalMemory<char> text;
  if (!ConvertSidToStringSidA(sid, text.put())) return "?";
  return text.get();
}

// The SID text of the account this process runs as.
std::string processUserSid() {
  UniqueHandleNull token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return "?";
  std::vector<unsigned char> buffer(512);
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                           &size)) {
    return "?";
  }
  return sidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

// The SIDs the pipe's DACL lets in.
std::vector<std::string> daclSidsOf(HANDLE pipe) {
  std::vector<std::string> sids;
  PACL dacl = nullptr;
  UniqueLocalMemory<void> descriptor;
  if (GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                      nullptr, descriptor.put()) != ERROR_SUCCESS ||
      dacl == nullptr) {
    return sids;
  }
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (GetAce(dacl, i, &ace) &&
        static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      sids.push_back(sidText(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart));
    }
  }
  return sids;
}

// Opens the pipe as a client and reads its messages until it ends, or until `keep` messages
// were read (then it lets go in the middle of the stream).
Taken takeStream(const std::string& name, size_t keep = SIZE_MAX) {
  Taken taken;
  media::MediaPipe pipe(kMediaWaits);
  taken.openError = pipe.open(name, media::Side::kBackup);
  if (taken.openError != 0) return taken;
  taken.daclSids = daclSidsOf(pipe.handle());
  std::vector<unsigned char> buffer(70000);
  while (taken.messages.size() < keep) {
    DWORD got = 0;
    if (DWORD error = pipe.readMessage(buffer.data(), static_cast<DWORD>(buffer.size()), &got);
        error != 0) {
      taken.endError = error;
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
TEST_F(RemoteBackup, StreamsEveryFileThroughThePipe) {
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
TEST_F(RemoteBackup, ClientThatNeverComesOrLetsGoFailsTheObject) {
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

// ---------------------------------------------------------------------------------------------
// Remote restores: each session's file data on that session's pipe.

class RemoteRestore : public Restore {};

// The media side of one remote restore session: opens the session's pipe and writes `content`
// in messages of at most 32768 bytes, then the empty message that ends the file; with `cutAt`
// it lets go of the pipe after that many bytes instead. 0 or the system error.
DWORD giveRemoteFile(const std::string& pipeName, const std::string& content,
                     size_t cutAt = std::string::npos) {
  media::MediaPipe pipe(kMediaWaits);
  if (DWORD error = pipe.open(pipeName, media::Side::kRestore); error != 0) return error;
  const size_t end = std::min(cutAt, content.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(content.data());
  if (DWORD error = pipe.writeData({bytes, end}); error != 0) return error;
  return cutAt == std::string::npos ? pipe.endFile() : 0;
}

// Remote sessions: each file's data come on its session's pipe, while DSAWrite takes only the
// header. Whole files are put in place and the roll forward completes; a file whose client lets
// go in the middle is discarded, its session fails (33) and so does the restore (27).
TEST_F(RemoteRestore, SessionsFillTheirFilesFromThePipe) {
  ingsim::DatabaseOptions db;
  db.name = "rmt";
  db.checkpointSequence = 1;
  ingsim::DataLocation one;
  one.files = {{"aaaaaaab.t00", 100}, {"aaaaaaac.t00", 100}};
  db.locations = {one};
  ASSERT_NO_FATAL_FAILURE(install("RR", db));
  const std::string folder = ingsim::dataFolder(root(), "rmt");
  // Longer than two of the reader's writes of a megabyte, and not a whole number of messages.
  const RestoredFile big{folder + "\\aaaaaaab.t00", pattern(2 * 1048576 + 40007, 31)};
  const RestoredFile none{folder + "\\aaaaaaac.t00", ""};
  // One remote session: 0, or the first failing code.
  auto remoteSession = [&](uint32_t id, const RestoredFile& file, size_t cutAt, uint32_t* endRc) {
    uint32_t restoreId = 0, ioUnit = 0;
    uint32_t rc = begin_(id, "rmt.DATA", DSA_OPTION_REMOTE, &restoreId, &ioUnit);
    if (rc != 0) return rc;
    DWORD given = 1;
    std::thread media([&] {
      given = giveRemoteFile(
          remote::pipeName("RR", static_cast<int>(restoreId), static_cast<int>(ioUnit)),
          file.content, cutAt);
    });
    rc = writeBlock(
        id, objectHeader(file.path, "0001",
                         static_cast<uint32_t>(std::max<size_t>(1, file.content.size() >> 10))));
    if (rc == 0 && cutAt != std::string::npos) {
      EXPECT_EQ(writeBlock(id, std::vector<unsigned char>(512, 7)), 9u)
          << "the data of a remote session do not come through DSAWrite";
    }
    media.join();
    EXPECT_EQ(given, 0u) << "the media side could not give the file";
    *endRc = end_(id, 0);
    return rc;
  };
  {
    SCOPED_TRACE("two whole files, one of them empty");
    const uint32_t id = connect();
    uint32_t endRc = 1;
    ASSERT_EQ(remoteSession(id, big, std::string::npos, &endRc), 0u);
    EXPECT_EQ(endRc, 0u);
    ASSERT_EQ(remoteSession(id, none, std::string::npos, &endRc), 0u);
    EXPECT_EQ(endRc, 0u);
    disconnect(id);
    EXPECT_TRUE(waitForRollForward(60000));
    EXPECT_NE(readWholeFile(agentFile("roll")).find("completed."), std::string::npos);
    EXPECT_EQ(readWholeFile(big.path), big.content);
    EXPECT_TRUE(fileExists(none.path));
    EXPECT_EQ(readWholeFile(none.path), "");
  }
  {
    SCOPED_TRACE("the client lets go in the middle of the file, after its first megabyte");
    const uint32_t id = connect();
    uint32_t endRc = 0;
    ASSERT_EQ(remoteSession(id, big, 1100000, &endRc), 0u);
    EXPECT_EQ(endRc, 33u);
    EXPECT_FALSE(fileExists(big.path)) << "a part of a file is never put in place";
    EXPECT_FALSE(fileExists(big.path + ".restoring"));
    EXPECT_EQ(disconnect_(id), 27u);
    std::replace(connections_.begin(), connections_.end(), id, 0u);
    EXPECT_TRUE(waitForRollForward(60000));
    EXPECT_EQ(readWholeFile(agentFile("roll")).find("completed."), std::string::npos);
    EXPECT_TRUE(noProcessNamedWithin("rollforwarddb.exe", 10000));
  }
}

}  // namespace
}  // namespace ferry::test
