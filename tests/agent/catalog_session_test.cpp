// The agent's catalog layer against simulated installations: the library chosen by the major
// version, the owner check and the session-id retries, the database list with its journal
// entries and size limits, and the journal, dump and data destinations.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "agent_fixture.h"
#include "ingsim/installation.h"
#include "sounder.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

constexpr size_t kDestinationSize = 1024;
constexpr unsigned char kGuard = 0xbd;

using ConnectFn = int (*)(ConnectionRecord*, const char*);
using DisconnectFn = int (*)(ConnectionRecord*);
using DbListFn = int (*)(ConnectionRecord*, char*, int*, int*);
using DestFn = int (*)(ConnectionRecord*, const char*, char*);
using DataDestFn = int (*)(ConnectionRecord*, const char*, char*, size_t);
using LocNumFn = int (*)(ConnectionRecord*, const char*);
using CallFn = int (*)(const char*, const char*);

std::string root(const std::string& code) { return "C:\\ferrytest\\" + code; }

// An installation of the test's own, its owner (if any) named in install.log.
ingsim::InstallationOptions ownerOptions(const std::string& code, int majorVersion,
                                         const std::string& owner = "") {
  ingsim::InstallationOptions options = installationOptions(code, majorVersion);
  options.installLogOwner = owner;
  return options;
}

// An account whose password is "pw-" and its name.
ingsim::Account accountNamed(const std::string& name) { return {name, "pw-" + name, ""}; }

// The packed entries of a list up to its empty entry (at most `size` bytes).
std::vector<std::string> entries(const char* buffer, int size) {
  std::vector<std::string> out;
  int at = 0;
  while (at < size && buffer[at] != '\0') {
    std::string entry(buffer + at);
    out.push_back(entry);
    at += static_cast<int>(entry.size()) + 1;
  }
  return out;
}

// The list with its first `names` entries sorted: the catalog's order is its own.
std::vector<std::string> namesSorted(std::vector<std::string> list, size_t names) {
  std::sort(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(std::min(names, list.size())));
  return list;
}

std::string joined(const std::vector<std::string>& list) {
  std::string text;
  for (const std::string& entry : list) text += "[" + entry + "]";
  return text;
}

// Index of the first byte after `used` that is not a guard byte, or -1.
int firstChangedGuard(const std::vector<char>& buffer, size_t used) {
  for (size_t i = used; i < buffer.size(); ++i) {
    if (static_cast<unsigned char>(buffer[i]) != kGuard) return static_cast<int>(i);
  }
  return -1;
}

class CatalogSessionTest : public testing::Test {
 protected:
  ScopedTestDirectory testDirectory_;  // made first, undone last
  void SetUp() override {
    savedMachineRoot_ = machineEnvironmentValue("II_SYSTEM");
    savedRoot_ = processEnvironmentValue("II_SYSTEM");
    savedPath_ = processEnvironmentValue("PATH");
  }
  void TearDown() override {
    if (agent_ && agent_->module() != nullptr) {
      agent_->api().RevertToSelf();
      for (ConnectionRecord* r : records_) agent_->api().DestroyRecord(r);
    }
    agent_.reset();
    settings_.clear();
    for (const std::string& file : outputFiles_) DeleteFileA(file.c_str());
    setMachineEnvironmentValue("II_SYSTEM", savedMachineRoot_);
    restoreProcessEnvironmentValue("II_SYSTEM", savedRoot_);
    restoreProcessEnvironmentValue("PATH", savedPath_);
  }

