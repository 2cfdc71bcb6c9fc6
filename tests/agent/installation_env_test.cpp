// The connection's installation environment against simulated installations: the root found
// in the registry and published, the ingprenv variable cache, single variable lookups, the
// journal sequence from infodb and the installation owner.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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

using SetIISYSTEMFn = int (*)(ConnectionRecord*);
using GetVarValueFn = int (*)(ConnectionRecord*, const char*, char*);
using GetInfodbInfoFn = int (*)(ConnectionRecord*, const char*, HANDLE);
using GetOwnerFn = void (*)(ConnectionRecord*, char*, size_t);

class InstallationEnvironmentTest : public testing::Test {
 protected:
  ScopedTestDirectory testDirectory_;  // made first, undone last
  void SetUp() override {
    savedMachineRoot_ = machineEnvironmentValue("II_SYSTEM");
    savedRoot_ = processEnvironmentValue("II_SYSTEM");
    savedPath_ = processEnvironmentValue("PATH");

    agent_ = std::make_unique<AgentCopy>("env", catalogCompanions());
    ASSERT_EQ(agent_->setupError(), "");
    ASSERT_EQ(agent_->load(), 0u);
    ASSERT_EQ(agent_->bind(), "");
    HMODULE module = agent_->module();
    setIISYSTEM_ = reinterpret_cast<SetIISYSTEMFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "FerryTestSetIISYSTEM")));
    getVarValue_ = reinterpret_cast<GetVarValueFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "FerryTestGetVarValue")));
    getInfodbInfo_ = reinterpret_cast<GetInfodbInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "FerryTestGetInfodbInfo")));
    getOwner_ = reinterpret_cast<GetOwnerFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "FerryTestGetInstallationOwner")));
    ASSERT_TRUE(setIISYSTEM_ && getVarValue_ && getInfodbInfo_ && getOwner_)
        << "installation exports missing from the testbed library";
  }
  void TearDown() override {
    if (agent_ && agent_->module() != nullptr) {
      for (ConnectionRecord* r : records_) agent_->api().DestroyRecord(r);
    }
    agent_.reset();
    for (const std::string& file : outputFiles_) DeleteFileA(file.c_str());
    setMachineEnvironmentValue("II_SYSTEM", savedMachineRoot_);
    restoreProcessEnvironmentValue("II_SYSTEM", savedRoot_);
    restoreProcessEnvironmentValue("PATH", savedPath_);
  }
  ConnectionRecord* record(const std::string& code) {
    ConnectionRecord* r = agent_->api().CreateRecord(code.c_str(), 1);
    records_.push_back(r);
    for (const char* stem : {"env", "ingprenv", "infodb"}) {
      outputFiles_.push_back(std::string("C:\\") + stem + code + ".out");
    }
    return r;
  }
  // The .out files in the agent folder and those of installation `code` on the root of C:,
  // where earlier agents wrote them; one name per line.
  std::string outputFilesLeft(const std::string& code) {
    std::string names;
    for (const std::string& pattern : {agent_->path("*.out"), "C:\\*" + code + "*.out"}) {
      for (const std::string& path : filesMatching(pattern)) {
        names += path.substr(path.rfind('\\') + 1) + "\n";
      }
    }
    return names;
  }
  std::string cachedValue(ConnectionRecord* ci, const std::string& name) {
    for (int i = 0; i < 32; ++i) {
      if (name == ci->installation.envNames[i]) return ci->installation.envValues[i];
    }
    return "<not cached>";
  }

  std::unique_ptr<AgentCopy> agent_;
  std::vector<ConnectionRecord*> records_;
  std::vector<std::string> outputFiles_;
  std::string savedMachineRoot_, savedRoot_, savedPath_;
  SetIISYSTEMFn setIISYSTEM_ = nullptr;
  GetVarValueFn getVarValue_ = nullptr;
  GetInfodbInfoFn getInfodbInfo_ = nullptr;
  GetOwnerFn getOwner_ = nullptr;
};

