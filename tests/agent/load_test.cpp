// The agent library's load step: the module name, the catalog libraries, the message texts, the
// agent directory; and what the shipped library exports.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "agent_fixture.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

constexpr DWORD kInitFailed = ERROR_DLL_INIT_FAILED;  // what a refused load reports

TEST(Load, RefusesUnderAnotherFileName) {
  for (const char* name : {"ferryboat.dll", "Ferryman.dll", "oldferryman.dll"}) {
    SCOPED_TRACE(name);
    AgentCopy agent("load_name", catalogCompanions(), name);
    ASSERT_EQ(agent.setupError(), "");
    DWORD error = agent.load();
    EXPECT_EQ(agent.module(), nullptr) << "a copy named " << name << " loaded";
    EXPECT_EQ(error, kInitFailed) << "error " << error;
  }
  AgentCopy agent("load_name", catalogCompanions());
  ASSERT_EQ(agent.setupError(), "");
  DWORD error = agent.load();
  EXPECT_EQ(error, 0u) << "the same bytes named ferryman.dll load; error " << error;
}

TEST(Load, FailsWithoutACompleteCatalogLibrary) {
  {
    AgentCopy agent("load_nocatalog", {});
    ASSERT_EQ(agent.setupError(), "");
    DWORD error = agent.load();
    EXPECT_EQ(agent.module(), nullptr) << "loaded without catalog libraries";
    EXPECT_EQ(error, kInitFailed) << "error " << error;
  }
  {
    // A library with twelve of the thirteen entry points does not count as bound.
    AgentCopy agent("load_partial", {{"ag_partial_sounder.dll", "sounder26.dll"},
                                     {"ag_partial_sounder.dll", "sounder30.dll"}});
    ASSERT_EQ(agent.setupError(), "");
    DWORD error = agent.load();
    EXPECT_EQ(agent.module(), nullptr) << "loaded with incomplete catalog libraries";
    EXPECT_EQ(error, kInitFailed) << "error " << error;
  }
}

TEST(Load, EitherCatalogLibraryIsEnough) {
  struct Case {
    std::vector<Companion> files;
    int bound2;
    int bound3;
  };
  const Case cases[] = {
      {{{"sounder26.dll", "sounder26.dll"}}, 1, 0},
      {{{"sounder30.dll", "sounder30.dll"}}, 0, 1},
      {{{"sounder26.dll", "sounder26.dll"}, {"ag_partial_sounder.dll", "sounder30.dll"}}, 1, 0},
      {catalogCompanions(), 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files.back().source + " as " + c.files.back().name);
    AgentCopy agent("load_catalog", c.files);
    ASSERT_EQ(agent.setupError(), "");
    DWORD error = agent.load();
    ASSERT_EQ(error, 0u) << "error " << error;
    ASSERT_EQ(agent.bind(), "");
    EXPECT_EQ(agent.api().CatalogBound(2), c.bound2);
    EXPECT_EQ(agent.api().CatalogBound(3), c.bound3);
  }
}

TEST(Load, AgentDirectoryIsTheLibrarysFolder) {
  AgentCopy agent("load_dir", catalogCompanions());
  ASSERT_EQ(agent.setupError(), "");
  ASSERT_EQ(agent.load(), 0u);
  ASSERT_EQ(agent.bind(), "");
  EXPECT_STREQ(agent.api().AgentDirectory(), agent.folder().c_str());
  EXPECT_EQ(agent.api().GetDestDir(), 0);
}

TEST(Load, WithoutMessageLibraryLoadsAndTextsAreEmpty) {
  AgentCopy agent("load_notexts", catalogCompanions());
  ASSERT_EQ(agent.setupError(), "");
  ASSERT_EQ(agent.load(), 0u);
  ASSERT_EQ(agent.bind(), "");
  const AgentApi& api = agent.api();
  EXPECT_EQ(api.HasMessageLibrary(), 0);
  char text[256];
  std::fill(std::begin(text), std::end(text), '\xbd');
  EXPECT_EQ(api.MessageText(29, text, sizeof text), 0);
  EXPECT_STREQ(text, "") << "text " << text;
  EXPECT_EQ(api.LogAct(nullptr, 29), 1) << "an entry without its text is not written";
  EXPECT_FALSE(fileExists(agent.path("ferryman.log")));
}

