// basetool.dll: ordinal 1261 reports the product's registry root, all or nothing.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "registry_root.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

// The value the product's own library reports; the agent's settings live below it.
const std::string kExpectedRoot = "SOFTWARE\\Norvane\\Halyard Tidewell";

constexpr unsigned char kMarker = 0xbd;
constexpr size_t kGuard = 32;

class BasetoolExports : public testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryA((binDir() + "\\basetool.dll").c_str());
    ASSERT_NE(module_, nullptr) << "error " << GetLastError();
    // Through void*: GetProcAddress's FARPROC has no parameters of its own.
    root_ = reinterpret_cast<GetProductRegistryRootFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, MAKEINTRESOURCEA(kRegistryRootOrdinal))));
    ASSERT_NE(root_, nullptr) << "ordinal " << kRegistryRootOrdinal << ": error " << GetLastError();
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  // Calls the export on a buffer of `size` bytes plus a guard, all filled with the marker.
  // Returns the result; *out gets the whole buffer, guard included.
  int call(unsigned long size, std::string* out) {
    std::string buffer(size + kGuard, static_cast<char>(kMarker));
    int result = root_(buffer.data(), size);
    *out = buffer;
    return result;
  }

  static size_t firstUnmarked(const std::string& bytes, size_t from) {
    for (size_t i = from; i < bytes.size(); ++i) {
      if (static_cast<unsigned char>(bytes[i]) != kMarker) return i;
    }
    return std::string::npos;
  }

  HMODULE module_ = nullptr;
  GetProductRegistryRootFn root_ = nullptr;
};

TEST_F(BasetoolExports, ExportsByOrdinalOnly) {
  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetProcAddress(module_, "GetProductRegistryRoot"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  // The loaded image's export directory: one function, at 1261, and no names at all.
  const auto* base = reinterpret_cast<const unsigned char*>(module_);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  ASSERT_NE(directory.Size, 0u);
  const auto* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  EXPECT_EQ(exports->NumberOfNames, 0u);
  EXPECT_EQ(exports->NumberOfFunctions, 1u);
  EXPECT_EQ(exports->Base, kRegistryRootOrdinal);
  EXPECT_EQ(GetProcAddress(module_, MAKEINTRESOURCEA(kRegistryRootOrdinal - 1)), nullptr);
  EXPECT_EQ(GetProcAddress(module_, MAKEINTRESOURCEA(kRegistryRootOrdinal + 1)), nullptr);
}

TEST_F(BasetoolExports, WritesRootAndNothingElse) {
  ASSERT_EQ(std::string(kProductRegistryRoot), kExpectedRoot) << "registry_root.h";
  const unsigned long needed = static_cast<unsigned long>(kExpectedRoot.size() + 1);
  std::string bytes;
  {
    SCOPED_TRACE("the callers' 260-byte buffer");
    ASSERT_EQ(call(kRegistryRootBufferSize, &bytes), 1);
    EXPECT_EQ(std::string(bytes.c_str()), kExpectedRoot);
    EXPECT_EQ(firstUnmarked(bytes, needed), std::string::npos)
        << "written past the NUL at " << firstUnmarked(bytes, needed);
  }
  {
    SCOPED_TRACE("exactly the path and its NUL");
    ASSERT_EQ(call(needed, &bytes), 1);
    EXPECT_EQ(bytes.substr(0, needed), kExpectedRoot + '\0');
    EXPECT_EQ(firstUnmarked(bytes, needed), std::string::npos);
  }
  {
    SCOPED_TRACE("one byte more than needed");
    ASSERT_EQ(call(needed + 1, &bytes), 1);
    EXPECT_EQ(bytes.substr(0, needed), kExpectedRoot + '\0');
    EXPECT_EQ(firstUnmarked(bytes, needed), std::string::npos);
  }
  for (unsigned long size : {needed - 1, 1ul, 0ul}) {
    SCOPED_TRACE("too small: " + std::to_string(size) + " bytes");
    EXPECT_EQ(call(size, &bytes), 0);
    EXPECT_EQ(firstUnmarked(bytes, 0), std::string::npos)
        << "wrote byte " << firstUnmarked(bytes, 0) << " on failure";
  }
  {
    SCOPED_TRACE("no buffer");
    EXPECT_EQ(root_(nullptr, kRegistryRootBufferSize), 0);
  }
}

}  // namespace
}  // namespace ferry::test
