// The object catalogue against a simulated installation: the object list, object sizes, the
// property sheet, the excluded-files list and the agent information record, with marker bytes
// before and guard bytes after every buffer.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "agent_fixture.h"
#include "core/object_catalogue.h"
#include "ferryman.h"
#include "ingsim/installation.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

using agent::PropertySheetHeader;

template <typename Fn>
Fn bound(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

template <size_t N>
std::string literal(const char (&text)[N]) {
  return std::string(text, N - 1);
}

constexpr unsigned char kMarker = 0xbd;

// Bytes of `buffer` from `from` to `to` that differ from `value`, as "offset=byte" pairs.
std::string bytesOtherThan(const unsigned char* buffer, size_t from, size_t to,
                           unsigned char value) {
  std::string found;
  for (size_t i = from; i < to; ++i) {
    if (buffer[i] != value) {
      found += std::to_string(i) + "=" + std::to_string(buffer[i]) + " ";
    }
  }
  return found;
}

// NUL-terminated entries from `offset` up to the first empty one (or `end`).
std::vector<std::string> entriesFrom(const char* buffer, size_t offset, size_t end) {
  std::vector<std::string> entries;
  while (offset < end && buffer[offset] != '\0') {
    size_t length = strnlen(buffer + offset, end - offset);
    entries.emplace_back(buffer + offset, length);
    offset += length + 1;
  }
  return entries;
}

std::string joined(const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& entry : entries) text += "[" + entry + "]";
  return text;
}

// An installation of the test's own under the account "ingres", and the testbed agent copied
// into a folder of the test's own with its catalogue entry points bound. Each case creates its
// installation (install), adds its databases and connects; TearDown removes everything even
// when an assertion ended the case early.
class Catalogue : public testing::Test {
 protected:
  ScopedTestDirectory testDirectory_;  // made first, undone last
  void SetUp() override {
    // Connecting points the machine-wide II_SYSTEM at the installation.
    savedMachineRoot_ = machineEnvironmentValue("II_SYSTEM");
    agent_ = std::make_unique<AgentCopy>(
        std::string("ca_") + testing::UnitTest::GetInstance()->current_test_info()->name(),
        agentCompanions());
    ASSERT_EQ(agent_->setupError(), "");
    ASSERT_EQ(agent_->load(), 0u);
    HMODULE module = agent_->module();
    connect_ = bound<PFN_DSAConnectAgent>(module, "DSAConnectAgent");
    disconnect_ = bound<PFN_DSADisconnectAgent>(module, "DSADisconnectAgent");
    info_ = bound<PFN_DSAGetAgentInfo>(module, "DSAGetAgentInfo");
    enumerate_ = bound<PFN_DSAEnumObjects>(module, "DSAEnumObjects");
    excluded_ = bound<PFN_DSAGetExcludedFiles>(module, "DSAGetExcludedFiles");
    ASSERT_TRUE(connect_ && disconnect_ && info_ && enumerate_ && excluded_)
        << "entry points not exported";
  }

  void TearDown() override {
    if (connectionId_ != 0) {
      uint32_t rc = disconnect_(connectionId_);
      EXPECT_EQ(rc, 0u) << "disconnect rc " << rc;
    }
    agent_.reset();
    account_.reset();
    removeAgentInstallation(&installation_);
    setMachineEnvironmentValue("II_SYSTEM", savedMachineRoot_);
  }

  // Use with ASSERT_NO_FATAL_FAILURE.
  void install(const std::string& code) {
    installation_ = std::make_unique<TestInstallation>(installationOptions(code, 2));
    ASSERT_EQ(installation_->error(), "") << code;
    account_ = std::make_unique<ScopedAccount>(ingsim::Account{"ingres", "pw-" + code, ""});
    ASSERT_EQ(account_->error(), "") << code;
  }

  // Use with ASSERT_NO_FATAL_FAILURE, after the databases are added.
  void connect() {
    const std::string code = installation_->code();
    uint32_t rc =
        connect_(0, ("server@" + code).c_str(), "ingres", ("pw-" + code).c_str(), &connectionId_);
    ASSERT_EQ(rc, 0u) << "connect rc " << rc;
    ASSERT_NE(connectionId_, 0u);
  }

  std::string root() const { return installation_->root(); }

