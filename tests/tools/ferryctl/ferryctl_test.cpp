// ferryctl.exe as a user runs it: a process with its exit code and output, against the testbed
// agent library and simulated installations of the test's own.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "agent/agent_fixture.h"
#include "archive_file.h"
#include "core/archive_format.h"
#include "ferryctl_fixture.h"
#include "ingsim/installation.h"
#include "scoped_installation.h"
#include "sha256.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

std::string systemText(DWORD error) {
  char buffer[1300] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

TEST(FerryctlError, AgentAndSystemTexts) {
  {
    SCOPED_TRACE("agent code 18: the message library's text");
    HMODULE messages = LoadLibraryA((binDir() + "\\ferryres.dll").c_str());
    ASSERT_NE(messages, nullptr) << "ferryres.dll: error " << GetLastError();
    char buffer[256];
    int n = LoadStringA(messages, 18, buffer, sizeof buffer);
    FreeLibrary(messages);
    ASSERT_GT(n, 0) << "string 18: error " << GetLastError();
    const std::string expected = "18: " + std::string(buffer, n) + "\n";

    CtlRun run = ferryctl("--agent " + quoted(testbedAgent()) + " error 18");
    EXPECT_EQ(run.process.exitCode, 0u) << run.describe();
    EXPECT_EQ(run.out, expected) << run.describe();
    EXPECT_EQ(run.err, "") << run.describe();
  }
  {
    SCOPED_TRACE("system code 10002: the text of Windows error 2");
    const std::string text = systemText(ERROR_FILE_NOT_FOUND);
    ASSERT_NE(text, "") << "FormatMessageA(2): error " << GetLastError();
    CtlRun run = ferryctl("--agent " + quoted(testbedAgent()) + " error 10002");
    EXPECT_EQ(run.process.exitCode, 0u) << run.describe();
    EXPECT_EQ(run.out, "10002: " + text + "\n") << run.describe();
  }
}

TEST(FerryctlUsage, HelpAndMalformedCommandLines) {
  {
    SCOPED_TRACE("--help: usage on standard output, success");
    CtlRun run = ferryctl("--help");
    EXPECT_EQ(run.process.exitCode, 0u) << run.describe();
    EXPECT_NE(run.out.find("usage: ferryctl"), std::string::npos) << run.describe();
  }
  {
    SCOPED_TRACE("no arguments: usage on standard error, usage error");
    CtlRun run = ferryctl("");
    EXPECT_EQ(run.process.exitCode, 2u) << run.describe();
    EXPECT_NE(run.err.find("usage: ferryctl"), std::string::npos) << run.describe();
  }
  {
    SCOPED_TRACE("a bad code is refused before any library is loaded");
    CtlRun run = ferryctl("--agent C:\\nowhere\\ferryman.dll error 12x");
    EXPECT_EQ(run.process.exitCode, 2u) << run.describe();
    EXPECT_NE(run.err.find("'12x' is not a decimal number"), std::string::npos) << run.describe();
  }
}

TEST(FerryctlLoad, MissingLibraryAndMissingEntryPoint) {
  {
    SCOPED_TRACE("a file that does not exist");
    const std::string path = "C:\\ferrytest\\ctl_none\\ferryman.dll";
    CtlRun run = ferryctl("--agent " + path + " error 18");
    EXPECT_EQ(run.process.exitCode, 3u) << run.describe();
    EXPECT_NE(run.err.find("cannot load agent library " + path + ": error "), std::string::npos)
        << run.describe();
    EXPECT_EQ(run.out, "") << run.describe();
  }
  {
    SCOPED_TRACE("a relative path is shown made absolute");
    char directory[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof directory, directory);  // the child's, too
    CtlRun run = ferryctl("--agent ctl_absent.dll error 18");
    EXPECT_EQ(run.process.exitCode, 3u) << run.describe();
    EXPECT_NE(run.err.find(std::string(directory) + "\\ctl_absent.dll: error "), std::string::npos)
        << "current directory " << directory << "; " << run.describe();
  }
  {
    SCOPED_TRACE("a library without the agent's exports");
    const std::string path = binDir() + "\\sounder26.dll";
    CtlRun run = ferryctl("--agent " + quoted(path) + " error 18");
    EXPECT_EQ(run.process.exitCode, 3u) << run.describe();
    EXPECT_NE(run.err.find("agent library " + path + " lacks entry point DSAConnectAgent"),
              std::string::npos)
        << run.describe();
    EXPECT_NE(run.err.find("error 127"), std::string::npos)
        << "ERROR_PROC_NOT_FOUND expected; " << run.describe();
  }
  {
    SCOPED_TRACE("a library with only some of the entry points the console needs");
    const std::string path = binDir() + "\\ctl_partial_agent.dll";
    CtlRun run = ferryctl("--agent " + quoted(path) + " error 18");
    EXPECT_EQ(run.process.exitCode, 3u) << run.describe();
    EXPECT_NE(run.err.find("lacks entry point DSADisconnectAgent"), std::string::npos)
        << run.describe();
    EXPECT_EQ(run.out, "") << "nothing may run before every entry point is bound; "
                           << run.describe();
  }
}

constexpr char kMachineEnvironment[] =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// Connecting sets the machine-wide II_SYSTEM, and a child inherits the current directory, which
// decides where a utility's drive-relative output goes: the test keeps its own current
// directory on C: while it runs and puts both back afterwards.
class FerryctlConnect : public testing::Test {
 protected:
  void SetUp() override {
    char buffer[1024] = {};
    DWORD size = sizeof buffer;
    hadMachineRoot_ = RegGetValueA(HKEY_LOCAL_MACHINE, kMachineEnvironment, "II_SYSTEM",
                                   RRF_RT_REG_SZ, nullptr, buffer, &size) == ERROR_SUCCESS;
    savedMachineRoot_ = hadMachineRoot_ ? buffer : "";
    GetCurrentDirectoryA(sizeof buffer, buffer);
    savedDirectory_ = buffer;
    CreateDirectoryA("C:\\ferrytest", nullptr);  // usually there already
    SetCurrentDirectoryA("C:\\ferrytest");
  }
  void TearDown() override {
    SetCurrentDirectoryA(savedDirectory_.c_str());
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMachineEnvironment, 0, KEY_WRITE, key.put()) == 0) {
      if (hadMachineRoot_) {
        RegSetValueExA(key.get(), "II_SYSTEM", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(savedMachineRoot_.c_str()),
                       static_cast<DWORD>(savedMachineRoot_.size() + 1));
      } else {
        RegDeleteValueA(key.get(), "II_SYSTEM");
      }
    }
    for (const char* stem : {"env", "ingprenv", "infodb"}) {
      DeleteFileA((std::string("C:\\") + stem + kCode + ".out").c_str());
    }
  }

  static constexpr char kCode[] = "FC";
  bool hadMachineRoot_ = false;
  std::string savedMachineRoot_;
  std::string savedDirectory_;
};