  void loadAgent(const std::string& caseName, bool withIngres3Library = true) {
    std::vector<Companion> companions = {{"sounder26.dll", "sounder26.dll"},
                                         {"ferryres.dll", "ferryres.dll"}};
    if (withIngres3Library) companions.push_back({"sounder30.dll", "sounder30.dll"});
    agent_ = std::make_unique<AgentCopy>(caseName, companions);
    ASSERT_EQ(agent_->setupError(), "");
    ASSERT_EQ(agent_->load(), 0u);
    ASSERT_EQ(agent_->bind(), "");
    HMODULE module = agent_->module();
    auto bind = [&](const char* name) {
      void* address = reinterpret_cast<void*>(GetProcAddress(module, name));
      EXPECT_NE(address, nullptr) << name << " missing from the testbed library";
      return address;
    };
    call_ = reinterpret_cast<CallFn>(bind("FerryTestCatalogCall"));
    connect_ = reinterpret_cast<ConnectFn>(bind("FerryTestCatalogConnect"));
    disconnect_ = reinterpret_cast<DisconnectFn>(bind("FerryTestCatalogDisconnect"));
    dbList_ = reinterpret_cast<DbListFn>(bind("FerryTestCatalogDbList"));
    journalDest_ = reinterpret_cast<DestFn>(bind("FerryTestCatalogJournalDest"));
    dumpDest_ = reinterpret_cast<DestFn>(bind("FerryTestCatalogDumpDest"));
    dataLocNum_ = reinterpret_cast<LocNumFn>(bind("FerryTestCatalogDataLocNum"));
    dataDest_ = reinterpret_cast<DataDestFn>(bind("FerryTestCatalogDataDest"));
  }

  ConnectionRecord* record(const std::string& code, const std::string& login, int connectionId) {
    // Trace lines are written only with the debug setting of the installation code.
    settings_.push_back(std::make_unique<ScopedAgentSettings>(code));
    EXPECT_EQ(settings_.back()->setDebug(1), ERROR_SUCCESS) << code;
    ConnectionRecord* r = agent_->api().CreateRecord(code.c_str(), 1);
    records_.push_back(r);
    r->connectionId = connectionId;
    std::snprintf(r->connInfo.loginName, sizeof r->connInfo.loginName, "%s", login.c_str());
    std::snprintf(r->connInfo.password, sizeof r->connInfo.password, "pw-%s", login.c_str());
    for (const char* stem : {"env", "ingprenv", "infodb"}) {
      outputFiles_.push_back(std::string("C:\\") + stem + code + ".out");
    }
    return r;
  }
  std::string traceText() { return readWholeFile(agent_->path("ferryman.trc")); }
  std::string activityText() { return readWholeFile(agent_->path("ferryman.log")); }

  std::unique_ptr<AgentCopy> agent_;
  std::vector<ConnectionRecord*> records_;
  std::vector<std::unique_ptr<ScopedAgentSettings>> settings_;
  std::vector<std::string> outputFiles_;
  std::string savedMachineRoot_, savedRoot_, savedPath_;
  CallFn call_ = nullptr;
  ConnectFn connect_ = nullptr;
  DisconnectFn disconnect_ = nullptr;
  DbListFn dbList_ = nullptr;
  DestFn journalDest_ = nullptr;
  DestFn dumpDest_ = nullptr;
  LocNumFn dataLocNum_ = nullptr;
  DataDestFn dataDest_ = nullptr;
};

