// siphon.exe against the test's own end of the extractor pipe. Each case has its own folder
// C:\ferrytest\sx_<case> and its own pipe name, so that the cases run in parallel.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "oidb_msg.h"
#include "siphon_harness.h"

namespace ferry::test {
namespace {

constexpr char kCkpdb[] = "c0012001.ckp";

std::string arguments(const std::string& location, const std::string& job,
                      const std::string& pipe) {
  return "-P \"" + location + "\" -C " + kCkpdb + " -T " + job + " -N " + pipe;
}

std::string describe(const OidbMsg& msg) {
  return "type " + std::to_string(msg.MsgType) + " ObjectName '" + std::string(objectNameOf(msg)) +
         "' ckpdb_name '" + std::string(ckpdbNameOf(msg)) + "'";
}

// Starts siphon and waits for it on the pipe; the record reads and the release follow.
class SiphonPipeTest : public testing::Test {
 protected:
  void start(const std::string& code, const std::string& args) {
    pipeName_ = extractorPipeName(code, "sxdb");
    server_ = std::make_unique<PipeServer>(pipeName_);
    ASSERT_EQ(server_->setupError(), 0u) << "CreateNamedPipe " << pipeName_;
    startSiphon(args, &run_);
    ASSERT_NE(run_.process, nullptr) << "CreateProcess error " << run_.startError;
  }
  void connect() {
    DWORD error = server_->awaitClient(run_.process);
    ASSERT_EQ(error, 0u) << "siphon ended without connecting, exit code " << run_.exitCode();
  }
  OidbMsg next() {
    OidbMsg msg = makeOidbMsg(-7, "marker", "marker");
    DWORD bytes = 0;
    DWORD error = server_->read(&msg, &bytes);
    EXPECT_EQ(error, 0u) << "read error";
    EXPECT_EQ(bytes, sizeof msg) << "record size";
    return msg;
  }
  void release(int32_t type) {
    DWORD error = server_->write(makeOidbMsg(type));
    ASSERT_EQ(error, 0u) << "write of release type " << type;
  }
  std::string pipeName_;
  std::unique_ptr<PipeServer> server_;
  SiphonRun run_;
};

TEST_F(SiphonPipeTest, BackupOfEmptyLocationSendsNameThenEnd) {
  TestFolder folder("sx_empty");
  start("X1", arguments(folder.path(), "db_backup", extractorPipeName("X1", "sxdb")));
  connect();
  OidbMsg first = next();
  EXPECT_EQ(first.MsgType, OIDBMSGTYPE_CKPDB_NAME) << describe(first);
  EXPECT_EQ(objectNameOf(first), "") << describe(first);
  EXPECT_EQ(ckpdbNameOf(first), kCkpdb) << describe(first);
  OidbMsg last = next();
  EXPECT_EQ(last.MsgType, OIDBMSGTYPE_NO_MORE_FILES) << describe(last);
  OidbMsg zero = makeOidbMsg(OIDBMSGTYPE_NO_MORE_FILES);
  EXPECT_EQ(std::memcmp(&last, &zero, sizeof last), 0)
      << "type-2 record not all zero: " << describe(last);
  release(OIDBMSGTYPE_END_BACKUP);
  EXPECT_EQ(run_.exitCode(), 0u);
}

TEST_F(SiphonPipeTest, BackupSendsEveryEntryWithFullPathAndSubfoldersAsEntries) {
  TestFolder folder("sx_files");
  ASSERT_TRUE(folder.addFile("aaaaaaaa.t00")) << GetLastError();
  ASSERT_TRUE(folder.addFile("aaaaaaab.t00")) << GetLastError();
  ASSERT_TRUE(folder.addFolder("sub")) << GetLastError();
  TestFolder inner("sx_files\\sub");  // left in place by the outer folder's removal
  ASSERT_TRUE(inner.addFile("deep.t00")) << GetLastError();
  start("X2", arguments(folder.path(), "db_backup", extractorPipeName("X2", "sxdb")));
  connect();
  OidbMsg first = next();
  ASSERT_EQ(first.MsgType, OIDBMSGTYPE_CKPDB_NAME) << describe(first);
  std::vector<std::string> paths;
  for (int guard = 0; guard < 10; ++guard) {
    OidbMsg msg = next();
    if (msg.MsgType == OIDBMSGTYPE_NO_MORE_FILES) break;
    EXPECT_EQ(msg.MsgType, OIDBMSGTYPE_FILE_NAME) << describe(msg);
    EXPECT_EQ(ckpdbNameOf(msg), kCkpdb) << describe(msg);
    paths.emplace_back(objectNameOf(msg));
  }
  std::sort(paths.begin(), paths.end());
  std::vector<std::string> expected = {folder.path() + "\\aaaaaaaa.t00",
                                       folder.path() + "\\aaaaaaab.t00", folder.path() + "\\sub"};
  EXPECT_EQ(paths, expected);
  // Any record type releases siphon.
  release(77);
  EXPECT_EQ(run_.exitCode(), 0u);
}

TEST_F(SiphonPipeTest, ReleaseOfAnyTypeEndsRunWithZero) {
  for (int32_t type : {int32_t{OIDBMSGTYPE_END_RESTORE}, int32_t{-1}}) {
    SCOPED_TRACE("release type " + std::to_string(type));
    TestFolder folder("sx_release");
    std::string code = type < 0 ? "X3" : "X4";
    SiphonRun run;
    PipeServer server(extractorPipeName(code, "sxdb"));
    ASSERT_EQ(server.setupError(), 0u);
    startSiphon(arguments(folder.path(), "db_backup", extractorPipeName(code, "sxdb")), &run);
    ASSERT_NE(run.process, nullptr) << run.startError;
    ASSERT_EQ(server.awaitClient(run.process), 0u) << "exit code " << run.exitCode();
    OidbMsg msg;
    DWORD bytes = 0;
    ASSERT_EQ(server.read(&msg, &bytes), 0u);
    ASSERT_EQ(server.read(&msg, &bytes), 0u);
    EXPECT_EQ(msg.MsgType, OIDBMSGTYPE_NO_MORE_FILES) << describe(msg);
    ASSERT_EQ(server.write(makeOidbMsg(type)), 0u);
    EXPECT_EQ(run.exitCode(), 0u);
  }
}

// Without a release the location is not done: an agent that went away, or one that aborts the
// location, fails the extractor, and with it the utility's run.
TEST_F(SiphonPipeTest, BackupFailsWhenTheAgentGoesAway) {
  TestFolder folder("sx_broken");
  start("X5", arguments(folder.path(), "db_backup", extractorPipeName("X5", "sxdb")));
  connect();
  next();
  next();
  server_.reset();  // the final read sees a broken pipe
  EXPECT_NE(run_.exitCode(), 0u);
}

TEST_F(SiphonPipeTest, RestoreFailsWhenTheAgentAborts) {
  TestFolder folder("sx_abort");
  start("XA", arguments(folder.path(), "db_restore", extractorPipeName("XA", "sxdb")));
  connect();
  next();
  release(OIDBMSGTYPE_ABORT);
  EXPECT_EQ(run_.exitCode(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST_F(SiphonPipeTest, BackupOfMissingLocationExitsWithSystemErrorBeforeThePipe) {
  std::string missing = "C:\\ferrytest\\sx_missing\\nowhere";
  start("X6", arguments(missing, "db_backup", extractorPipeName("X6", "sxdb")));
  DWORD code = run_.exitCode();
  EXPECT_TRUE(code == ERROR_PATH_NOT_FOUND || code == ERROR_FILE_NOT_FOUND) << "exit " << code;
  EXPECT_FALSE(server_->clientSeen()) << "siphon opened the pipe";
}

TEST_F(SiphonPipeTest, EntryPathTooLongForRecordEndsBackupVisibly) {
  TestFolder folder("sx_long");
  // A full path of 257 characters: within what Windows' ANSI calls take (259), past the 255 the
  // record holds.
  std::string name(257 - folder.path().size() - 1, 'n');
  ASSERT_TRUE(folder.addFile(name)) << "error " << GetLastError();
  start("X7", arguments(folder.path(), "db_backup", extractorPipeName("X7", "sxdb")));
  connect();
  OidbMsg first = next();
  EXPECT_EQ(first.MsgType, OIDBMSGTYPE_CKPDB_NAME) << describe(first);
  // No cut path and no type-2 record: the agent's next read fails instead.
  OidbMsg msg;
  DWORD bytes = 0;
  DWORD error = server_->read(&msg, &bytes);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_BROKEN_PIPE)) << describe(msg);
  EXPECT_EQ(run_.exitCode(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST_F(SiphonPipeTest, RestoreRequestsLocationPattern) {
  TestFolder folder("sx_restore");
  start("X8", arguments(folder.path(), "db_restore", extractorPipeName("X8", "sxdb")));
  connect();
  OidbMsg request = next();
  EXPECT_EQ(request.MsgType, OIDBMSGTYPE_RESTORE_REQUEST) << describe(request);
  EXPECT_EQ(objectNameOf(request), folder.path() + "\\*") << describe(request);
  EXPECT_EQ(ckpdbNameOf(request), kCkpdb) << describe(request);
  release(OIDBMSGTYPE_END_RESTORE);
  EXPECT_EQ(run_.exitCode(), 0u);
}

TEST_F(SiphonPipeTest, DumpRestoreRequestsPlaceholder) {
  TestFolder folder("sx_dump");
  start("X9", arguments(folder.path(), "dump_restore", extractorPipeName("X9", "sxdb")));
  connect();
  OidbMsg request = next();
  EXPECT_EQ(request.MsgType, OIDBMSGTYPE_RESTORE_REQUEST) << describe(request);
  EXPECT_EQ(objectNameOf(request), kDumpPlaceholder) << describe(request);
  EXPECT_EQ(ckpdbNameOf(request), kCkpdb) << describe(request);
  release(OIDBMSGTYPE_END_RESTORE);
  EXPECT_EQ(run_.exitCode(), 0u);
}

TEST(SiphonCommandLineRuns, BadLinesExitOneWithoutOpeningPipe) {
  TestFolder folder("sx_badline");
  const std::string loc = "\"" + folder.path() + "\"";
  struct Case {
    const char* code;
    std::string tail;  // after "-N <pipe>"
    std::string head;  // before it
  } cases[] = {
      {"Y1", "", "-T db_backup"},                            // too few arguments
      {"Y2", "-Q x", "-P " + loc + " -C c1 -T db_backup"},   // unknown option
      {"Y3", "-D -C", "-P " + loc + " -C c1 -T db_backup"},  // -C without value
      {"Y4", "", "-P \"C:\\" + std::string(260, 'p') + "\" -C c1 -T db_backup"},
      {"Y5", "", "-P " + loc + " -C " + std::string(80, 'c') + " -T db_backup"},
      {"Y6", "", "-P " + loc + " -C c1 -T table_backup"},
      {"Y7", "", "-P " + loc + " -C c1 -T db_backup_partial"},
      {"Y8", "", "-P " + loc + " -C c1 -T db_restore_partial"},
  };
  for (const Case& c : cases) {
    std::string pipe = extractorPipeName(c.code, "sxdb");
    std::string args = c.head + " -N " + pipe + (c.tail.empty() ? "" : " " + c.tail);
    SCOPED_TRACE(args.substr(0, 120));
    PipeServer server(pipe);
    ASSERT_EQ(server.setupError(), 0u);
    SiphonRun run;
    startSiphon(args, &run);
    ASSERT_NE(run.process, nullptr) << run.startError;
    EXPECT_EQ(run.exitCode(), 1u);
    EXPECT_FALSE(server.clientSeen()) << "siphon opened the pipe";
  }
}

}  // namespace
}  // namespace ferry::test
