// The x64 and the x86 build of every deliverable, read as files (no 32-bit Wine needed): each
// is an image for its own machine, both export the same undecorated names (the .def files name
// every __stdcall export with its argument bytes, and --kill-at takes the decoration off), the
// agent exports exactly what its header declares, and nothing imports a compiler runtime DLL.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "pe_image.h"

namespace ferry::test {
namespace {

constexpr uint16_t kMachineX86 = 0x14C;
constexpr uint16_t kMachineX64 = 0x8664;
constexpr uint16_t kFileDll = 0x2000;
constexpr uint16_t kFile32BitMachine = 0x100;

// The shipped deliverables, the test build of the agent, and what a simulated installation of
// either bitness is made of.
const std::vector<std::string> kImages = {
    "ferryman.dll",    "testbed/ferryman.dll", "sounder26.dll", "sounder30.dll",
    "siphon.exe",      "ferryres.dll",         "rigger.dll",    "tally.dll",
    "mooring.exe",     "lookout.dll",          "ferryctl.exe",  "basetool.dll",
    "oiembdnt.dll",    "ingsim.exe",           "infodb.exe",    "ingprenv.exe",
    "ingsetenv.exe",   "ingunset.exe",         "ckpdb.exe",     "rollforwarddb.exe",
    "consolehost.exe", "minimal_host.exe"};

struct Pair {
  PeImage x64, x86;
};

// Both builds of `name`, each file read once for the whole program.
const Pair& readBoth(const std::string& name) {
  static std::map<std::string, Pair> read;
  if (auto found = read.find(name); found != read.end()) return found->second;
  Pair& pair = read[name];
  std::string error = readPeImage(std::string(FERRY_WIN_TREE) + "/bin/" + name, &pair.x64);
  EXPECT_EQ(error, "") << "x64 " << name;
  error = readPeImage(std::string(FERRY_WIN32_TREE) + "/bin/" + name, &pair.x86);
  EXPECT_EQ(error, "") << "x86 " << name;
  return pair;
}

std::string joined(const std::set<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += name + " ";
  return out;
}

TEST(TwoBuilds, EveryImageIsBuiltForItsOwnMachine) {
  for (const std::string& name : kImages) {
    SCOPED_TRACE(name);
    const Pair& pair = readBoth(name);
    EXPECT_EQ(pair.x64.machine, kMachineX64) << std::hex << pair.x64.machine;
    EXPECT_EQ(pair.x64.optionalMagic, 0x20B) << "x64: PE32+";
    EXPECT_EQ(pair.x86.machine, kMachineX86) << std::hex << pair.x86.machine;
    EXPECT_EQ(pair.x86.optionalMagic, 0x10B) << "x86: PE32";
    EXPECT_NE(pair.x86.characteristics & kFile32BitMachine, 0) << "x86: 32-bit machine flag";
    EXPECT_EQ(pair.x86.characteristics & kFileDll, pair.x64.characteristics & kFileDll)
        << "a library in one build is a library in the other";
    EXPECT_EQ(pair.x86.subsystem, pair.x64.subsystem) << "console or windows alike";
  }
}

TEST(TwoBuilds, LibrariesExportTheSameUndecoratedNames) {
  for (const std::string& name : kImages) {
    if (name.find(".dll") == std::string::npos) continue;
    SCOPED_TRACE(name);
    const Pair& pair = readBoth(name);
    EXPECT_EQ(joined(pair.x86.exportNames), joined(pair.x64.exportNames));
    EXPECT_EQ(pair.x86.ordinalOnlyExports, pair.x64.ordinalOnlyExports);
    for (const std::string& exported : pair.x86.exportNames) {
      EXPECT_EQ(exported.find('@'), std::string::npos) << "decorated: " << exported;
      EXPECT_NE(exported.front(), '_') << "decorated: " << exported;
    }
  }
  {
    SCOPED_TRACE("basetool: its one export by ordinal 1261, no name");
    const Pair& basetool = readBoth("basetool.dll");
    EXPECT_EQ(basetool.x86.ordinalOnlyExports, std::set<uint32_t>{1261});
    EXPECT_TRUE(basetool.x86.exportNames.empty()) << joined(basetool.x86.exportNames);
  }
  {
    SCOPED_TRACE("the catalog library: thirteen names, in both generations");
    EXPECT_EQ(readBoth("sounder26.dll").x86.exportNames.size(), 13u);
    EXPECT_EQ(readBoth("sounder30.dll").x86.exportNames, readBoth("sounder26.dll").x86.exportNames);
  }
}

// The exports the public header declares with the agent's calling convention.
std::set<std::string> declaredIn(const std::string& header, const std::string& pattern) {
  std::ifstream file(header);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_FALSE(text.str().empty()) << header;
  std::set<std::string> names;
  const std::string content = text.str();
  const std::regex declaration(pattern);
  for (auto it = std::sregex_iterator(content.begin(), content.end(), declaration);
       it != std::sregex_iterator(); ++it) {
    names.insert((*it)[1].str());
  }
  return names;
}

TEST(TwoBuilds, TheLibrariesExportWhatTheirHeadersDeclare) {
  const std::string include = std::string(FERRY_SOURCE_DIR) + "/include/";
  const std::set<std::string> agent =
      declaredIn(include + "ferryman.h", R"(FERRYMAN_API DSA_RESULT FERRYMAN_CALL (DSA\w+)\()");
  ASSERT_EQ(agent.size(), 23u) << joined(agent);
  EXPECT_EQ(joined(readBoth("ferryman.dll").x86.exportNames), joined(agent));
  std::set<std::string> catalog =
      declaredIn(include + "sounder.h", R"(SOUNDER_API int SOUNDER_CALL (Ing\w+)\()");
  catalog.insert("IngGetTableLocNum");  // the second name of IngGetTableInfo
  EXPECT_EQ(joined(readBoth("sounder26.dll").x86.exportNames), joined(catalog));
  const std::set<std::string> setup =
      declaredIn(std::string(FERRY_SOURCE_DIR) + "/setup/rigger/rigger.h", R"(__stdcall (\w+)\()");
  std::set<std::string> expected = setup;
  expected.erase("RiggerGetProductInfo");
  expected.insert("GetProductInfo");  // exported under the name the master setup calls
  EXPECT_EQ(joined(readBoth("rigger.dll").x86.exportNames), joined(expected));
}

TEST(TwoBuilds, NothingImportsACompilerRuntimeLibrary) {
  for (const std::string& name : kImages) {
    SCOPED_TRACE(name);
    const Pair& pair = readBoth(name);
    for (const PeImage* image : {&pair.x64, &pair.x86}) {
      for (std::string imported : image->imports) {
        for (char& c : imported) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(imported.find("libstdc++"), std::string::npos) << imported;
        EXPECT_EQ(imported.find("libgcc"), std::string::npos) << imported;
        EXPECT_EQ(imported.find("winpthread"), std::string::npos) << imported;
      }
    }
  }
  for (const char* catalog : {"sounder26.dll", "sounder30.dll"}) {
    SCOPED_TRACE(catalog);
    const Pair& pair = readBoth(catalog);
    for (const PeImage* image : {&pair.x64, &pair.x86}) {
      EXPECT_NE(std::find(image->imports.begin(), image->imports.end(), "oiembdnt.dll"),
                image->imports.end())
          << "the embedded-SQL runtime by name";
    }
  }
}

}  // namespace
}  // namespace ferry::test