TEST_F(InstallationEnvironmentTest, RegisteredRootIsPublishedAndVariablesCachedOnce) {
  TestInstallation installation(installationOptions("EA"));
  ASSERT_EQ(installation.error(), "");
  ASSERT_EQ(ingsim::setVariable("EA", "EA_PLAIN", "one"), "");
  ASSERT_EQ(ingsim::setVariable("EA", "EA_EQUALS", "a=b"), "");
  ConnectionRecord* ci = record("EA");

  int result = setIISYSTEM_(ci);
  ASSERT_EQ(result, 0) << "result " << result;
  const std::string root = installation.root();
  EXPECT_EQ(std::string(ci->installation.iiSystem), root);
  const std::string expectedPath = root + "\\ingres\\bin;" + root + "\\ingres\\utility;" + root +
                                   "\\ingres\\vdba;" + agent_->api().SavedPath();
  EXPECT_EQ(std::string(ci->installation.pathValue), expectedPath);
  EXPECT_EQ(machineEnvironmentValue("II_SYSTEM"), root) << "machine-wide II_SYSTEM";
  EXPECT_EQ(processEnvironmentValue("II_SYSTEM"), root)
      << "the failed broadcast leaves it to the agent";
  EXPECT_EQ(processEnvironmentValue("PATH"), expectedPath);
  {
    SCOPED_TRACE("cache and process environment");
    EXPECT_EQ(cachedValue(ci, "EA_PLAIN"), "one");
    EXPECT_EQ(cachedValue(ci, "EA_EQUALS"), "a=b") << "a further '=' stays in the value";
    EXPECT_EQ(processEnvironmentValue("EA_PLAIN"), "one");
    EXPECT_EQ(processEnvironmentValue("EA_EQUALS"), "a=b");
  }
  {
    SCOPED_TRACE("second call: no ingprenv, the cached variables set again");
    const std::string program = installation.bin() + "\\ingprenv.exe";
    ASSERT_TRUE(MoveFileA(program.c_str(), (program + ".away").c_str()))
        << "error " << GetLastError();
    SetEnvironmentVariableA("EA_PLAIN", nullptr);
    result = setIISYSTEM_(ci);
    EXPECT_EQ(result, 0) << "result " << result << " (ingprenv was run again?)";
    EXPECT_EQ(processEnvironmentValue("EA_PLAIN"), "one");
    SetEnvironmentVariableA("EA_PLAIN", nullptr);
    SetEnvironmentVariableA("EA_EQUALS", nullptr);
  }
}

TEST_F(InstallationEnvironmentTest, RootFallsBackToTheAgentEnvironment) {
  TestInstallation installation(installationOptions("EB"));
  ASSERT_EQ(installation.error(), "");
  // An installation that registers no key, as before Ingres 2.6.
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvane\\IngresII\\EB_Installation"), 0);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvane\\IngresII\\EB_Installation");
  setMachineEnvironmentValue("II_SYSTEM", "C:\\ferrytest\\untouched");
  SetEnvironmentVariableA("II_SYSTEM", installation.root().c_str());
  ConnectionRecord* ci = record("EB");

  int result = setIISYSTEM_(ci);
  ASSERT_EQ(result, 0) << "result " << result;
  EXPECT_EQ(std::string(ci->installation.iiSystem), installation.root());
  EXPECT_EQ(machineEnvironmentValue("II_SYSTEM"), "C:\\ferrytest\\untouched")
      << "not written on this path";
  EXPECT_NE(ci->installation.envNames[0][0], '\0') << "ingprenv listing cached";

  SetEnvironmentVariableA("II_SYSTEM", nullptr);
  ingsim::removeInstallation("EZ");  // no key may exist for this code
  ConnectionRecord* orphan = record("EZ");
  result = setIISYSTEM_(orphan);
  // A system error the server can read, not a bare 10000 without a cause.
  EXPECT_EQ(result, static_cast<int>(10000 + ERROR_ENVVAR_NOT_FOUND))
      << "no key and no II_SYSTEM: result " << result;
  EXPECT_EQ(orphan->installation.iiSystem[0], '\0') << "root " << orphan->installation.iiSystem;
}