TEST_F(CatalogSessionTest, VersionFileChoosesLibraryAndOwner) {
  ASSERT_NO_FATAL_FAILURE(loadAgent("cat_version"));
  {
    SCOPED_TRACE("major version 2: owner ingres");
    TestInstallation installation(ownerOptions("CA", 2));
    ASSERT_EQ(installation.error(), "");
    ConnectionRecord* ci = record("CA", "ingres", 3);
    int result = connect_(ci, "iidbdb");
    ASSERT_EQ(result, 0) << "result " << result << "\n" << traceText();
    EXPECT_STREQ(ci->connInfo.version, "2");
    EXPECT_STREQ(ci->installation.installationOwner, "ingres");
    EXPECT_EQ(ci->connInfo.sessionId, 3);
    EXPECT_EQ(ci->connInfo.connected, 1);
    EXPECT_STREQ(ci->connInfo.connectedDb, "iidbdb");
    result = disconnect_(ci);
    EXPECT_EQ(result, 0) << "result " << result;
    EXPECT_EQ(ci->connInfo.sessionId, 0) << "after disconnect";
    EXPECT_EQ(ci->connInfo.connected, 0) << "after disconnect";
    EXPECT_STREQ(ci->connInfo.connectedDb, "");
  }
  {
    SCOPED_TRACE("major version 3: owner from install.log; another login is refused");
    TestInstallation installation(ownerOptions("CB", 3, "cbowner"));
    ASSERT_EQ(installation.error(), "");
    ConnectionRecord* ci = record("CB", "CBOWNER", 4);
    int result = connect_(ci, "iidbdb");
    ASSERT_EQ(result, 0) << "result " << result << " (owner compared ignoring case)\n"
                         << traceText();
    EXPECT_STREQ(ci->connInfo.version, "3");
    EXPECT_STREQ(ci->installation.installationOwner, "cbowner");
    EXPECT_EQ(disconnect_(ci), 0);

    ConnectionRecord* stranger = record("CB", "cbstranger", 6);
    result = connect_(stranger, "iidbdb");
    EXPECT_EQ(result, 7) << "result " << result;
    EXPECT_EQ(stranger->connInfo.connected, 0);
    EXPECT_NE(traceText().find("the login name(cbstranger) is not the instllation "
                               "owner(cbowner)"),
              std::string::npos)
        << traceText();
    EXPECT_NE(activityText().find("the login is not the installation owner"), std::string::npos)
        << "activity entry 62 missing:\n"
        << activityText();
  }
}

TEST_F(CatalogSessionTest, Ingres3WithoutItsLibraryFailsEveryCall) {
  ASSERT_NO_FATAL_FAILURE(loadAgent("cat_no30", /*withIngres3Library=*/false));
  ASSERT_EQ(agent_->api().CatalogBound(3), 0) << "sounder30.dll should be missing";
  for (const char* entry :
       {"IngConnect", "IngDisconnect", "IngSetSessionId", "IngGetDbCount", "IngGetDbList",
        "IngGetJournalDest", "IngGetDumpDest", "IngGetDataLocNum", "IngGetDataDest"}) {
    EXPECT_EQ(call_("3", entry), 3) << entry << " with version 3";
    EXPECT_EQ(call_("4", entry), 3) << entry << " with version 4";
  }
  // The Ingres 2 library answers for an empty version and for major versions of 10 and up.
  EXPECT_NE(call_("", "IngGetDbCount"), 3);
  EXPECT_NE(call_("1", "IngGetDbCount"), 3);

  TestInstallation installation(ownerOptions("CC", 3, "ccowner"));
  ASSERT_EQ(installation.error(), "");
  ConnectionRecord* ci = record("CC", "ccowner", 7);
  int result = connect_(ci, "iidbdb");
  EXPECT_EQ(result, 12) << "result " << result;
  EXPECT_EQ(ci->connInfo.connected, 0);
  std::string text = traceText();
  size_t attempts = 0;
  for (size_t at = text.find("cannot connect to db iidbdb"); at != std::string::npos;
       at = text.find("cannot connect to db iidbdb", at + 1)) {
    ++attempts;
  }
  EXPECT_EQ(attempts, 10u) << text;
  EXPECT_NE(text.find("session_id= 61"), std::string::npos) << "last id 7 + 90 missing\n" << text;
  EXPECT_EQ(text.find("session_id= 6b"), std::string::npos) << "an eleventh attempt\n" << text;
}

