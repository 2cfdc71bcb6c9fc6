// The checkpoint template file and the ckpdb / rollforwarddb runs against installations of the
// test's own, with a stand-in utility that records the command line the agent built.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "agent_fixture.h"
#include "ingsim/installation.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

using CustomizeTemplateFn = int (*)(ConnectionRecord*);
using ExecCkpdbFn = DWORD (*)(int, const char*, DWORD);
using ExecRollforwarddbFn = DWORD (*)(int, const char*, const char*, DWORD, const char*);

constexpr char kPassword[] = "pw-utility";

std::string shortPath(const std::string& path) {
  char buffer[MAX_PATH] = "";
  DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : "<no short form of " + path + ">";
}

// The reviewed template of the core tests, with this run's agent directory and pipe name.
std::string expectedTemplate(const std::string& agentDirectory, const std::string& pipeName) {
  std::string text =
      readWholeFile(std::string(FERRY_CORE_TEST_DATA) + "/checkpoint_template_expected.def");
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"C:\\AGENT~1", agentDirectory},
                                 {"\\\\.\\pipe\\TIDUAdemo", pipeName}}) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

size_t countOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// An Ingres 2 installation at C:\ferrytest\<code> owned by "ingres", with the stand-in as its
// ckpdb.exe and rollforwarddb.exe and a catalog file for each database named.
class Installation {
 public:
  Installation(const std::string& code, const std::vector<std::string>& databases)
      : installation_(installationOptions(code)), account_({"ingres", kPassword, ""}) {
    error_ = installation_.error().empty() ? account_.error() : installation_.error();
    for (const char* program : {"ckpdb.exe", "rollforwarddb.exe"}) {
      if (!error_.empty()) break;
      if (!CopyFileA((binDir() + "\\ag_stand_in_utility.exe").c_str(),
                     (bin() + "\\" + program).c_str(), /*failIfExists=*/FALSE)) {
        error_ = "copying the stand-in: error " + std::to_string(GetLastError());
      }
    }
    for (const std::string& db : databases) {
      if (!error_.empty()) break;
      const std::string catalog = root() + "\\ingres\\files\\catalog";
      CreateDirectoryA(catalog.c_str(), nullptr);
      const ferry::UniqueFile file(CreateFileA((catalog + "\\" + db + ".sdb").c_str(),
                                               GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!file) error_ = "catalog file: " + std::to_string(GetLastError());
    }
  }
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;
  std::string root() const { return installation_.root(); }
  std::string bin() const { return installation_.bin(); }
  std::string recordedCommand(const char* program) const {
    return readWholeFile(bin() + "\\" + program + ".cmdline");
  }
  const std::string& error() const { return error_; }

 private:
  TestInstallation installation_;
  ScopedAccount account_;
  std::string error_;
};

class UtilityTest : public testing::Test {
 protected:
  ScopedTestDirectory testDirectory_;  // made first, undone last
  void SetUp() override {
    savedTemplate_ = processEnvironmentValue("II_CKTMPL_FILE");

    agent_ = std::make_unique<AgentCopy>("utl", agentCompanions());
    ASSERT_EQ(agent_->setupError(), "");
    ASSERT_EQ(agent_->load(), 0u);
    ASSERT_EQ(agent_->bind(), "");
    HMODULE module = agent_->module();
    customize_ = reinterpret_cast<CustomizeTemplateFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "FerryTestCustomizeTemplate")));
    ckpdb_ = reinterpret_cast<ExecCkpdbFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "FerryTestExecCkpdb")));
    rollforward_ = reinterpret_cast<ExecRollforwarddbFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "FerryTestExecRollforwarddb")));
    ASSERT_TRUE(customize_ && ckpdb_ && rollforward_)
        << "utility exports missing from the testbed library";
  }
  void TearDown() override {
    if (agent_ && agent_->module() != nullptr) {
      agent_->api().RevertToSelf();
      for (ConnectionRecord* r : records_) agent_->api().DestroyRecord(r);
      for (int id : connections_) {
        // Releasing the id closes the handles the runs left in the record.
        agent_->api().ReleaseConnection(id);
      }
    }
    agent_.reset();
    SetEnvironmentVariableA("II_CKTMPL_FILE",
                            savedTemplate_ == "<unset>" ? nullptr : savedTemplate_.c_str());
  }

  ConnectionRecord* record(const std::string& code, const std::string& root,
                           const std::string& db) {
    ConnectionRecord* r = agent_->api().CreateRecord(code.c_str(), 1);
    records_.push_back(r);
    std::snprintf(r->installation.iiSystem, sizeof r->installation.iiSystem, "%s", root.c_str());
    std::snprintf(r->dbName, sizeof r->dbName, "%s", db.c_str());
    return r;
  }
  // A connection of the table, as the begin steps find it, for the account "ingres".
  int connection(const std::string& code, const std::string& root, const std::string& db) {
    int id = agent_->api().AllocateConnection();
    if (id == 0) return 0;
    connections_.push_back(id);
    ConnectionRecord* ci = agent_->api().FindConnection(id);
    ci->connectionId = id;
    ci->connInfo.record = ci;
    ci->account.hAccessToken.reset(INVALID_HANDLE_VALUE);
    std::snprintf(ci->installation.installationCode, sizeof ci->installation.installationCode, "%s",
                  code.c_str());
    std::snprintf(ci->installation.iiSystem, sizeof ci->installation.iiSystem, "%s", root.c_str());
    std::snprintf(ci->dbName, sizeof ci->dbName, "%s", db.c_str());
    std::snprintf(ci->connInfo.loginName, sizeof ci->connInfo.loginName, "ingres");
    std::snprintf(ci->connInfo.password, sizeof ci->connInfo.password, "%s", kPassword);
    return id;
  }
  std::string activityText(unsigned id) {
    char text[256] = "";
    agent_->api().MessageText(id, text, sizeof text);
    return text;
  }
  std::string activityLog() { return readWholeFile(agent_->path("ferryman.log")); }

  std::unique_ptr<AgentCopy> agent_;
  std::vector<ConnectionRecord*> records_;
  std::vector<int> connections_;
  std::string savedTemplate_;
  CustomizeTemplateFn customize_ = nullptr;
  ExecCkpdbFn ckpdb_ = nullptr;
  ExecRollforwarddbFn rollforward_ = nullptr;
};

