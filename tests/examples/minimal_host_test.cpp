// The example host in plain C, run as a backup server's developer would run it: against the
// testbed agent and a simulated installation of the test's own, it saves a journaled
// two-location database into its stream files and puts every file back byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "ferryctl_fixture.h"
#include "ingsim/installation.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

class MinimalHost : public FerryctlAgent {
 protected:
  CtlRun host(const std::string& arguments) {
    SetEnvironmentVariableA("MINIMAL_HOST_PASSWORD", password_.c_str());
    CtlRun result;
    result.process = runProcess("\"" + binDir() + "\\minimal_host.exe\" " + arguments);
    SetEnvironmentVariableA("MINIMAL_HOST_PASSWORD", nullptr);
    result.out = withoutCarriageReturns(result.process.out);
    result.err = withoutCarriageReturns(result.process.err);
    return result;
  }
};

// The files of a stream file (path -> data), or why it is not one.
std::string readStream(const std::string& path, std::map<std::string, std::string>* files) {
  const std::string bytes = readWholeFile(path);
  size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < 1024) return "a header cut off at " + std::to_string(at);
    const std::string header = bytes.substr(at, 1024);
    if (header.compare(0, 8, "FERRYMAN") != 0) return "no header magic at " + std::to_string(at);
    const std::string name = header.substr(512, header.find('\0', 512) - 512);
    at += 1024;
    std::string data;
    for (;;) {
      uint32_t length = 0;
      if (bytes.size() - at < 4) return "a length cut off at " + std::to_string(at);
      std::memcpy(&length, bytes.data() + at, 4);
      at += 4;
      if (length == 0) break;
      if (bytes.size() - at < length) return "a block cut off at " + std::to_string(at);
      data += bytes.substr(at, length);
      at += length;
    }
    (*files)[name] = data;
  }
  return "";
}

TEST_F(MinimalHost, BacksUpADatabaseIntoStreamFilesAndRestoresEveryFile) {
  ASSERT_NO_FATAL_FAILURE(install("MH"));
  std::string second;
  ASSERT_EQ(addJournaledShop("MH", 70000, &second), "");
  const std::string root = installation_->root();
  std::map<std::string, std::string> before;
  for (const std::string& folder :
       {ingsim::dataFolder(root, "shop"), ingsim::dataFolder(second, "shop"),
        ingsim::journalFolder(root, "shop"), ingsim::dumpFolder(root, "shop")}) {
    for (const std::string& path : filesBelow(folder)) before[path] = readWholeFile(path);
  }
  ASSERT_EQ(before.size(), 7u);
  const std::string streams = "C:\\ferrytest\\mh_streams";
  removeTree(streams);
  ASSERT_TRUE(CreateDirectoryA(streams.c_str(), nullptr));
  removeAfterwards_.push_back(streams);
  const std::string operands =
      quoted(agent_->path("ferryman.dll")) + " server@MH ingres shop " + quoted(streams) + " ";

  CtlRun backup = host(operands + "backup");
  ASSERT_EQ(backup.process.exitCode, 0u) << backup.describe();
  EXPECT_NE(backup.out.find("saved shop.DATA: 3 files into " + streams + "\\data.stream\n"),
            std::string::npos)
      << backup.describe();
  std::map<std::string, std::string> saved;
  for (const char* stream : {"data", "config", "journals"}) {
    EXPECT_EQ(readStream(streams + "\\" + stream + ".stream", &saved), "") << stream;
  }
  EXPECT_EQ(saved.size(), before.size());
  for (const auto& [path, data] : before) {
    EXPECT_TRUE(saved.count(path) && saved[path] == data) << path << " not saved as on disk";
  }

  for (const auto& [path, data] : before) ASSERT_TRUE(DeleteFileA(path.c_str())) << path;
  CtlRun restore = host(operands + "restore");
  ASSERT_EQ(restore.process.exitCode, 0u) << restore.describe();
  EXPECT_EQ(restore.out.find("restored ~JOURNAL OF DATABASE shop: 2 files"), 0u)
      << "journals first; " << restore.describe();
  for (const auto& [path, data] : before) {
    EXPECT_TRUE(readWholeFile(path) == data) << path << " differs after the restore";
  }
  EXPECT_NE(readWholeFile(agent_->path("rollMHshop.out")).find("completed."), std::string::npos);

  {
    SCOPED_TRACE("the agent's refusal is printed with its code and text");
    password_ = "wrong";
    CtlRun refused = host(operands + "backup");
    EXPECT_EQ(refused.process.exitCode, 1u) << refused.describe();
    const std::string prefix = "minimal_host: DSAConnectAgent failed: 85: ";
    EXPECT_EQ(refused.err.find(prefix), 0u) << refused.describe();
    EXPECT_GT(refused.err.size(), prefix.size() + 1) << "no text; " << refused.describe();
    password_ = "pw-MH";
  }
  {
    SCOPED_TRACE("a stream file cut short is reported, not replayed as if whole");
    const std::string data = streams + "\\data.stream";
    const std::string bytes = readWholeFile(data);
    {
      UniqueFile file(
          CreateFileA(data.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      ASSERT_TRUE(file) << "error " << GetLastError();
      DWORD written = 0;
      ASSERT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size() - 1),
                            &written, nullptr))
          << "error " << GetLastError();
    }
    CtlRun cut = host(operands + "restore");
    EXPECT_EQ(cut.process.exitCode, 4u) << cut.describe();
    EXPECT_NE(cut.err.find(data + " is cut off or damaged"), std::string::npos) << cut.describe();
  }
  CtlRun usage = host("only two");
  EXPECT_EQ(usage.process.exitCode, 2u) << usage.describe();
  EXPECT_NE(usage.err.find("usage: minimal_host AGENT_DLL"), std::string::npos);
}

}  // namespace
}  // namespace ferry::test