TEST_F(CatalogSessionTest, HeldSessionIdsAreSkippedInStepsOfTen) {
  ASSERT_NO_FATAL_FAILURE(loadAgent("cat_ids"));
  TestInstallation installation(ownerOptions("CD", 3, "cdowner"));
  ASSERT_EQ(installation.error(), "");
  // The runtime's sessions are process-wide: sessions opened here through the agent's own
  // library copy hold ids 5 and 15.
  HMODULE library = GetModuleHandleA(agent_->path("sounder30.dll").c_str());
  ASSERT_NE(library, nullptr) << "error " << GetLastError();
  auto ingConnect = reinterpret_cast<PFN_IngConnect>(
      reinterpret_cast<void*>(GetProcAddress(library, "IngConnect")));
  auto ingDisconnect = reinterpret_cast<PFN_IngDisconnect>(
      reinterpret_cast<void*>(GetProcAddress(library, "IngDisconnect")));
  ASSERT_TRUE(ingConnect && ingDisconnect);
  SetEnvironmentVariableA("II_SYSTEM", root("CD").c_str());
  for (int held : {5, 15}) {
    int sqlcode = 1;
    ingConnect(held, "iidbdb", &sqlcode);
    ASSERT_EQ(sqlcode, 0) << "holding session " << held;
  }

  ConnectionRecord* ci = record("CD", "cdowner", 5);
  int result = connect_(ci, "iidbdb");
  EXPECT_EQ(result, 0) << "result " << result << "\n" << traceText();
  EXPECT_EQ(ci->connInfo.sessionId, 25);
  std::string text = traceText();
  size_t first = text.find("session_id= 5\r");
  size_t second = text.find("session_id= f\r");
  size_t third = text.find("session_id= 19\r");
  EXPECT_TRUE(first < second && second < third && third != std::string::npos)
      << "ids 5, 15, 25 (hex) in order\n"
      << text;

  {
    SCOPED_TRACE("a session closed behind the agent's back cannot be disconnected");
    int sqlcode = 1;
    ingDisconnect(25, &sqlcode);
    ASSERT_EQ(sqlcode, 0);
    result = disconnect_(ci);
    EXPECT_EQ(result, 12) << "result " << result;
    EXPECT_STREQ(ci->connInfo.connectedDb, "") << "cleared even on failure";
    EXPECT_EQ(ci->connInfo.sessionId, 25) << "kept on failure";
  }
  for (int held : {5, 15}) {
    int sqlcode = 1;
    ingDisconnect(held, &sqlcode);
    EXPECT_EQ(sqlcode, 0) << "closing session " << held;
  }
}

TEST_F(CatalogSessionTest, DatabaseListSizesJournalEntriesAndInfodbFailures) {
  ASSERT_NO_FATAL_FAILURE(loadAgent("cat_list"));
  ScopedAccount account(accountNamed("ceowner"));
  ASSERT_EQ(account.error(), "");
  TestInstallation installation(ownerOptions("CE", 3, "ceowner"));
  ASSERT_EQ(installation.error(), "");
  // iidbdb and nine more: ten databases, the fifth of the nine journaled.
  std::vector<std::string> expected = {"iidbdb"};
  for (int i = 1; i <= 9; ++i) {
    ingsim::DatabaseOptions db;
    db.name = "cedb" + std::to_string(i);
    db.journaled = i == 5;
    ASSERT_EQ(ingsim::addDatabase("CE", db), "") << db.name;
    expected.push_back(db.name);
  }
  ConnectionRecord* ci = record("CE", "ceowner", 8);
  {
    SCOPED_TRACE("320 bytes for ten databases");
    std::vector<char> buffer(400, static_cast<char>(kGuard));
    int size = 320;
    int count = -7;
    int result = dbList_(ci, buffer.data(), &size, &count);
    EXPECT_EQ(result, 4) << "result " << result;
    EXPECT_EQ(size, 320) << "size unchanged on failure";
    EXPECT_EQ(firstChangedGuard(buffer, 0), -1) << "nothing written";
    EXPECT_EQ(ci->connInfo.connected, 0) << "session closed";
  }
  {
    SCOPED_TRACE("321 bytes");
    std::vector<char> buffer(400, static_cast<char>(kGuard));
    int size = 321;
    int count = -7;
    int result = dbList_(ci, buffer.data(), &size, &count);
    ASSERT_EQ(result, 0) << "result " << result << "\n" << traceText();
    std::vector<std::string> want = expected;
    want.push_back("~JOURNAL OF DATABASE cedb5");
    std::vector<std::string> got = namesSorted(entries(buffer.data(), 321), 10);
    EXPECT_EQ(joined(got), joined(namesSorted(want, 10)));
    EXPECT_EQ(count, 10) << "names only";
    int used = 1;
    for (const std::string& entry : want) used += static_cast<int>(entry.size()) + 1;
    EXPECT_EQ(size, used) << "bytes used with the ending NUL";
    EXPECT_EQ(buffer[used - 1], '\0');
    EXPECT_EQ(buffer[used - 2], '\0') << "empty entry ends the list";
    EXPECT_EQ(firstChangedGuard(buffer, used), -1) << "written past the list";
    EXPECT_EQ(ci->connInfo.connected, 0) << "session closed";
  }
  for (auto [failure, code] : {std::pair<const char*, int>{"E_", 1}, {"ERROR", 11314}}) {
    SCOPED_TRACE(std::string("infodb failing with ") + failure);
    ASSERT_EQ(ingsim::setVariable("CE", "II_SIM_INFODB_FAILURE", failure), "");
    std::vector<char> buffer(400, static_cast<char>(kGuard));
    int size = 321;
    int count = 0;
    int result = dbList_(ci, buffer.data(), &size, &count);
    EXPECT_EQ(result, code) << "result " << result;
    EXPECT_EQ(firstChangedGuard(buffer, 321), -1);
  }
}