TEST_F(UtilityTest, TemplateFileIsWrittenByteExactAndNamedInTheEnvironment) {
  // Only the files folder is needed: the template is written without any utility.
  const std::string root = "C:\\ferrytest\\UA";
  const std::string rootB = "C:\\ferrytest\\UB";
  for (const std::string& r : {root, rootB}) {
    removeTree(r);
    for (const char* sub : {"", "\\ingres", "\\ingres\\files"}) {
      CreateDirectoryA((r + sub).c_str(), nullptr);
    }
  }
  const std::string path = root + "\\ingres\\files\\htbtmplUA.def";
  const std::string expected =
      expectedTemplate(shortPath(agent_->folder()), "\\\\.\\pipe\\TIDUAdemo");
  ASSERT_EQ(countOf(expected, "\r\n"), 48u) << "reviewed file not found or changed";
  ConnectionRecord* ci = record("UA", root, "demo");
  {
    SCOPED_TRACE("a longer file of the same name is replaced, not overwritten in part");
    std::string junk;
    for (int i = 0; i < 100; ++i) junk += "XXXX:\t a line that must not survive the rewrite\r\n";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(junk.data(), 1, junk.size(), file);
    std::fclose(file);

    int result = customize_(ci);
    ASSERT_EQ(result, 0) << "result " << result;
    const std::string written = readWholeFile(path);
    EXPECT_EQ(countOf(written, "\r\n"), 48u) << written.size() << " bytes";
    EXPECT_TRUE(written == expected) << "written:\n" << written << "\nexpected:\n" << expected;
    EXPECT_EQ(processEnvironmentValue("II_CKTMPL_FILE"), path);
  }
  {
    SCOPED_TRACE("the same database again gives the same bytes");
    int result = customize_(ci);
    ASSERT_EQ(result, 0) << "result " << result;
    EXPECT_TRUE(readWholeFile(path) == expected);
  }
  {
    SCOPED_TRACE("another installation code: its own file and pipe; the environment follows");
    ConnectionRecord* other = record("UB", rootB, "demo");
    int result = customize_(other);
    ASSERT_EQ(result, 0) << "result " << result;
    const std::string otherPath = rootB + "\\ingres\\files\\htbtmplUB.def";
    const std::string otherText = readWholeFile(otherPath);
    EXPECT_EQ(countOf(otherText, "-N \\\\.\\pipe\\TIDUBdemo\r\n"), 8u) << otherText;
    EXPECT_TRUE(readWholeFile(path) == expected) << "the first file is left alone";
    EXPECT_EQ(processEnvironmentValue("II_CKTMPL_FILE"), otherPath);
  }
  {
    SCOPED_TRACE("names beyond their buffers: refused, nothing written, environment kept");
    ConnectionRecord* longName = record("UA", root, std::string(50, 'd'));
    int result = customize_(longName);
    EXPECT_EQ(result, 1) << "pipe name of 64 characters; result " << result;
    ConnectionRecord* longRoot = record("UA", root + "\\" + std::string(240, 'r'), "demo");
    result = customize_(longRoot);
    EXPECT_EQ(result, 1) << "template path of 269 characters; result " << result;
    EXPECT_EQ(processEnvironmentValue("II_CKTMPL_FILE"), rootB + "\\ingres\\files\\htbtmplUB.def");
  }
  removeTree(root);
  removeTree(rootB);
}