// Each build reads the installation keys in the registry view of its own bitness, and says so:
// a key that only the other view holds (an installation of the other bitness) is not found.
TEST_F(InstallationEnvironmentTest, InstallationKeysAreReadInTheAgentsOwnRegistryView) {
#if defined(_WIN64)
  const REGSAM ownView = KEY_WOW64_64KEY, otherView = KEY_WOW64_32KEY;
  const std::string viewLine = "SetIISYSTEM(): reading the 64-bit registry view";
#else
  const REGSAM ownView = KEY_WOW64_32KEY, otherView = KEY_WOW64_64KEY;
  const std::string viewLine = "SetIISYSTEM(): reading the 32-bit (WOW6432Node) registry view";
#endif
  TestInstallation installation(installationOptions("EV"));
  ASSERT_EQ(installation.error(), "");
  ScopedAgentSettings settings("EV");  // the trace on, in the agent key of this build's view
  ASSERT_EQ(settings.setDebug(1), ERROR_SUCCESS);
  const std::string keyName = "SOFTWARE\\Norvane\\IngresII\\EV_Installation";
  const std::string root = installation.root();
  auto moveKey = [&](REGSAM from, REGSAM to) {
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, nullptr, 0, KEY_WRITE | to,
                              nullptr, key.put(), nullptr),
              0);
    ASSERT_EQ(RegSetValueExA(key.get(), "II_SYSTEM", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(root.c_str()),
                             static_cast<DWORD>(root.size() + 1)),
              0);
    ASSERT_EQ(RegDeleteKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), from, 0), 0);
  };
  ScopeExit cleanOtherView([&] {
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), otherView, 0);  // gone already, mostly
  });
  {
    SCOPED_TRACE("the key in the other view only: not found, the agent's environment decides");
    moveKey(ownView, otherView);
    setMachineEnvironmentValue("II_SYSTEM", "C:\\ferrytest\\untouched");
    SetEnvironmentVariableA("II_SYSTEM", root.c_str());
    ConnectionRecord* ci = record("EV");
    EXPECT_EQ(setIISYSTEM_(ci), 0);
    EXPECT_EQ(machineEnvironmentValue("II_SYSTEM"), "C:\\ferrytest\\untouched")
        << "published only from a key that was found";
    const std::string trace = readWholeFile(agent_->path("ferryman.trc"));
    EXPECT_NE(trace.find(viewLine), std::string::npos) << trace;
    EXPECT_NE(trace.find("SetIISYSTEM(): can not open " + keyName + "."), std::string::npos)
        << trace;
    SetEnvironmentVariableA("II_SYSTEM", nullptr);
  }
  {
    SCOPED_TRACE("the key back in the agent's own view: found and published");
    moveKey(otherView, ownView);
    ConnectionRecord* ci = record("EV");
    EXPECT_EQ(setIISYSTEM_(ci), 0);
    EXPECT_EQ(std::string(ci->installation.iiSystem), root);
    EXPECT_EQ(machineEnvironmentValue("II_SYSTEM"), root);
  }
}

TEST_F(InstallationEnvironmentTest, IngprenvThatNeverEndsFailsWithOne) {
  TestInstallation installation(installationOptions("EC"));
  ASSERT_EQ(installation.error(), "");
  const std::string program = installation.bin() + "\\ingprenv.exe";
  ASSERT_TRUE(CopyFileA((binDir() + "\\ag_hang_utility.exe").c_str(), program.c_str(),
                        /*failIfExists=*/FALSE))
      << "error " << GetLastError();
  ConnectionRecord* ci = record("EC");

  int result = setIISYSTEM_(ci);
  EXPECT_EQ(result, 1) << "result " << result;
  EXPECT_EQ(ci->installation.envNames[0][0], '\0') << "cache " << ci->installation.envNames[0];
}

TEST_F(InstallationEnvironmentTest, VariableValuesComeFromCacheOrIngprenv) {
  TestInstallation installation(installationOptions("ED"));
  ASSERT_EQ(installation.error(), "");
  ASSERT_EQ(ingsim::setVariable("ED", "ED_CACHED", "early"), "");
  ConnectionRecord* ci = record("ED");
  ASSERT_EQ(setIISYSTEM_(ci), 0);
  char value[256];
  {
    SCOPED_TRACE("cached: no process");
    const std::string program = installation.bin() + "\\ingprenv.exe";
    ASSERT_TRUE(MoveFileA(program.c_str(), (program + ".away").c_str()))
        << "error " << GetLastError();
    std::memset(value, 0xbd, sizeof value);
    int result = getVarValue_(ci, "ED_CACHED", value);
    EXPECT_EQ(result, 0) << "result " << result << " (ingprenv was run for a cached name?)";
    EXPECT_STREQ(value, "early");
    ASSERT_TRUE(MoveFileA((program + ".away").c_str(), program.c_str()))
        << "error " << GetLastError();
  }
  {
    SCOPED_TRACE("not cached: ingprenv NAME");
    ASSERT_EQ(ingsim::setVariable("ED", "ED_LATE", "late value"), "");
    int result = getVarValue_(ci, "ED_LATE", value);
    EXPECT_EQ(result, 0) << "result " << result;
    EXPECT_STREQ(value, "late value") << "without the newline";
    EXPECT_EQ(outputFilesLeft("ED"), "") << "the run's output outlived it";
  }
  {
    SCOPED_TRACE("unset: empty output");
    std::strcpy(value, "before");
    int result = getVarValue_(ci, "ED_NEVER_SET", value);
    EXPECT_EQ(result, 1) << "result " << result << " value " << value;
  }
}

