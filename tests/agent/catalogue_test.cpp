// The object catalogue against a simulated installation: the object list, object sizes and the
// agent information record, with marker bytes before and guard bytes after every buffer.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "agent_fixture.h"
#include "ingsim/installation.h"

namespace ferry::test {
namespace {

using ConnectFn = uint32_t (*)(uint32_t, const char*, const char*, const char*, uint32_t*);
using DisconnectFn = uint32_t (*)(uint32_t);
using InfoFn = uint32_t (*)(uint32_t, void*, uint32_t*);
using EnumFn = uint32_t (*)(uint32_t, const char*, uint32_t, void*, uint32_t*);

template <typename Fn>
Fn bound(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

template <size_t N>
std::string literal(const char (&text)[N]) {
  return std::string(text, N - 1);
}

constexpr unsigned char kMarker = 0xbd;

TEST(Catalogue, ObjectListSizesAndAgentInfo) {
  char saved[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof saved, saved);
  CreateDirectoryA("C:\\ferrytest", nullptr);
  SetCurrentDirectoryA("C:\\ferrytest");
  const std::string root = "C:\\ferrytest\\OA";
  ingsim::InstallationOptions options;
  options.code = "OA";
  options.root = root;
  options.majorVersion = 2;
  options.overwrite = true;
  options.addToMachinePath = false;
  ingsim::removeInstallation("OA");
  ASSERT_EQ(ingsim::createInstallation(options), "");
  ASSERT_EQ(ingsim::addAccount({"ingres", "pw-oa", ""}), "");
  ingsim::DatabaseOptions journaled;
  journaled.name = "jdb";
  journaled.journaled = true;
  journaled.locations = {{"", {{"aaaaaaaa.t00", 4096}, {"aaaaaaab.t00", 4096}}}};
  ASSERT_EQ(ingsim::addDatabase("OA", journaled), "");
  ingsim::DatabaseOptions plain;
  plain.name = "pdb";
  ASSERT_EQ(ingsim::addDatabase("OA", plain), "");
  // A subdirectory in the data folder holds a file that must not be counted.
  std::string sub = ingsim::dataFolder(root, "jdb") + "\\sub";
  CreateDirectoryA(sub.c_str(), nullptr);
  HANDLE extra = CreateFileA((sub + "\\big.dat").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(extra, INVALID_HANDLE_VALUE);
  std::string chunk(1 << 20, 'x');
  DWORD written = 0;
  WriteFile(extra, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr);
  CloseHandle(extra);

  {
    std::vector<Companion> companions = catalogCompanions();
    companions.push_back({"ferryres.dll", "ferryres.dll"});
    AgentCopy agent("ca_objects", companions);
    ASSERT_EQ(agent.setupError(), "");
    ASSERT_EQ(agent.load(), 0u);
    HMODULE module = agent.module();
    auto connect = bound<ConnectFn>(module, "DSAConnectAgent");
    auto disconnect = bound<DisconnectFn>(module, "DSADisconnectAgent");
    auto info = bound<InfoFn>(module, "DSAGetAgentInfo");
    auto enumerate = bound<EnumFn>(module, "DSAEnumObjects");
    ASSERT_TRUE(connect && disconnect && info && enumerate) << "entry points not exported";
    uint32_t id = 0;
    ASSERT_EQ(connect(0, "server@OA", "ingres", "pw-oa", &id), 0u);

    {
      SCOPED_TRACE("object list: two objects for pdb, three for the journaled jdb");
      char buffer[512];
      std::memset(buffer, kMarker, sizeof buffer);
      uint32_t size = 256;
      uint32_t rc = enumerate(id, nullptr, 1, buffer, &size);
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
        uint32_t rc = enumerate(id, name, 2, buffer, &size);
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
      uint32_t rc = info(id, record, &size);
      EXPECT_EQ(rc, 50u) << "rc " << rc;
      EXPECT_EQ(size, 95u);
      EXPECT_EQ(record[0], kMarker) << "nothing filled";
      size = 96;
      rc = info(id, record, &size);
      ASSERT_EQ(rc, 0u) << "rc " << rc;
      EXPECT_EQ(size, 96u);
      EXPECT_STREQ(reinterpret_cast<char*>(record), "Ingres Server");
      EXPECT_STREQ(reinterpret_cast<char*>(record + 72), "1.0") << "the version resource";
      EXPECT_NE(record[80], 0) << "a date";
      EXPECT_EQ(record[96], kMarker) << "guard after the record";
    }
    EXPECT_EQ(disconnect(id), 0u);
  }
  ingsim::removeAccount("ingres");
  ingsim::removeInstallation("OA");
  DeleteFileA((sub + "\\big.dat").c_str());
  DeleteFileA("C:\\infodbOA.out");
  SetCurrentDirectoryA(saved);
}

}  // namespace
}  // namespace ferry::test