TEST_F(UtilityTest, RunsRefuseBadRequestsBeforeStartingAnything) {
  const std::string root = "C:\\ferrytest\\UC";
  int id = connection("UC", root, "demo");
  ASSERT_NE(id, 0);
  {
    SCOPED_TRACE("connection id not in use");
    int unused = agent_->api().AllocateConnection();
    ASSERT_NE(unused, 0);
    agent_->api().ReleaseConnection(unused);
    EXPECT_EQ(ckpdb_(unused, "demo", 0), 2u);
    EXPECT_EQ(rollforward_(unused, "demo", "1", 0, nullptr), 2u);
  }
  {
    SCOPED_TRACE("roll-forward arguments missing");
    EXPECT_EQ(rollforward_(id, "demo", nullptr, 0, nullptr), 5u);
    EXPECT_EQ(rollforward_(id, nullptr, "1", 0, nullptr), 5u);
    EXPECT_EQ(rollforward_(id, "demo", "1", 0x800, nullptr), 5u) << "end time asked for";
  }
  {
    SCOPED_TRACE("values beyond their buffers");
    const std::string longDb(50, 'd');  // pipe name of 64 characters
    DWORD result = ckpdb_(id, longDb.c_str(), 0);
    EXPECT_EQ(result, 10000u + ERROR_FILENAME_EXCED_RANGE) << "result " << result;
    result = rollforward_(id, longDb.c_str(), "1", 0, nullptr);
    EXPECT_EQ(result, 10000u + ERROR_FILENAME_EXCED_RANGE) << "result " << result;
    result = rollforward_(id, "demo", "1234567890", 0, nullptr);
    EXPECT_EQ(result, 10000u + ERROR_INVALID_PARAMETER) << "checkpoint id; result " << result;
    result = rollforward_(id, "demo", "1", 0x800, std::string(37, 't').c_str());
    EXPECT_EQ(result, 10000u + ERROR_INVALID_PARAMETER) << "end time; result " << result;
    ConnectionRecord* ci = agent_->api().FindConnection(id);
    EXPECT_EQ(ci->run.pipeHandle.get(), nullptr) << "no pipe was created";
    EXPECT_FALSE(fileExists(agent_->path("ckpderrUC" + longDb + ".out")));
  }
  {
    SCOPED_TRACE("the pipe's name taken by another server end: 25, as for a checkpoint");
    ScopedAccount account({"ingres", kPassword, ""});  // the run logs on before the pipe
    ASSERT_EQ(account.error(), "");
    ferry::UniqueFile squatter(CreateNamedPipeA("\\\\.\\pipe\\TIDUCdemo", PIPE_ACCESS_DUPLEX,
                                                PIPE_TYPE_MESSAGE, 1, 512, 512, 0, nullptr));
    ASSERT_TRUE(squatter) << "error " << GetLastError();
    DWORD result = rollforward_(id, "demo", "1", 0, nullptr);
    EXPECT_EQ(result, 25u) << "not the bare system error; result " << result;
    EXPECT_EQ(agent_->api().FindConnection(id)->run.pipeHandle.get(), nullptr);
  }
}