  std::unique_ptr<TestInstallation> installation_;
  std::unique_ptr<ScopedAccount> account_;
  std::unique_ptr<AgentCopy> agent_;
  uint32_t connectionId_ = 0;
  PFN_DSAConnectAgent connect_ = nullptr;
  PFN_DSADisconnectAgent disconnect_ = nullptr;
  PFN_DSAGetAgentInfo info_ = nullptr;
  PFN_DSAEnumObjects enumerate_ = nullptr;
  PFN_DSAGetExcludedFiles excluded_ = nullptr;
  std::string savedMachineRoot_;
};

// jdb: journaled, two 4096-byte data files, two 4096-byte journal files; pdb: plain.
void addSampleDatabases(const std::string& code) {
  ingsim::DatabaseOptions journaled;
  journaled.name = "jdb";
  journaled.journaled = true;
  journaled.journalFiles = 2;
  journaled.locations = {{"", {{"aaaaaaaa.t00", 4096}, {"aaaaaaab.t00", 4096}}}};
  ASSERT_EQ(ingsim::addDatabase(code, journaled), "");
  ingsim::DatabaseOptions plain;
  plain.name = "pdb";
  ASSERT_EQ(ingsim::addDatabase(code, plain), "");
}

TEST_F(Catalogue, ObjectListSizesAndAgentInfo) {
  ASSERT_NO_FATAL_FAILURE(install("OA"));
  ASSERT_NO_FATAL_FAILURE(addSampleDatabases("OA"));
  // A subdirectory in the data folder holds a file that must not be counted.
  std::string sub = ingsim::dataFolder(root(), "jdb") + "\\sub";
  ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr)) << sub << " error " << GetLastError();
  HANDLE extra = CreateFileA((sub + "\\big.dat").c_str(), GENERIC_WRITE, 0, /*security=*/nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr);
  ferry::UniqueFile ownedExtra(extra);
  ASSERT_NE(extra, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  std::string chunk(1 << 20, 'x');
  DWORD written = 0;
  BOOL wrote = WriteFile(extra, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr);
  ownedExtra.reset();
  ASSERT_TRUE(wrote && written == chunk.size()) << "wrote " << written;
  ASSERT_NO_FATAL_FAILURE(connect());
  uint32_t id = connectionId_;

  {
    SCOPED_TRACE("object list: two objects for pdb, three for the journaled jdb");
    char buffer[512];
    std::memset(buffer, kMarker, sizeof buffer);
    uint32_t size = 256;
    uint32_t rc = enumerate_(id, nullptr, 1, buffer, &size);
    ASSERT_EQ(rc, 0u) << "rc " << rc;
    std::string expected = literal(
        "iidbdb.DATA\0iidbdb.~CONFIG\0jdb.DATA\0jdb.~CONFIG\0pdb.DATA\0pdb.~CONFIG\0~JOURNAL OF "
        "DATABASE jdb\0\0\0");
    ASSERT_EQ(size, expected.size()) << "list " << std::string(buffer, size < 256 ? size : 256);
    EXPECT_EQ(std::string(buffer, size), expected);
    EXPECT_EQ(static_cast<unsigned char>(buffer[size]), kMarker) << "guard after the list";
  }
  {
    SCOPED_TRACE("sizes: files of the data folder only; db.~CONFIGX measured as data");
    for (const char* name : {"jdb.DATA", "jdb.~CONFIGX"}) {
      unsigned char buffer[12];
      std::memset(buffer, kMarker, sizeof buffer);
      uint32_t size = 8;
      uint32_t rc = enumerate_(id, name, 2, buffer, &size);
      ASSERT_EQ(rc, 0u) << name << " rc " << rc;
      uint32_t kb[2];
      std::memcpy(kb, buffer, sizeof kb);
      EXPECT_EQ(kb[0], 8u) << name << ": two 4096-byte files, the subdirectory left out";
      EXPECT_EQ(kb[1], 8u) << name;
      EXPECT_EQ(buffer[8], kMarker) << name << ": guard after the record";
    }
  }
  {
    SCOPED_TRACE("agent information: 95 bytes refused, 96 filled");
    unsigned char record[100];
    std::memset(record, kMarker, sizeof record);
    uint32_t size = 95;
    uint32_t rc = info_(id, record, &size);
    EXPECT_EQ(rc, 50u) << "rc " << rc;
    EXPECT_EQ(size, 95u);
    EXPECT_EQ(record[0], kMarker) << "nothing filled";
    size = 96;
    rc = info_(id, record, &size);
    ASSERT_EQ(rc, 0u) << "rc " << rc;
    EXPECT_EQ(size, 96u);
    EXPECT_STREQ(reinterpret_cast<char*>(record), "Ingres Server");
    EXPECT_STREQ(reinterpret_cast<char*>(record + 72), "1.0") << "the version resource";
    EXPECT_NE(record[80], 0) << "a date";
    EXPECT_EQ(record[96], kMarker) << "guard after the record";
  }
}