TEST_F(CatalogSessionTest, DatabaseListJournalEntriesStayInsideTheBuffer) {
  ASSERT_NO_FATAL_FAILURE(loadAgent("cat_fit"));
  ScopedAccount account(accountNamed("cfowner"));
  ASSERT_EQ(account.error(), "");
  TestInstallation installation(ownerOptions("CF", 3, "cfowner"));
  ASSERT_EQ(installation.error(), "");
  // Nine names of 31 characters and iidbdb take 295 bytes: the size check (321) passes, but the
  // journal entry of the last one (53 bytes) and the ending NUL need 349.
  std::vector<std::string> want = {"iidbdb"};
  for (int i = 1; i <= 9; ++i) {
    ingsim::DatabaseOptions db;
    db.name = "cf_long_database_name_number_0" + std::to_string(i);
    db.journaled = i == 9;
    ASSERT_EQ(ingsim::addDatabase("CF", db), "") << db.name;
    want.push_back(db.name);
  }
  want.push_back("~JOURNAL OF DATABASE " + want.back());
  ConnectionRecord* ci = record("CF", "cfowner", 9);
  for (int size : {321, 348, 349}) {
    SCOPED_TRACE("buffer of " + std::to_string(size));
    std::vector<char> buffer(static_cast<size_t>(size) + 64, static_cast<char>(kGuard));
    int used = size;
    int count = 0;
    int result = dbList_(ci, buffer.data(), &used, &count);
    EXPECT_EQ(firstChangedGuard(buffer, static_cast<size_t>(size)), -1) << "written past size";
    if (size < 349) {
      EXPECT_EQ(result, 4) << "result " << result;
      continue;
    }
    ASSERT_EQ(result, 0) << "result " << result << "\n" << traceText();
    EXPECT_EQ(used, 349);
    EXPECT_EQ(joined(namesSorted(entries(buffer.data(), size), 10)), joined(namesSorted(want, 10)));
  }
}