TEST_F(UtilityTest, CheckpointStartsCkpdbWithItsFlagsAndKeepsThePipe) {
  Installation installation("UD", {"demo"});
  ASSERT_EQ(installation.error(), "");
  int id = connection("UD", installation.root(), "demo");
  ASSERT_NE(id, 0);
  ConnectionRecord* ci = agent_->api().FindConnection(id);
  ASSERT_EQ(customize_(ci), 0);
  const std::string templatePath = installation.root() + "\\ingres\\files\\htbtmplUD.def";

  // Disable journaling (0x80) is only reported; verbose and purge (0x120) give their flags.
  DWORD result = ckpdb_(id, "demo", 0x1A0);
  ASSERT_EQ(result, 0u) << "result " << result
                        << "; error file: " << readWholeFile(agent_->path("ckpderrUDdemo.out"));
  EXPECT_EQ(
      installation.recordedCommand("ckpdb.exe"),
      "\"" + installation.root() + "\\ingres\\bin\\ckpdb\" demo -v -d\n" + templatePath + "\n")
      << "command line and the II_CKTMPL_FILE ckpdb saw";
  EXPECT_NE(activityLog().find(activityText(68)), std::string::npos) << activityLog();
  EXPECT_EQ(activityLog().find(activityText(65)), std::string::npos) << activityLog();
  ASSERT_NE(ci->run.pipeHandle.get(), nullptr);
  ASSERT_NE(ci->run.ckpdbProcessHandle.get(), nullptr);
  EXPECT_NE(ci->account.hAccessToken.get(), INVALID_HANDLE_VALUE)
      << "ckpdb runs as the account \"ingres\"";
  {
    SCOPED_TRACE("the pipe is listening under the template's name for siphon");
    HANDLE client = CreateFileA("\\\\.\\pipe\\TIDUDdemo", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    const ferry::UniqueFile owned(client);
    EXPECT_NE(client, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  }
  EXPECT_EQ(WaitForSingleObject(ci->run.ckpdbProcessHandle.get(), 30000), WAIT_OBJECT_0)
      << "the kept handle is ckpdb's process";
  EXPECT_TRUE(fileExists(agent_->path("ckpdbUDdemo.out")));
  EXPECT_EQ(readWholeFile(agent_->path("ckpderrUDdemo.out")), "");
  DeleteFileA(agent_->path("ckpdbUDdemo.out").c_str());
  DeleteFileA(agent_->path("ckpderrUDdemo.out").c_str());
}

TEST_F(UtilityTest, CheckpointFailsWhenCkpdbWritesToItsErrorFile) {
  Installation installation("UE", {});
  ASSERT_EQ(installation.error(), "");
  int id = connection("UE", installation.root(), "nosuchdb");
  ASSERT_NE(id, 0);
  ConnectionRecord* ci = agent_->api().FindConnection(id);
  ASSERT_EQ(customize_(ci), 0);

  DWORD result = ckpdb_(id, "nosuchdb", 0);
  EXPECT_EQ(result, 1u) << "result " << result;
  EXPECT_EQ(installation.recordedCommand("ckpdb.exe").substr(0, 100),
            "\"" + installation.root() + "\\ingres\\bin\\ckpdb\" nosuchdb\n" + installation.root() +
                "\\ingres\\files\\htbtmplUE.def\n");
  const std::string log = activityLog();
  const size_t failed = log.find(activityText(65));
  const size_t errorFile = log.find(activityText(69));
  EXPECT_NE(failed, std::string::npos) << log;
  EXPECT_NE(errorFile, std::string::npos) << log;
  EXPECT_LT(failed, errorFile) << "65 before 69: " << log;
  EXPECT_EQ(ci->run.pipeHandle.get(), nullptr) << "the pipe is closed";
  EXPECT_EQ(ci->run.ckpdbProcessHandle.get(), nullptr) << "ckpdb's handle is not kept";
  EXPECT_NE(readWholeFile(agent_->path("ckpderrUEnosuchdb.out")).find("E_DM0053"),
            std::string::npos);
  DeleteFileA(agent_->path("ckpdbUEnosuchdb.out").c_str());
  DeleteFileA(agent_->path("ckpderrUEnosuchdb.out").c_str());
}

// A utility that ends within its start check is judged at once by its exit code: one that failed
// without a word in its error file fails the run, instead of the run waiting for an extractor
// that will never come.
TEST_F(UtilityTest, UtilityThatEndsBadlyWithoutAWordFailsItsStartCheck) {
  Installation installation("UQ", {"quietfail"});
  ASSERT_EQ(installation.error(), "");
  int id = connection("UQ", installation.root(), "quietfail");
  ASSERT_NE(id, 0);
  ConnectionRecord* ci = agent_->api().FindConnection(id);
  ASSERT_EQ(customize_(ci), 0);

  EXPECT_EQ(ckpdb_(id, "quietfail", 0), 1u);
  EXPECT_NE(activityLog().find(activityText(65)), std::string::npos) << activityLog();
  EXPECT_EQ(ci->run.pipeHandle.get(), nullptr) << "the pipe is closed";
  EXPECT_EQ(ci->run.ckpdbProcessHandle.get(), nullptr) << "ckpdb's handle is not kept";

  EXPECT_EQ(rollforward_(id, "quietfail", "1", 0, nullptr), 1u);
  EXPECT_NE(activityLog().find(activityText(71)), std::string::npos) << activityLog();
  EXPECT_EQ(ci->run.rollforwardProcessHandle.get(), nullptr)
      << "as after a complaint in its error file";
  for (const char* file : {"ckpdbUQquietfail.out", "ckpderrUQquietfail.out", "rollUQquietfail.out",
                           "rollerrUQquietfail.out"}) {
    EXPECT_EQ(readWholeFile(agent_->path(file)), "") << file;
    DeleteFileA(agent_->path(file).c_str());
  }
}

TEST_F(UtilityTest, RollforwardStartsWithEveryRestoreFlag) {
  Installation installation("UF", {"demo"});
  ASSERT_EQ(installation.error(), "");
  int id = connection("UF", installation.root(), "demo");
  ASSERT_NE(id, 0);
  ConnectionRecord* ci = agent_->api().FindConnection(id);
  ASSERT_EQ(customize_(ci), 0);

  DWORD result = rollforward_(id, "demo", "12", 0x1C00, "08-Dec-2026:16:20:02");
  ASSERT_EQ(result, 0u) << "result " << result
                        << "; error file: " << readWholeFile(agent_->path("rollerrUFdemo.out"));
  EXPECT_EQ(installation.recordedCommand("rollforwarddb.exe").substr(0, 200),
            "\"" + installation.root() +
                "\\ingres\\bin\\rollforwarddb\" demo #c12 -v -e08-Dec-2026:16:20:02 -j\n" +
                installation.root() + "\\ingres\\files\\htbtmplUF.def\n");
  EXPECT_STREQ(ci->restore.restoreCheckpointText, "12");
  EXPECT_NE(ci->run.pipeHandle.get(), nullptr) << "the pipe stays for siphon";
  DeleteFileA(agent_->path("rollUFdemo.out").c_str());
  DeleteFileA(agent_->path("rollerrUFdemo.out").c_str());
}

}  // namespace
}  // namespace ferry::test