TEST(Load, MessageLibraryTextsAreUsed) {
  AgentCopy agent("load_texts",
                  {{"sounder26.dll", "sounder26.dll"}, {"ag_test_messages.dll", "ferryres.dll"}});
  ASSERT_EQ(agent.setupError(), "");
  ASSERT_EQ(agent.load(), 0u);
  ASSERT_EQ(agent.bind(), "");
  EXPECT_EQ(agent.api().HasMessageLibrary(), 1);
  char text[256] = {};
  int length = agent.api().MessageText(35, text, sizeof text);
  EXPECT_STREQ(text, "Backup of %s begun") << "length " << length;
}

#ifdef FERRY_HAVE_FERRYRES
TEST(Load, ShippedMessageLibraryGivesActivityTexts) {
  AgentCopy agent("load_ferryres",
                  {{"sounder26.dll", "sounder26.dll"}, {"ferryres.dll", "ferryres.dll"}});
  ASSERT_EQ(agent.setupError(), "");
  ASSERT_EQ(agent.load(), 0u);
  ASSERT_EQ(agent.bind(), "");
  EXPECT_EQ(agent.api().LogAct(nullptr, 29), 0);
  std::string log = readWholeFile(agent.path("ferryman.log"));
  // "MM/DD/YYYY hh:mm:ss---" is 22 characters, then the text and CR LF.
  ASSERT_GT(log.size(), 24u) << "log [" << log << "]";
  EXPECT_EQ(log.substr(19, 4), "----") << log;
  EXPECT_NE(log.substr(23, log.size() - 25), "") << "empty activity text: " << log;
}
#endif

// Export names of a loaded module, from its export directory.
std::vector<std::string> exportNames(HMODULE module) {
  std::vector<std::string> names;
  auto base = reinterpret_cast<const unsigned char*>(module);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (dir.VirtualAddress == 0) return names;
  auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  auto table = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    names.emplace_back(reinterpret_cast<const char*>(base + table[i]));
  }
  return names;
}

size_t countWithPrefix(const std::vector<std::string>& names, const std::string& prefix) {
  return std::count_if(names.begin(), names.end(),
                       [&](const std::string& n) { return n.rfind(prefix, 0) == 0; });
}

TEST(Exports, ShippedLibraryHasNoTestExportsAndNoSimulation) {
  const std::string shipped = binDir() + "\\ferryman.dll";
  const std::string testbed = binDir() + "\\testbed\\ferryman.dll";
  struct Library {
    const std::string& path;
    bool isTestbed;
  };
  for (const Library& library : {Library{shipped, false}, Library{testbed, true}}) {
    SCOPED_TRACE(library.path);
    // As an image resource the library maps without running its load step.
    HMODULE module = LoadLibraryExA(library.path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    HMODULE base = reinterpret_cast<HMODULE>(reinterpret_cast<ULONG_PTR>(module) & ~ULONG_PTR{3});
    std::vector<std::string> names = exportNames(base);
    FreeLibrary(module);
    size_t testExports = countWithPrefix(names, "FerryTest");
    std::string bytes = readWholeFile(library.path);
    ASSERT_GT(bytes.size(), 4096u);
    bool simulation = bytes.find("IngresSim") != std::string::npos;
    if (library.isTestbed) {
      // The checks below can see what they look for.
      EXPECT_GE(testExports, 20u) << "testbed exports " << names.size();
      EXPECT_TRUE(simulation) << "the testbed build links the simulated account directory";
    } else {
      EXPECT_EQ(testExports, 0u) << "shipped library exports test entry points";
      EXPECT_FALSE(simulation) << "shipped library carries the simulated account directory";
      EXPECT_EQ(bytes.find("FerryTest"), std::string::npos);
      EXPECT_EQ(countWithPrefix(names, "_Unwind"), 0u) << "runtime internals exported";
    }
  }
}

TEST(Exports, ShippedLibraryHasAVersionResource) {
  const std::string shipped = binDir() + "\\ferryman.dll";
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(shipped.c_str(), &handle);
  ASSERT_GT(size, 0u) << "error " << GetLastError();
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoA(shipped.c_str(), 0, size, data.data())) << GetLastError();
  char* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904b0\\OriginalFilename",
                             reinterpret_cast<void**>(&value), &length));
  EXPECT_STREQ(value, "ferryman.dll");
  VS_FIXEDFILEINFO* fixed = nullptr;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_NE(fixed->dwFileVersionMS, 0u) << "file version " << fixed->dwFileVersionMS;
}

}  // namespace
}  // namespace ferry::test