TEST_F(Catalogue, ListsOnlyTheMasterDatabaseOfAnInstallationWithoutUserDatabases) {
  ASSERT_NO_FATAL_FAILURE(install("OB"));
  ASSERT_NO_FATAL_FAILURE(connect());
  // An empty database list yields just the end: the empty entry and one more zero byte, 2
  // bytes. The simulated catalog, like a real installation's, always holds the master database
  // iidbdb, so the agent must offer its data and configuration objects before those 2 bytes:
  // 12 + 15 + 2 = 29 bytes.
  char buffer[256];
  std::memset(buffer, kMarker, sizeof buffer);
  uint32_t size = 128;
  uint32_t rc = enumerate_(connectionId_, nullptr, 1, buffer, &size);
  ASSERT_EQ(rc, 0u) << "rc " << rc;
  const std::string expected = literal("iidbdb.DATA\0iidbdb.~CONFIG\0\0\0");
  ASSERT_EQ(size, expected.size()) << "list " << std::string(buffer, size < 128 ? size : 128);
  EXPECT_EQ(std::string(buffer, size), expected);
  EXPECT_EQ(bytesOtherThan(reinterpret_cast<unsigned char*>(buffer), size, sizeof buffer, kMarker),
            "")
      << "bytes written after the list";
}

// The labels 301 to 307 as the agent's resource library holds them.
struct Labels {
  std::string size, location, installation, object, notAvailable, property, value;
};

