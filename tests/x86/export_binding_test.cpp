// A 32-bit host binds the x86 exports by name, with the public headers' types, and calls them:
// every call must leave the host's stack where it was (the callee removes its arguments, as
// the headers' __stdcall says) and its callee-saved registers as they were, and must answer as
// the header promises. The agent, the catalog library, setup's exported functions, the snap-in's
// COM entry points and basetool's ordinal are all bound this way.
#include <windows.h>
// After windows.h: the COM interface ids of the snap-in's class factory.
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "ferryman.h"
#include "registry_root.h"
#include "sounder.h"
#include "stack_checked_call.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

// The header's entry point types are the declared functions' own types, convention included.
static_assert(std::is_same_v<decltype(&DSAConnectAgent), PFN_DSAConnectAgent>);
static_assert(std::is_same_v<decltype(&DSADisconnectAgent), PFN_DSADisconnectAgent>);
static_assert(std::is_same_v<decltype(&DSAGetError), PFN_DSAGetError>);
static_assert(std::is_same_v<decltype(&DSAOpen), PFN_DSATrivial>);
static_assert(std::is_same_v<decltype(&DSAGetCanonicalPath), PFN_DSATrivial>);
static_assert(std::is_same_v<decltype(&DSAGetAgentInfo), PFN_DSAGetAgentInfo>);
static_assert(std::is_same_v<decltype(&DSAEnumObjects), PFN_DSAEnumObjects>);
static_assert(std::is_same_v<decltype(&DSAGetExcludedFiles), PFN_DSAGetExcludedFiles>);
static_assert(std::is_same_v<decltype(&DSABeginBackup), PFN_DSABeginBackup>);
static_assert(std::is_same_v<decltype(&DSARead), PFN_DSARead>);
static_assert(std::is_same_v<decltype(&DSAEndBackup), PFN_DSAEndBackup>);
static_assert(std::is_same_v<decltype(&DSABeginRestore), PFN_DSABeginRestore>);
static_assert(std::is_same_v<decltype(&DSAWrite), PFN_DSAWrite>);
static_assert(std::is_same_v<decltype(&DSAEndRestore), PFN_DSAEndRestore>);
static_assert(std::is_same_v<decltype(&DSASetRestorePointInTime), PFN_DSASetRestorePointInTime>);
static_assert(std::is_same_v<decltype(&IngConnect), PFN_IngConnect>);
static_assert(std::is_same_v<decltype(&IngGetDataDest), PFN_IngGetDataDest>);
static_assert(std::is_same_v<decltype(&IngGetTableInfo), PFN_IngGetTableInfo>);
// And they are not the C default: a host that binds with them pops nothing itself.
static_assert(
    !std::is_same_v<PFN_DSARead, DSA_RESULT (*)(uint32_t, uint32_t, uint32_t, void*, uint32_t*)>);