TEST_F(InstallationEnvironmentTest, JournalSequenceIsReadFromInfodb) {
  TestInstallation installation(installationOptions("EE"));
  ASSERT_EQ(installation.error(), "");
  ingsim::DatabaseOptions journaled;
  journaled.name = "jdb";
  journaled.journaled = true;
  journaled.journalFiles = 3;
  ASSERT_EQ(ingsim::addDatabase("EE", journaled), "");
  ingsim::DatabaseOptions plain;
  plain.name = "plaindb";
  ASSERT_EQ(ingsim::addDatabase("EE", plain), "");
  ConnectionRecord* ci = record("EE");
  for (const char* db : {"jdb", "plaindb"})
    outputFiles_.push_back(std::string("C:\\infodbEE") + db + ".out");
  ASSERT_EQ(setIISYSTEM_(ci), 0);

  int result = getInfodbInfo_(ci, "jdb", INVALID_HANDLE_VALUE);
  EXPECT_EQ(result, 0) << "result " << result;
  EXPECT_EQ(ci->backup.currentJournalNumber, 3) << "number " << ci->backup.currentJournalNumber;

  result = getInfodbInfo_(ci, "plaindb", INVALID_HANDLE_VALUE);
  EXPECT_EQ(result, 0) << "result " << result;
  EXPECT_EQ(ci->backup.currentJournalNumber, 0) << "number " << ci->backup.currentJournalNumber;
}

TEST_F(InstallationEnvironmentTest, PlantedOutputFilesAreNeverRead) {
  TestInstallation installation(installationOptions("EK"));
  ASSERT_EQ(installation.error(), "");
  ingsim::DatabaseOptions journaled;
  journaled.name = "jdb";
  journaled.journaled = true;
  journaled.journalFiles = 3;
  ASSERT_EQ(ingsim::addDatabase("EK", journaled), "");
  ConnectionRecord* ci = record("EK");
  // What someone who got there first would have the agent read: a variable of their own, and a
  // journal number that would make the clean-up delete the active journal.
  const std::string plantedListing = "EK_PLANTED=yes\n";
  const std::string plantedReport =
      "----Journal information----------------------------------\n"
      "    Journal sequence : 99\n";
  const std::string pid = std::to_string(GetCurrentProcessId());
  std::vector<std::pair<std::string, std::string>> planted = {
      {"C:\\envEK.out", plantedListing},  // the names earlier agents used
      {"C:\\infodbEKjdb.out", plantedReport},
      {agent_->path("envEK.out"), plantedListing},
      {agent_->path("infodbEKjdb.out"), plantedReport},
  };
  // The names of this agent's own first runs: the listing is the first, the report the next.
  for (int run = 1; run <= 4; ++run) {
    planted.push_back(
        {agent_->path("envEK-" + pid + "-" + std::to_string(run) + ".out"), plantedListing});
    planted.push_back(
        {agent_->path("infodbEKjdb-" + pid + "-" + std::to_string(run) + ".out"), plantedReport});
  }
  for (const auto& [path, text] : planted) {
    outputFiles_.push_back(path);
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }

  int result = setIISYSTEM_(ci);
  ASSERT_EQ(result, 0) << "result " << result;
  EXPECT_EQ(cachedValue(ci, "EK_PLANTED"), "<not cached>");
  EXPECT_EQ(cachedValue(ci, "II_INSTALLATION"), "EK") << "the listing ingprenv printed";
  result = getInfodbInfo_(ci, "jdb", INVALID_HANDLE_VALUE);
  EXPECT_EQ(result, 0) << "result " << result;
  EXPECT_EQ(ci->backup.currentJournalNumber, 3) << "number " << ci->backup.currentJournalNumber;

  for (const auto& [path, text] : planted) {
    EXPECT_EQ(readWholeFile(path), text) << path << " was written to";
  }
  std::string left = outputFilesLeft("EK");
  for (const auto& entry : planted) {
    const std::string name = entry.first.substr(entry.first.rfind('\\') + 1);
    if (size_t at = left.find(name + "\n"); at != std::string::npos)
      left.erase(at, name.size() + 1);
  }
  EXPECT_EQ(left, "") << "output files of the runs left behind";
}