TEST_F(FerryctlConnect, WrongPasswordThenRightPassword) {
  // The agent in a folder of the test's own, with its companions, so that its logs and
  // connection state are the test's alone.
  AgentCopy agentCopy("ctl_connect", {{"sounder26.dll", "sounder26.dll"},
                                      {"sounder30.dll", "sounder30.dll"},
                                      {"ferryres.dll", "ferryres.dll"},
                                      {"basetool.dll", "basetool.dll"}});
  ASSERT_EQ(agentCopy.setupError(), "");
  ingsim::test::ScopedInstallation installation(kCode);
  ingsim::InstallationOptions options = installation.options(2);
  options.addToMachinePath = false;
  ASSERT_EQ(ingsim::createInstallation(options), "");
  ScopedAccount stranger({"ctl_stranger", "right-one", ""});
  ASSERT_EQ(stranger.error(), "");
  ScopedAccount owner({"ingres", "ctl-ingres-pw", ""});  // the owner of a version 2 installation
  ASSERT_EQ(owner.error(), "");
  const std::string agent = "--agent " + quoted(agentCopy.path("ferryman.dll"));
  const std::string instance = std::string(" ingres@") + kCode + " ";
  {
    SCOPED_TRACE("wrong password from FERRYCTL_PASSWORD: logon failure 85, no password shown");
    SetEnvironmentVariableA("FERRYCTL_PASSWORD", "wrong-one");
    CtlRun run = ferryctl(agent + " connect" + instance + "ctl_stranger");
    SetEnvironmentVariableA("FERRYCTL_PASSWORD", nullptr);
    EXPECT_EQ(run.process.exitCode, 1u) << run.describe();
    EXPECT_NE(run.err.find("DSAConnectAgent failed: 85: "), std::string::npos) << run.describe();
    EXPECT_EQ(run.err.find("(no text)"), std::string::npos) << run.describe();
    EXPECT_EQ((run.out + run.err).find("wrong-one"), std::string::npos) << run.describe();
  }
  // A file of the test's own: a password file, or what standard input reads.
  const std::string passwordFile = agentCopy.path("password.txt");
  auto writeFile = [&](const std::string& text) {
    FILE* file = std::fopen(passwordFile.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  };
  // Runs ferryctl with `passwordFile` as its standard input (a file, so no console prompt).
  auto withInput = [&](const std::string& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueFile input(CreateFileA(passwordFile.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit,
                                 OPEN_EXISTING, 0, nullptr));
    HANDLE saved = GetStdHandle(STD_INPUT_HANDLE);
    SetStdHandle(STD_INPUT_HANDLE, input.get());
    CtlRun run = ferryctl(arguments);
    SetStdHandle(STD_INPUT_HANDLE, saved);
    return run;
  };
  {
    SCOPED_TRACE("right password of the installation's owner, from --password-file");
    ASSERT_NO_FATAL_FAILURE(writeFile("ctl-ingres-pw\r\nnot part of it\r\n"));
    CtlRun run = ferryctl(agent + " --password-file " + quoted(passwordFile) + " connect" +
                          instance + "ingres");
    EXPECT_EQ(run.process.exitCode, 0u) << run.describe();
    EXPECT_NE(run.out.find("connected: connection id "), std::string::npos) << run.describe();
    EXPECT_NE(run.out.find("\ndisconnected\n"), std::string::npos) << run.describe();
    EXPECT_EQ(run.out.find("connection id 0\n"), std::string::npos)
        << "id 0 means no connection; " << run.describe();
    EXPECT_EQ((run.out + run.err).find("ctl-ingres-pw"), std::string::npos) << run.describe();
  }
  {
    SCOPED_TRACE("the password file comes before FERRYCTL_PASSWORD");
    SetEnvironmentVariableA("FERRYCTL_PASSWORD", "wrong-one");
    CtlRun run = ferryctl(agent + " --password-file " + quoted(passwordFile) + " connect" +
                          instance + "ingres");
    SetEnvironmentVariableA("FERRYCTL_PASSWORD", nullptr);
    EXPECT_EQ(run.process.exitCode, 0u) << run.describe();
  }
  {
    SCOPED_TRACE("neither file nor variable: one line of standard input when it is no console");
    ASSERT_NO_FATAL_FAILURE(writeFile("ctl-ingres-pw\n"));
    CtlRun run = withInput(agent + " connect" + instance + "ingres");
    EXPECT_EQ(run.process.exitCode, 0u) << run.describe();
    EXPECT_NE(run.out.find("\ndisconnected\n"), std::string::npos) << run.describe();
  }
  {
    SCOPED_TRACE("no password anywhere: a usage error before the agent is called");
    ASSERT_NO_FATAL_FAILURE(writeFile(""));
    CtlRun run = withInput(agent + " connect" + instance + "ingres");
    EXPECT_EQ(run.process.exitCode, 2u) << run.describe();
    EXPECT_NE(run.err.find("ferryctl: no password: name a file with --password-file, set "
                           "FERRYCTL_PASSWORD or type it at the prompt"),
              std::string::npos)
        << run.describe();
    EXPECT_EQ(run.out, "") << run.describe();
    run = ferryctl(agent + " --password-file " + quoted(agentCopy.path("none.txt")) + " connect" +
                   instance + "ingres");
    EXPECT_EQ(run.process.exitCode, 2u) << run.describe();
    EXPECT_NE(run.err.find("cannot be read: system error 2"), std::string::npos) << run.describe();
  }
}

// The bytes of the files directly in `folder` (not below), as the agent measures an object.
uint64_t folderBytes(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &entry));
  if (!find) return 0;
  uint64_t total = 0;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      total += static_cast<uint64_t>(entry.nFileSizeHigh) << 32 | entry.nFileSizeLow;
    }
  } while (FindNextFileA(find.get(), &entry));
  return total;
}