uint32_t word(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

class BoundLibrary {
 public:
  explicit BoundLibrary(const std::string& path) : path_(path) {
    module_ = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    error_ = module_ == nullptr ? GetLastError() : 0;
  }
  ~BoundLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  BoundLibrary(const BoundLibrary&) = delete;
  BoundLibrary& operator=(const BoundLibrary&) = delete;
  HMODULE module() const { return module_; }
  DWORD error() const { return error_; }
  // The export with the header's type `Fn`; null when it is missing.
  template <typename Fn>
  Fn bind(const char* name) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  std::string path_;
  HMODULE module_ = nullptr;
  DWORD error_ = 0;
};

// Calls `function` with `args` (one 32-bit word each, 64-bit values as two, low first) through
// the checked call; the stack and the registers are judged here, the result by the caller.
uint32_t checkedCall(const char* name, const void* function, std::vector<uint32_t> args) {
  SCOPED_TRACE(name);
  EXPECT_NE(function, nullptr) << "not exported";
  if (function == nullptr) return ~0u;
  // Guard words above the arguments: a callee that removes more than its arguments, or writes
  // above them, changes them.
  args.push_back(0xBD0BD0BDu);
  args.push_back(0xBD1BD1BDu);
  StackReport report{};
  const uint32_t result =
      stackCheckedCall(function, args.data(), static_cast<uint32_t>(args.size()), &report);
  // The guards were pushed as arguments too: a __stdcall callee removes only its own.
  const int32_t guardBytes = 8;
  EXPECT_EQ(report.stackDelta, -guardBytes)
      << "the stack moved by " << report.stackDelta + guardBytes
      << " bytes: the callee did not remove exactly its arguments";
  EXPECT_EQ(report.ebx, kMarkerEbx) << std::hex << report.ebx;
  EXPECT_EQ(report.esi, kMarkerEsi) << std::hex << report.esi;
  EXPECT_EQ(report.edi, kMarkerEdi) << std::hex << report.edi;
  return result;
}

TEST(X86Exports, TheAgentsEntryPointsLeaveTheHostsStackAsItWas) {
  BoundLibrary agent(binDir() + "\\ferryman.dll");
  ASSERT_NE(agent.module(), nullptr) << "error " << agent.error();
  const uint32_t unused = 29;  // a connection id no test takes
  char buffer[1400];
  uint32_t size = 0;
  {
    SCOPED_TRACE("the not-supported six and the accepted four (aliases of two functions)");
    for (const char* name : {"DSAOpen", "DSAClose", "DSAFileSize", "DSAGetNextFile",
                             "DSALockDBagent", "DSAUnlockDBagent"}) {
      EXPECT_EQ(checkedCall(name, agent.bind<void*>(name), {unused, 0}), DSA_ERROR_NOT_SUPPORTED)
          << name;
    }
    for (const char* name :
         {"DSAControl", "DSABeginBackupStripe", "DSABeginRestoreStripe", "DSAGetCanonicalPath"}) {
      EXPECT_EQ(checkedCall(name, agent.bind<void*>(name), {unused, word(buffer)}), DSA_OK) << name;
    }
  }
  {
    SCOPED_TRACE("every call that names a connection answers 2 for one not in use");
    const std::vector<std::pair<const char*, std::vector<uint32_t>>> calls = {
        {"DSADisconnectAgent", {unused}},
        {"DSAGetAgentInfo", {unused, word(buffer), word(&size)}},
        {"DSAEnumObjects", {unused, word("db.DATA"), 1, word(buffer), word(&size)}},
        {"DSAGetExcludedFiles", {unused, word(buffer), word(&size)}},
        {"DSABeginBackup", {unused, word(buffer), 0, word(&size), word(&size)}},
        {"DSARead", {unused, 1, 0, word(buffer), word(&size)}},
        {"DSAEndBackup", {unused, 0}},
        {"DSABeginRestore", {unused, word("db.DATA"), 0, word(&size), word(&size)}},
        {"DSAWrite", {unused, 0, 0, word(buffer), word(&size)}},
        {"DSAEndRestore", {unused, 0}},
        {"DSASetRestorePointInTime", {unused, 1000, 0}},  // a 64-bit time: two words
    };
    for (const auto& [name, args] : calls) {
      std::strcpy(buffer, "db.DATA");  // DSABeginBackup's object name
      size = sizeof buffer;
      EXPECT_EQ(checkedCall(name, agent.bind<void*>(name), args), DSA_ERROR_NOT_CONNECTED) << name;
    }
  }
  {
    SCOPED_TRACE("DSAConnectAgent without its arguments, DSAGetError with a text");
    uint32_t id = 77;
    EXPECT_EQ(checkedCall("DSAConnectAgent", agent.bind<void*>("DSAConnectAgent"),
                          {0, 0, 0, 0, word(&id)}),
              DSA_ERROR_ARGUMENT_MISSING);
    EXPECT_EQ(id, 0u) << "the out-parameter set to its failure value";
    std::memset(buffer, 0xbd, sizeof buffer);
    uint32_t length = 0xbdbdbdbd;
    EXPECT_EQ(checkedCall("DSAGetError", agent.bind<void*>("DSAGetError"),
                          {0, DSA_ERROR_NOT_CONNECTED, word(buffer), word(&length)}),
              DSA_OK);
    EXPECT_EQ(length, std::strlen(buffer)) << buffer;
    EXPECT_GT(length, 0u);
  }
  {
    SCOPED_TRACE("the same calls through the header's types, as a host compiled with it makes");
    auto getError = agent.bind<PFN_DSAGetError>("DSAGetError");
    auto read = agent.bind<PFN_DSARead>("DSARead");
    auto setTime = agent.bind<PFN_DSASetRestorePointInTime>("DSASetRestorePointInTime");
    auto trivial = agent.bind<PFN_DSATrivial>("DSAGetNextFile");
    ASSERT_TRUE(getError && read && setTime && trivial);
    char text[1400] = "";
    uint32_t length = 0;
    for (int round = 0; round < 1000; ++round) {  // a stack that drifts would fault long before
      ASSERT_EQ(getError(0, DSA_ERROR_NOT_CONNECTED, text, &length), DSA_OK);
      ASSERT_EQ(read(unused, 1, 0, buffer, &size), DSA_ERROR_NOT_CONNECTED);
      ASSERT_EQ(setTime(unused, int64_t{1} << 40), DSA_ERROR_NOT_CONNECTED);
      ASSERT_EQ(trivial(unused, nullptr), DSA_ERROR_NOT_SUPPORTED);
    }
    EXPECT_EQ(length, std::strlen(text));
  }
}

TEST(X86Exports, TheCatalogLibrarysThirteenLeaveTheHostsStackAsItWas) {
  BoundLibrary catalog(binDir() + "\\sounder26.dll");
  ASSERT_NE(catalog.module(), nullptr) << "error " << catalog.error();
  int sqlcode = 12345;
  int count = 0;
  int size = 0;
  char area[8192] = "";
  // No session is open: every query answers through sqlcode (and 14 where stated), and none may
  // harm the stack on the way.
  EXPECT_EQ(checkedCall("IngGetTableInfo", catalog.bind<void*>("IngGetTableInfo"), {}), 0u);
  EXPECT_EQ(checkedCall("IngGetTableLocNum", catalog.bind<void*>("IngGetTableLocNum"), {}), 0u);
  EXPECT_EQ(checkedCall("IngSetSessionId", catalog.bind<void*>("IngSetSessionId"),
                        {4242, word(&sqlcode)}),
            0u);
  EXPECT_LT(sqlcode, 0) << "no such session";
  EXPECT_EQ(
      checkedCall("IngDisconnect", catalog.bind<void*>("IngDisconnect"), {4242, word(&sqlcode)}),
      0u);
  for (const char* name : {"IngGetDbCount", "IngGetTableCnt"}) {
    EXPECT_EQ(checkedCall(name, catalog.bind<void*>(name), {word(&count), word(&sqlcode)}), 0u);
  }
  for (const char* name : {"IngGetJournalDest", "IngGetDumpDest"}) {
    EXPECT_EQ(
        checkedCall(name, catalog.bind<void*>(name), {word("db"), word(area), word(&sqlcode)}),
        static_cast<uint32_t>(SOUNDER_QUERY_FAILED));
  }
  EXPECT_EQ(checkedCall("IngGetDataLocNum", catalog.bind<void*>("IngGetDataLocNum"),
                        {word("db"), word(&count), word(&sqlcode)}),
            static_cast<uint32_t>(SOUNDER_QUERY_FAILED));
  count = 8;
  EXPECT_EQ(checkedCall("IngGetDataDest", catalog.bind<void*>("IngGetDataDest"),
                        {word("db"), word(area), word(&count), word(&sqlcode)}),
            static_cast<uint32_t>(SOUNDER_QUERY_FAILED));
  size = sizeof area;
  EXPECT_EQ(checkedCall("IngGetDbList", catalog.bind<void*>("IngGetDbList"),
                        {word(area), word(&size), word(&count), word(&sqlcode)}),
            static_cast<uint32_t>(SOUNDER_QUERY_FAILED));
  size = sizeof area;
  EXPECT_EQ(checkedCall("IngGetTableList", catalog.bind<void*>("IngGetTableList"),
                        {0, word(area), word(&size), word(&count), word(&sqlcode)}),
            static_cast<uint32_t>(SOUNDER_QUERY_FAILED));
  EXPECT_EQ(checkedCall("IngConnect", catalog.bind<void*>("IngConnect"),
                        {4243, word("nosuchdb"), word(&sqlcode)}),
            0u);
  EXPECT_LT(sqlcode, 0) << "no installation to connect to";
}

TEST(X86Exports, SetupSnapInAndRegistryRootExportsLeaveTheHostsStackAsItWas) {
  {
    SCOPED_TRACE("rigger.dll: the master setup's calls that change nothing");
    BoundLibrary rigger(binDir() + "\\rigger.dll");
    ASSERT_NE(rigger.module(), nullptr) << "error " << rigger.error();
    EXPECT_EQ(checkedCall("GetPostConfigInfo", rigger.bind<void*>("GetPostConfigInfo"), {}), 1u);
    struct {
      uint32_t prodSubType;
      char productName[1024];
    } product{};
    product.prodSubType = 0xbdbdbdbd;
    EXPECT_EQ(checkedCall("GetProductInfo", rigger.bind<void*>("GetProductInfo"), {word(&product)}),
              1u);
    for (const char* name : {"AllowInstall", "PreInstall", "PostInstall", "AllowModify",
                             "AllowUninstall", "PreUninstall", "StartComponent", "Install"}) {
      EXPECT_NE(rigger.bind<void*>(name), nullptr) << name;
    }
  }
  {
    SCOPED_TRACE("lookout.dll: the COM entry points");
    BoundLibrary lookout(binDir() + "\\lookout.dll");
    ASSERT_NE(lookout.module(), nullptr) << "error " << lookout.error();
    EXPECT_EQ(checkedCall("DllCanUnloadNow", lookout.bind<void*>("DllCanUnloadNow"), {}),
              static_cast<uint32_t>(S_OK));
    const GUID unknownClass = {0x0bd0bd0b, 0xbd0b, 0xbd0b, {1, 2, 3, 4, 5, 6, 7, 8}};
    void* object = &object;
    EXPECT_EQ(checkedCall("DllGetClassObject", lookout.bind<void*>("DllGetClassObject"),
                          {word(&unknownClass), word(&IID_IClassFactory), word(&object)}),
              static_cast<uint32_t>(CLASS_E_CLASSNOTAVAILABLE));
    EXPECT_EQ(object, nullptr) << "the out-parameter cleared";
  }
  {
    SCOPED_TRACE("basetool.dll: ordinal 1261 with the type registry_root.h gives it");
    BoundLibrary basetool(binDir() + "\\basetool.dll");
    ASSERT_NE(basetool.module(), nullptr) << "error " << basetool.error();
    auto root = reinterpret_cast<GetProductRegistryRootFn>(reinterpret_cast<void*>(
        GetProcAddress(basetool.module(), MAKEINTRESOURCEA(kRegistryRootOrdinal))));
    char text[kRegistryRootBufferSize] = "";
    EXPECT_EQ(checkedCall("GetProductRegistryRoot", reinterpret_cast<void*>(root),
                          {word(text), kRegistryRootBufferSize}),
              1u);
    EXPECT_STREQ(text, kProductRegistryRoot);
    EXPECT_EQ(checkedCall("GetProductRegistryRoot", reinterpret_cast<void*>(root), {word(text), 3}),
              0u)
        << "too small a buffer";
  }
}

}  // namespace
}  // namespace ferry::test