TEST_F(InstallationEnvironmentTest, UtilitiesThatNeverEndAreEndedAtTheirLimit) {
  TestInstallation installation(installationOptions("EL"));
  ASSERT_EQ(installation.error(), "");
  ConnectionRecord* ci = record("EL");
  ASSERT_EQ(setIISYSTEM_(ci), 0);
  auto setLimits = reinterpret_cast<void (*)(DWORD, DWORD)>(
      reinterpret_cast<void*>(GetProcAddress(agent_->module(), "FerryTestSetWaitLimits")));
  ASSERT_NE(setLimits, nullptr);
  setLimits(1500, 0);
  const std::string hang = binDir() + "\\ag_hang_utility.exe";
  for (const char* program : {"ingprenv.exe", "infodb.exe"}) {
    const std::string path = installation.bin() + "\\" + program;
    ASSERT_TRUE(CopyFileA(hang.c_str(), path.c_str(), /*failIfExists=*/FALSE))
        << program << ": error " << GetLastError();
  }
  constexpr int kTimedOut = 10000 + ERROR_TIMEOUT;
  {
    SCOPED_TRACE("ingprenv NAME");
    char value[256] = "before";
    int result = getVarValue_(ci, "EL_NOT_CACHED", value);
    EXPECT_EQ(result, kTimedOut) << "result " << result;
    EXPECT_STREQ(value, "before");
  }
  {
    SCOPED_TRACE("infodb DATABASE");
    ci->backup.currentJournalNumber = 5;
    int result = getInfodbInfo_(ci, "eldb", INVALID_HANDLE_VALUE);
    EXPECT_EQ(result, kTimedOut) << "result " << result;
  }
  // Ended, not left behind: their files can be replaced at once.
  for (const char* program : {"ingprenv.exe", "infodb.exe"}) {
    const std::string path = installation.bin() + "\\" + program;
    EXPECT_TRUE(DeleteFileA(path.c_str())) << program << " still runs: error " << GetLastError();
  }
  EXPECT_EQ(outputFilesLeft("EL"), "");
}

TEST_F(InstallationEnvironmentTest, OwnerComesFromVersionLogOrConfig) {
  auto ownerOf = [&](const std::string& code, const char* version, const std::string& root) {
    ConnectionRecord* ci = record(code);
    std::snprintf(ci->connInfo.version, sizeof ci->connInfo.version, "%s", version);
    std::snprintf(ci->installation.iiSystem, sizeof ci->installation.iiSystem, "%s", root.c_str());
    char owner[256] = "<unchanged>";
    getOwner_(ci, owner, sizeof owner);
    return std::string(owner);
  };
  EXPECT_EQ(ownerOf("EF", "2", "C:\\ferrytest\\EF-none"), "ingres") << "version 2 reads no file";

  auto v3 = [](const std::string& code, const std::string& logOwner,
               std::vector<std::string> users) {
    ingsim::InstallationOptions options = installationOptions(code, 3);
    options.installLogOwner = logOwner;
    options.configDatUsers = std::move(users);
    return options;
  };
  {
    TestInstallation installation(v3("EG", "logowner", {"system", "ingres"}));
    ASSERT_EQ(installation.error(), "");
    EXPECT_EQ(ownerOf("EG", "3", installation.root()), "logowner") << "install.log first";
  }
  {
    TestInstallation installation(v3("EH", "", {"system", "administrator", "ingres"}));
    ASSERT_EQ(installation.error(), "");
    EXPECT_EQ(ownerOf("EH", "3", installation.root()), "ingres");
  }
  {
    TestInstallation installation(v3("EI", "", {"system", "administrator"}));
    ASSERT_EQ(installation.error(), "");
    EXPECT_EQ(ownerOf("EI", "3", installation.root()), "administrator");
  }
  {
    TestInstallation installation(v3("EJ", "", {"system"}));
    ASSERT_EQ(installation.error(), "");
    EXPECT_EQ(ownerOf("EJ", "3", installation.root()), "<unchanged>");
  }
}

}  // namespace
}  // namespace ferry::test