std::string paddedObjectLine(const std::string& name, uint64_t bytes) {
  return name + std::string(name.size() < 40 ? 40 - name.size() : 1, ' ') +
         std::to_string(bytes / 1024) + " KB\n";
}

TEST_F(FerryctlAgent, InfoListPropertiesAndExcludedDirectories) {
  ASSERT_NO_FATAL_FAILURE(install("FL"));
  const std::string second = area("loc2");
  ingsim::DatabaseOptions shop;
  shop.name = "shop";
  shop.journaled = true;
  shop.journalFiles = 2;
  shop.journalFileSize = 8192;
  shop.locations = {{"", {{"aaaaaaab.t00", 300000}}}, {second, {{"aaaaaaac.t00", 70000}}}};
  ASSERT_EQ(ingsim::addDatabase("FL", shop), "");
  ingsim::DatabaseOptions plain;
  plain.name = "plain";
  ASSERT_EQ(ingsim::addDatabase("FL", plain), "");
  const std::string root = installation_->root();
  {
    SCOPED_TRACE("info: the agent information record, one field a line");
    CtlRun info = run("info");
    ASSERT_EQ(info.process.exitCode, 0u) << info.describe();
    EXPECT_EQ(info.out.find("vendor name     Ingres Server\nbuild number    "), 0u)
        << info.describe();
    EXPECT_NE(info.out.find("\nagent version   "), std::string::npos) << info.describe();
    EXPECT_NE(info.out.find("\nlibrary date    "), std::string::npos) << info.describe();
    EXPECT_EQ(info.err, "") << info.describe();
  }
  {
    SCOPED_TRACE("list: every object with its size as measured on disk");
    CtlRun list = run("list");
    ASSERT_EQ(list.process.exitCode, 0u) << list.describe();
    const uint64_t shopData = folderBytes(ingsim::dataFolder(root, "shop")) +
                              folderBytes(ingsim::dataFolder(second, "shop"));
    EXPECT_GE(shopData, 370000u);
    for (const std::string& line :
         {paddedObjectLine("shop.DATA", shopData),
          paddedObjectLine("shop.~CONFIG", folderBytes(ingsim::dumpFolder(root, "shop"))),
          paddedObjectLine("~JOURNAL OF DATABASE shop", 2 * 8192),
          paddedObjectLine("plain.DATA", folderBytes(ingsim::dataFolder(root, "plain")))}) {
      EXPECT_NE(list.out.find(line), std::string::npos) << line << list.describe();
    }
    EXPECT_EQ(list.out.find("~JOURNAL OF DATABASE plain"), std::string::npos)
        << "plain is not journaled; " << list.describe();
  }
  {
    SCOPED_TRACE("list --properties: each object's sheet after its line");
    CtlRun list = run("list", "--properties");
    ASSERT_EQ(list.process.exitCode, 0u) << list.describe();
    size_t at = list.out.find("shop.DATA ");
    ASSERT_NE(at, std::string::npos) << list.describe();
    size_t next = list.out.find("\nshop.~CONFIG ", at);
    ASSERT_NE(next, std::string::npos) << list.describe();
    const std::string sheet = list.out.substr(at, next - at);
    EXPECT_NE(sheet.find("FL\n"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find(" 1 "), std::string::npos) << sheet;
    EXPECT_NE(sheet.find(ingsim::dataFolder(second, "shop")), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("    "), std::string::npos) << "sheet lines are indented; " << sheet;
  }
  {
    SCOPED_TRACE("excluded: each directory the agent covers, one a line");
    CtlRun excluded = run("excluded");
    ASSERT_EQ(excluded.process.exitCode, 0u) << excluded.describe();
    for (const std::string& folder :
         {ingsim::dataFolder(root, "shop"), ingsim::dataFolder(second, "shop"),
          ingsim::dumpFolder(root, "shop"), ingsim::journalFolder(root, "shop"),
          ingsim::dataFolder(root, "plain")}) {
      EXPECT_NE(excluded.out.find("\n" + folder + "\n"), std::string::npos)
          << folder << "; " << excluded.describe();
    }
  }
  {
    SCOPED_TRACE("a wrong password: the logon failure, exit 1, nothing on standard output");
    password_ = "wrong";
    CtlRun list = run("list");
    EXPECT_EQ(list.process.exitCode, 1u) << list.describe();
    EXPECT_NE(list.err.find("DSAConnectAgent failed: 85: "), std::string::npos) << list.describe();
    EXPECT_EQ(list.out, "") << list.describe();
  }
}

// Everything an archive holds, read with every checksum verified.
struct ArchivedFile {
  std::string path;
  std::string checkpoint;
  std::string data;
  ctl::archive::Digest digest{};
};
struct ArchivedObject {
  ctl::archive::ObjectInfo info;
  std::vector<ArchivedFile> files;
};

class ArchiveCollector final : public ctl::archive::ArchiveVisitor {
 public:
  bool onObject(const ctl::archive::ObjectInfo& object) override {
    objects.push_back({object, {}});
    return true;
  }
  bool onFile(const ctl::archive::ObjectHeader& header) override {
    objects.back().files.push_back({ctl::archive::objectHeaderPath(header),
                                    ctl::archive::objectHeaderCheckpoint(header),
                                    "",
                                    {}});
    return true;
  }
  bool onData(std::span<const uint8_t> data) override {
    objects.back().files.back().data.append(reinterpret_cast<const char*>(data.data()),
                                            data.size());
    return true;
  }
  bool onFileEnd(const ctl::archive::FileSummary& summary) override {
    objects.back().files.back().digest = summary.digest;
    return true;
  }
  std::vector<ArchivedObject> objects;
};

std::string readArchive(const std::string& path, std::vector<ArchivedObject>* objects) {
  ctl::ArchiveFileSource source;
  if (std::string error = source.open(path); !error.empty()) return error;
  ctl::Sha256 sha;
  ArchiveCollector collector;
  ctl::archive::ReadResult result = ctl::archive::readArchive(source, collector, &sha);
  *objects = std::move(collector.objects);
  return result.ok() ? sha.error() : result.message;
}

ctl::archive::Digest sha256Of(const std::string& data) {
  ctl::Sha256 sha;
  sha.update({reinterpret_cast<const uint8_t*>(data.data()), data.size()});
  return sha.finish();
}

TEST_F(FerryctlAgent, BackupOfAJournaledTwoLocationDatabaseHoldsEveryFileAsOnDisk) {
  ASSERT_NO_FATAL_FAILURE(install("FM"));
  const std::string second = area("loc2");
  ingsim::DatabaseOptions shop;
  shop.name = "shop";
  shop.journaled = true;
  shop.checkpointSequence = 3;
  shop.journalFiles = 3;
  shop.journalFileSize = 65536;
  shop.dumpFiles = {{"c0000003.dmp", 32768}};
  // A file larger than the console's 1 MiB read buffer, one of 0 and one below 1 KB.
  shop.locations = {{"", {{"aaaaaaab.t00", 300000}, {"aaaaaaac.t00", 0}, {"aaaaaaad.t00", 1023}}},
                    {second, {{"aaaaaaae.t00", (3u << 19) + 7}, {"aaaaaaaf.t00", 4097}}}};
  ASSERT_EQ(ingsim::addDatabase("FM", shop), "");
  ScopedAgentSettings settings("FM");  // tracing on: the trace shows the checkpoint taken over
  ASSERT_EQ(settings.setDebug(1), ERROR_SUCCESS);
  const std::string root = installation_->root();
  const std::string archive = "C:\\ferrytest\\ctl_FM.fya";
  removeAfterwards_.push_back(archive);

  CtlRun backup = run("backup", quoted(archive) + " --database shop");
  ASSERT_EQ(backup.process.exitCode, 0u) << backup.describe();
  EXPECT_EQ(backup.err, "") << "quiet when standard error is not a terminal";
  const uint64_t dataBytes = 300000 + 0 + 1023 + (3u << 19) + 7 + 4097;
  EXPECT_NE(backup.out.find("saved shop.DATA: 5 files, " + std::to_string(dataBytes) + " bytes\n"),
            std::string::npos)
      << backup.describe();
  EXPECT_NE(backup.out.find("saved ~JOURNAL OF DATABASE shop: 3 files, 196608 bytes\n"),
            std::string::npos)
      << backup.describe();
  EXPECT_FALSE(fileExists(archive + ".partial"));

  std::vector<ArchivedObject> objects;
  ASSERT_EQ(readArchive(archive, &objects), "") << "every length and checksum must hold";
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[0].info.name, "shop.DATA");
  EXPECT_EQ(objects[0].info.kind, ctl::archive::ObjectKind::kData);
  EXPECT_EQ(objects[1].info.name, "shop.~CONFIG");
  EXPECT_EQ(objects[1].info.kind, ctl::archive::ObjectKind::kConfiguration);
  EXPECT_EQ(objects[2].info.name, "~JOURNAL OF DATABASE shop");
  EXPECT_EQ(objects[2].info.kind, ctl::archive::ObjectKind::kJournal);

  std::map<std::string, std::string> expected;  // path -> object name
  for (const char* name : {"aaaaaaab.t00", "aaaaaaac.t00", "aaaaaaad.t00"}) {
    expected[ingsim::dataFolder(root, "shop") + "\\" + name] = "shop.DATA";
  }
  for (const char* name : {"aaaaaaae.t00", "aaaaaaaf.t00"}) {
    expected[ingsim::dataFolder(second, "shop") + "\\" + name] = "shop.DATA";
  }
  for (const char* name : {"aaaaaaaa.cnf", "c0000003.dmp"}) {
    expected[ingsim::dumpFolder(root, "shop") + "\\" + name] = "shop.~CONFIG";
  }
  for (const char* name : {"j0000001.jnl", "j0000002.jnl", "j0000003.jnl"}) {
    expected[ingsim::journalFolder(root, "shop") + "\\" + name] = "~JOURNAL OF DATABASE shop";
  }
  std::map<std::string, std::string> found;
  for (const ArchivedObject& object : objects) {
    for (const ArchivedFile& file : object.files) {
      SCOPED_TRACE(object.info.name + ": " + file.path);
      found[file.path] = object.info.name;
      const std::string disk = readWholeFile(file.path);
      EXPECT_EQ(file.data.size(), disk.size());
      EXPECT_TRUE(file.data == disk) << "the archived bytes differ from the file";
      EXPECT_TRUE(file.digest == sha256Of(disk)) << "the archived checksum is not the file's";
    }
  }
  EXPECT_EQ(found, expected) << "every file of the database, each in its object";
  ASSERT_FALSE(objects[0].files.empty());
  ASSERT_FALSE(objects[1].files.empty());
  EXPECT_EQ(objects[0].files[0].checkpoint, "0004") << "the checkpoint after sequence 3";
  // The configuration backup took the data backup's checkpoint number, which it finds only
  // on the same connection (its headers carry no number; the agent's trace shows it).
  EXPECT_NE(readWholeFile(agent_->path("ferryman.trc")).find("beginBackupConfigDump(): ckpdbno= 4"),
            std::string::npos)
      << "the configuration object was not backed up on the data object's connection";

  {
    SCOPED_TRACE("the option bits reach the agent: 0x10 deletes the delivered older journals");
    const std::string older = archive + ".jnl";
    removeAfterwards_.push_back(older);
    CtlRun journals =
        run("backup", quoted(older) + " \"~JOURNAL OF DATABASE shop\" --option-bits 0x10");
    ASSERT_EQ(journals.process.exitCode, 0u) << journals.describe();
    const std::string folder = ingsim::journalFolder(root, "shop");
    EXPECT_FALSE(fileExists(folder + "\\j0000001.jnl"));
    EXPECT_FALSE(fileExists(folder + "\\j0000002.jnl"));
    EXPECT_TRUE(fileExists(folder + "\\j0000003.jnl")) << "the current journal stays";
    std::vector<ArchivedObject> saved;
    ASSERT_EQ(readArchive(older, &saved), "");
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].info.options, 0x10u);
    EXPECT_EQ(saved[0].files.size(), 3u);
  }
  {
    SCOPED_TRACE("a file the agent cannot read: a failed backup, no archive");
    const std::string held = archive + ".held";
    const std::string path = ingsim::dataFolder(root, "shop") + "\\aaaaaaac.t00";
    ferry::UniqueFile lock(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock.valid()) << GetLastError();
    CtlRun failed = run("backup", quoted(held) + " shop.DATA");
    EXPECT_EQ(failed.process.exitCode, 1u) << failed.describe();
    EXPECT_NE(failed.err.find("DSARead(shop.DATA)"), std::string::npos) << failed.describe();
    EXPECT_FALSE(fileExists(held));
    EXPECT_FALSE(fileExists(held + ".partial"));
  }
  {
    SCOPED_TRACE("an object the agent does not know: its code and text, no archive");
    const std::string none = archive + ".none";
    CtlRun failed = run("backup", quoted(none) + " nosuchdb.DATA");
    EXPECT_EQ(failed.process.exitCode, 1u) << failed.describe();
    EXPECT_NE(failed.err.find("DSABeginBackup(nosuchdb.DATA) failed: "), std::string::npos)
        << failed.describe();
    EXPECT_EQ(failed.err.find("(no text)"), std::string::npos) << failed.describe();
    EXPECT_FALSE(fileExists(none));
    EXPECT_FALSE(fileExists(none + ".partial"));
  }
}