TEST_F(CatalogSessionTest, DestinationsFromFoldersAndVariables) {
  ASSERT_NO_FATAL_FAILURE(loadAgent("cat_dest"));
  ScopedAccount account(accountNamed("cgowner"));
  ASSERT_EQ(account.error(), "");
  TestInstallation installation(ownerOptions("CG", 3, "cgowner"));
  ASSERT_EQ(installation.error(), "");
  const std::string base = root("CG");
  ASSERT_EQ(ingsim::setVariable("CG", "II_DATABASE", base + "\\iidb"), "");
  ASSERT_EQ(ingsim::setVariable("CG", "CG_JNL_AREA", base + "\\jnlvar"), "");
  ASSERT_EQ(ingsim::setVariable("CG", "CG_DATA_UNSET", ""), "");
  ingsim::DatabaseOptions db;
  db.name = "cgdb";
  db.locations = {{base + "\\dataA", {}}, {"CG_DATA_UNSET", {}}};
  db.journalArea = "CG_JNL_AREA";
  db.dumpArea = base + "\\dumpdir";
  ASSERT_EQ(ingsim::addDatabase("CG", db), "");
  ConnectionRecord* ci = record("CG", "cgowner", 10);
  {
    SCOPED_TRACE("journal area that is a variable");
    char dest[kDestinationSize + 16];
    std::memset(dest, kGuard, sizeof dest);
    int result = journalDest_(ci, "cgdb", dest);
    ASSERT_EQ(result, 0) << "result " << result << "\n" << traceText();
    EXPECT_EQ(std::string(dest), base + "\\jnlvar\\ingres\\jnl\\default\\cgdb");
    EXPECT_EQ(ci->connInfo.connected, 0) << "session closed";
  }
  {
    SCOPED_TRACE("dump area that is a folder");
    char dest[kDestinationSize] = {};
    int result = dumpDest_(ci, "cgdb", dest);
    ASSERT_EQ(result, 0) << "result " << result;
    EXPECT_EQ(std::string(dest), base + "\\dumpdir\\ingres\\dmp\\default\\cgdb");
  }
  {
    SCOPED_TRACE("no catalog row");
    char dest[kDestinationSize] = "marker";
    int result = journalDest_(ci, "nosuchdb", dest);
    EXPECT_EQ(result, 14) << "result " << result;
    EXPECT_EQ(ci->connInfo.connected, 0) << "session closed after a failed query";
  }
  {
    SCOPED_TRACE("two data locations");
    ci->connInfo.locationCount = -1;
    int result = dataLocNum_(ci, "cgdb");
    EXPECT_EQ(result, 0) << "result " << result;
    EXPECT_EQ(ci->connInfo.locationCount, 2);

    std::vector<char> dest(2 * kDestinationSize + 64, static_cast<char>(kGuard));
    ci->connInfo.locationCount = -1;
    result = dataDest_(ci, "cgdb", dest.data(), 2 * kDestinationSize);
    ASSERT_EQ(result, 0) << "result " << result << "\n" << traceText();
    EXPECT_EQ(ci->connInfo.locationCount, 2);
    const std::string first = base + "\\dataA\\ingres\\data\\default\\cgdb";
    const std::string second = base + "\\iidb\\ingres\\data\\CG_DATA_UNSET\\cgdb";
    std::vector<std::string> got;
    const char* at = dest.data();
    for (int i = 0; i < 2; ++i) {
      got.emplace_back(at);
      at += got.back().size() + 1;
    }
    EXPECT_EQ(joined(got), "[" + first + "][" + second + "]");
    EXPECT_EQ(firstChangedGuard(dest, first.size() + second.size() + 2), -1)
        << "written past the two paths";
  }
  {
    SCOPED_TRACE("a list with room for one location of the two: 4, nothing past its size");
    std::vector<char> dest(2 * kDestinationSize + 64, static_cast<char>(kGuard));
    int result = dataDest_(ci, "cgdb", dest.data(), kDestinationSize);
    EXPECT_EQ(result, 4) << "result " << result;
    EXPECT_EQ(firstChangedGuard(dest, kDestinationSize), -1) << "written past the size given";
    EXPECT_EQ(ci->connInfo.connected, 0) << "session closed";
  }
}

}  // namespace
}  // namespace ferry::test