std::string loadLabel(HMODULE library, UINT id) {
  char text[128] = {};
  int length = LoadStringA(library, id, text, sizeof text);
  return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

TEST_F(Catalogue, PropertySheetOfJournaledDatabase) {
  ASSERT_NO_FATAL_FAILURE(install("OC"));
  ASSERT_NO_FATAL_FAILURE(addSampleDatabases("OC"));
  ASSERT_NO_FATAL_FAILURE(connect());

  HMODULE resources = LoadLibraryExA(agent_->path("ferryres.dll").c_str(), /*file=*/nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(resources, nullptr) << "ferryres.dll error " << GetLastError();
  Labels labels{loadLabel(resources, 301), loadLabel(resources, 302), loadLabel(resources, 303),
                loadLabel(resources, 304), loadLabel(resources, 305), loadLabel(resources, 306),
                loadLabel(resources, 307)};
  FreeLibrary(resources);
  for (const std::string* text :
       {&labels.size, &labels.location, &labels.installation, &labels.object, &labels.notAvailable,
        &labels.property, &labels.value}) {
    ASSERT_FALSE(text->empty()) << "a label 301..307 is missing from ferryres.dll";
  }

  struct Case {
    const char* object;
    std::vector<std::string> tail;  // the lines after the heading, installation and object
  };
  const Case cases[] = {
      {"~JOURNAL OF DATABASE jdb",
       {labels.size + "\t8 KB", labels.location + "\t" + ingsim::journalFolder(root(), "jdb")}},
      {"jdb.DATA",
       {labels.size + "\t8 KB", labels.location + "\t" + ingsim::dataFolder(root(), "jdb")}},
      // The journal destination is one catalog row: none for a database the catalog lacks.
      {"~JOURNAL OF DATABASE nodb", {labels.size + "\t" + labels.notAvailable}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.object);
    constexpr size_t kSheet = agent::kPropertySheetSize;
    unsigned char buffer[kSheet + 64];
    std::memset(buffer, kMarker, sizeof buffer);
    uint32_t size = kSheet;
    uint32_t rc = enumerate_(connectionId_, c.object, 5, buffer, &size);
    ASSERT_EQ(rc, 0u) << "rc " << rc;

    PropertySheetHeader header;
    std::memcpy(&header, buffer, sizeof header);
    EXPECT_EQ(header.signature, 0x04655291u) << std::hex << header.signature;
    EXPECT_EQ(header.reserved0, 0u);
    EXPECT_EQ(header.value8, 2u);
    EXPECT_EQ(header.value10, 160u);
    EXPECT_EQ(header.value12, 220u);
    EXPECT_EQ(bytesOtherThan(buffer, offsetof(PropertySheetHeader, zero14),
                             offsetof(PropertySheetHeader, value140), 0),
              "")
        << "bytes 14..139";
    EXPECT_EQ(header.value140, 0u);
    EXPECT_EQ(header.value144, 2u);
    EXPECT_EQ(bytesOtherThan(buffer, offsetof(PropertySheetHeader, zero148), sizeof header, 0), "")
        << "bytes 148..459";

    std::vector<std::string> expected = {labels.property + "\t" + labels.value,
                                         labels.installation + "\tOC",
                                         labels.object + "\t" + c.object};
    expected.insert(expected.end(), c.tail.begin(), c.tail.end());
    std::vector<std::string> lines =
        entriesFrom(reinterpret_cast<char*>(buffer), sizeof header, kSheet);
    EXPECT_EQ(joined(lines), joined(expected));
    size_t end = sizeof header;
    for (const std::string& line : expected) end += line.size() + 1;
    EXPECT_EQ(size, end + 1) << "past the last line's NUL and the empty end entry";
    EXPECT_EQ(bytesOtherThan(buffer, end, kSheet, 0), "") << "zero after the lines";
    EXPECT_EQ(bytesOtherThan(buffer, kSheet, sizeof buffer, kMarker), "")
        << "guard after the sheet";
  }
}

TEST_F(Catalogue, ExcludedFilesNegotiatesTheBufferSize) {
  ASSERT_NO_FATAL_FAILURE(install("OD"));
  ASSERT_NO_FATAL_FAILURE(addSampleDatabases("OD"));
  ASSERT_NO_FATAL_FAILURE(connect());
  // Per database in catalog order: its data location, dump and journal destination.
  std::vector<std::string> paths;
  for (const char* database : {"iidbdb", "jdb", "pdb"}) {
    paths.push_back(ingsim::dataFolder(root(), database));
    paths.push_back(ingsim::dumpFolder(root(), database));
    paths.push_back(ingsim::journalFolder(root(), database));
  }
  size_t needed = 0;
  for (const std::string& path : paths) needed += path.size() + 1;
  constexpr size_t kGuard = 16;
  std::vector<unsigned char> buffer(needed + kGuard + 1);

  for (size_t offered : {size_t{1}, needed - 1}) {
    SCOPED_TRACE("offered " + std::to_string(offered) + " of " + std::to_string(needed));
    std::fill(buffer.begin(), buffer.end(), kMarker);
    uint32_t size = static_cast<uint32_t>(offered);
    uint32_t rc = excluded_(connectionId_, buffer.data(), &size);
    EXPECT_EQ(rc, 500u) << "rc " << rc;
    EXPECT_EQ(size, needed) << "the needed size";
    EXPECT_EQ(bytesOtherThan(buffer.data(), 0, buffer.size(), kMarker), "") << "nothing copied";
  }
  for (size_t offered : {needed, needed + 1}) {
    SCOPED_TRACE("offered " + std::to_string(offered) + " of " + std::to_string(needed));
    std::fill(buffer.begin(), buffer.end(), kMarker);
    uint32_t size = static_cast<uint32_t>(offered);
    uint32_t rc = excluded_(connectionId_, buffer.data(), &size);
    ASSERT_EQ(rc, 0u) << "rc " << rc;
    EXPECT_EQ(size, needed);
    EXPECT_EQ(joined(entriesFrom(reinterpret_cast<char*>(buffer.data()), 0, needed)),
              joined(paths));
    EXPECT_EQ(bytesOtherThan(buffer.data(), offered, buffer.size(), kMarker), "")
        << "guard after the offered size";
  }
}

}  // namespace
}  // namespace ferry::test