TEST_F(FerryctlAgent, RestoreOfAWholeDatabasePutsBackEveryFileAndVerifiesIt) {
  ASSERT_NO_FATAL_FAILURE(install("FK"));
  std::string second;
  ASSERT_EQ(addJournaledShop("FK", 1024, &second), "");
  const std::string first = ingsim::dataFolder(installation_->root(), "shop");
  const std::string secondFolder = ingsim::dataFolder(second, "shop");
  const std::string journals = ingsim::journalFolder(installation_->root(), "shop");
  const std::string dump = ingsim::dumpFolder(installation_->root(), "shop");
  const std::string archive = "C:\\ferrytest\\ctl_FK.fya";
  removeAfterwards_.push_back(archive);
  CtlRun backup = run("backup", quoted(archive) + " --database shop");
  ASSERT_EQ(backup.process.exitCode, 0u) << backup.describe();
  const std::vector<std::string> files = {
      first + "\\aaaaaaab.t00",    first + "\\aaaaaaac.t00",    secondFolder + "\\aaaaaaad.t00",
      journals + "\\j0000001.jnl", journals + "\\j0000002.jnl", dump + "\\aaaaaaaa.cnf",
      dump + "\\c0000001.dmp"};
  std::map<std::string, std::string> before;
  for (const std::string& path : files) before[path] = readWholeFile(path);

  // Damage: files gone from a location, the journals and the dump folder, bytes changed in one.
  for (const std::string& path : {secondFolder + "\\aaaaaaad.t00", journals + "\\j0000001.jnl",
                                  journals + "\\j0000002.jnl", dump + "\\c0000001.dmp"}) {
    ASSERT_TRUE(DeleteFileA(path.c_str())) << path;
  }
  {
    HANDLE file = CreateFileA((first + "\\aaaaaaab.t00").c_str(), GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    UniqueFile owned(file);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "damaged", 7, &written, nullptr);
  }
  // The archive comes before the connect operands.
  CtlRun restore = run("restore " + quoted(archive));
  ASSERT_EQ(restore.process.exitCode, 0u) << restore.describe();
  EXPECT_NE(restore.out.find("restored shop.DATA: 3 files, " +
                             std::to_string(200000 + 1024 + (1u << 20) + 3) + " bytes\n"),
            std::string::npos)
      << restore.describe();
  EXPECT_NE(restore.out.find("verified 7 files: all match the archive\n"), std::string::npos)
      << restore.describe();
  for (const auto& [path, bytes] : before) {
    EXPECT_TRUE(readWholeFile(path) == bytes) << path << " differs after the restore";
  }
  // Journals and configuration went back in place, not beside a file of the same name.
  EXPECT_FALSE(fileExists(journals + "\\j0000001.jnl.0"));
  EXPECT_FALSE(fileExists(dump + "\\aaaaaaaa.cnf.0"));
  {
    SCOPED_TRACE("a target the agent cannot replace: a failed restore, the original kept");
    const std::string config = dump + "\\aaaaaaaa.cnf";
    const std::string original = readWholeFile(config);
    ASSERT_TRUE(SetFileAttributesA(config.c_str(), FILE_ATTRIBUTE_READONLY));
    CtlRun failed = run("restore " + quoted(archive));
    SetFileAttributesA(config.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(failed.process.exitCode, 1u) << failed.describe();
    EXPECT_NE(failed.err.find("DSAWrite(" + config + ")"), std::string::npos) << failed.describe();
    EXPECT_TRUE(readWholeFile(config) == original);
  }
}

// The console as the media side: a remote backup of the journaled two-location database holds
// what the local one holds, file for file and checksum for checksum, and its remote restore
// puts every file back.
TEST_F(FerryctlAgent, RemoteRoundTripMatchesTheLocalOne) {
  ASSERT_NO_FATAL_FAILURE(install("FR"));
  std::string second;
  ASSERT_EQ(addJournaledShop("FR", 0, &second), "");
  const std::string local = "C:\\ferrytest\\ctl_FR_local.fya";
  const std::string remote = "C:\\ferrytest\\ctl_FR_remote.fya";
  removeAfterwards_.push_back(local);
  removeAfterwards_.push_back(remote);
  CtlRun localBackup = run("backup", quoted(local) + " --database shop");
  ASSERT_EQ(localBackup.process.exitCode, 0u) << localBackup.describe();
  CtlRun remoteBackup = run("backup", quoted(remote) + " --database shop --remote");
  ASSERT_EQ(remoteBackup.process.exitCode, 0u) << remoteBackup.describe();
  // Everything but the first line, which names the archive and its time.
  auto contents = [](const std::string& archive) {
    CtlRun list = ferryctl("restore --list " + quoted(archive));
    EXPECT_EQ(list.process.exitCode, 0u) << list.describe();
    return list.out.substr(list.out.find('\n') + 1);
  };
  const std::string listed = contents(local);
  EXPECT_NE(listed.find("3 objects, 7 files"), std::string::npos) << listed;
  EXPECT_EQ(contents(remote), listed);

  const std::string first = ingsim::dataFolder(installation_->root(), "shop");
  const std::string journals = ingsim::journalFolder(installation_->root(), "shop");
  std::map<std::string, std::string> before;
  for (const std::string& path : {first + "\\aaaaaaab.t00", journals + "\\j0000002.jnl"}) {
    before[path] = readWholeFile(path);
    ASSERT_TRUE(DeleteFileA(path.c_str())) << path;
  }
  CtlRun restore = run("restore " + quoted(remote), "--remote");
  ASSERT_EQ(restore.process.exitCode, 0u) << restore.describe();
  EXPECT_NE(restore.out.find("verified 7 files: all match the archive\n"), std::string::npos)
      << restore.describe();
  for (const auto& [path, bytes] : before) EXPECT_TRUE(readWholeFile(path) == bytes) << path;
}

// Every file that the agent, the Ingres utilities, the extractor and the console write for a
// whole round of commands, with every trace switched on, is searched for the password.
TEST_F(FerryctlAgent, PasswordIsNeverWrittenToAnyFile) {
  ASSERT_NO_FATAL_FAILURE(install("FP"));
  const std::string secret = "Zq7#ferry!Secret";      // no file has a reason to hold it
  const std::string wrongSecret = "Zq7#ferry!Wrong";  // nor a mistyped one
  password_ = secret;
  account_.reset();
  account_ = std::make_unique<ScopedAccount>(ingsim::Account{"ingres", secret, ""});
  ASSERT_EQ(account_->error(), "");
  const std::string second = area("loc2");
  ingsim::DatabaseOptions shop;
  shop.name = "shop";
  shop.journaled = true;
  shop.journalFiles = 2;
  shop.dumpFiles = {{"c0000001.dmp", 2048}};
  shop.locations = {{"", {{"aaaaaaab.t00", 5000}}}, {second, {{"aaaaaaac.t00", 7000}}}};
  ASSERT_EQ(ingsim::addDatabase("FP", shop), "");
  ScopedAgentSettings settings("FP");
  ASSERT_EQ(settings.setDebug(1), ERROR_SUCCESS);
  ASSERT_EQ(settings.setDll(agent_->path("ferryman.dll")), ERROR_SUCCESS);  // siphon traces
  const std::string archive = "C:\\ferrytest\\ctl_FP.fya";
  removeAfterwards_.push_back(archive);

  std::string console;  // everything the console printed
  const std::pair<std::string, std::string> commands[] = {
      {"connect", ""},
      {"info", ""},
      {"list", "--properties"},
      {"excluded", ""},
      {"backup", quoted(archive) + " --database shop"},
      {"restore " + quoted(archive), ""}};
  for (const auto& [command, rest] : commands) {
    CtlRun ran = run(command, rest);
    EXPECT_EQ(ran.process.exitCode, 0u) << command << ": " << ran.describe();
    console += ran.out + ran.err;
  }
  password_ = wrongSecret;
  CtlRun refused = run("connect");
  EXPECT_EQ(refused.process.exitCode, 1u) << refused.describe();
  console += refused.out + refused.err;

  // The traces were written, so a password in them would be found.
  const std::vector<std::string> agentFiles = filesBelow(agent_->folder());
  auto named = [&](const std::string& part) {
    for (const std::string& path : agentFiles) {
      if (path.find(part) != std::string::npos) return true;
    }
    return false;
  };
  EXPECT_NE(readWholeFile(agent_->path("ferryman.trc")).find("DSAConnectAgent"), std::string::npos);
  EXPECT_TRUE(fileExists(agent_->path("ferryman.log")));
  EXPECT_TRUE(named("\\siphon")) << "no extractor trace in " << agent_->folder();
  EXPECT_TRUE(named("\\ckpdbFPshop.out")) << "no checkpoint output in " << agent_->folder();
  EXPECT_TRUE(named("\\rollFPshop.out")) << "no roll-forward output in " << agent_->folder();

  std::vector<std::string> searched = agentFiles;
  for (const std::string& folder : {installation_->root(), second}) {
    for (const std::string& path : filesBelow(folder)) searched.push_back(path);
  }
  searched.push_back(archive);
  // The root of C:, where earlier agents wrote utility output.
  for (const std::string& path : filesMatching("C:\\*")) searched.push_back(path);
  for (const std::string& path : searched) {
    const std::string text = readWholeFile(path);
    EXPECT_EQ(text.find(secret), std::string::npos) << path << " holds the password";
    EXPECT_EQ(text.find(wrongSecret), std::string::npos) << path << " holds the wrong password";
  }
  EXPECT_EQ(console.find(secret), std::string::npos) << console;
  EXPECT_EQ(console.find(wrongSecret), std::string::npos) << console;
  EXPECT_GT(searched.size(), 20u) << "the search found hardly any file";
}

// An installation below a folder whose name has a blank: every utility's program path is
// quoted, so the backup and the restore run the installation's own utilities.
TEST_F(FerryctlAgent, InstallationBelowAFolderWithABlankBacksUpAndRestores) {
  ASSERT_NO_FATAL_FAILURE(install("FB", "C:\\ferrytest\\Program Files\\FB"));
  removeAfterwards_.push_back("C:\\ferrytest\\Program Files");
  ingsim::DatabaseOptions db;
  db.name = "spaced";
  db.journaled = true;
  db.journalFiles = 1;
  db.locations = {{"", {{"aaaaaaab.t00", 70000}, {"aaaaaaac.t00", 10}}}};
  ASSERT_EQ(ingsim::addDatabase("FB", db), "");
  const std::string archive = "C:\\ferrytest\\ctl_FB.fya";
  removeAfterwards_.push_back(archive);
  CtlRun backup = run("backup", quoted(archive) + " --database spaced");
  ASSERT_EQ(backup.process.exitCode, 0u) << backup.describe();
  const std::string file = ingsim::dataFolder(installation_->root(), "spaced") + "\\aaaaaaab.t00";
  const std::string before = readWholeFile(file);
  ASSERT_TRUE(DeleteFileA(file.c_str()));
  CtlRun restore = run("restore " + quoted(archive));
  ASSERT_EQ(restore.process.exitCode, 0u) << restore.describe();
  EXPECT_NE(restore.out.find("all match the archive"), std::string::npos) << restore.describe();
  EXPECT_TRUE(readWholeFile(file) == before);
}

}  // namespace
}  // namespace ferry::test
