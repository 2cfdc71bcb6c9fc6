// Small Win32 helpers shared by ingsim_lib and the simulated utilities: owning handle types,
// Win32 error text, and folder / file primitives that speak full Windows paths.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace ingsim {

// One owning type per kind of handle: the close function and the invalid value are part of the
// type. Closing keeps the caller's GetLastError().
template <typename Handle, auto Close, auto Invalid>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  Handle get() const { return handle_; }
  Handle* put() {
    reset();
    return &handle_;
  }
  bool valid() const { return handle_ != invalid(); }
  Handle release() {
    Handle h = handle_;
    handle_ = invalid();
    return h;
  }
  void reset(Handle handle = invalid()) {
    if (valid()) {
      DWORD saved = GetLastError();
      Close(handle_);
      SetLastError(saved);
    }
    handle_ = handle;
  }

 private:
  static Handle invalid() { return reinterpret_cast<Handle>(static_cast<intptr_t>(Invalid)); }
  Handle handle_ = invalid();
};

inline void closeKey(HKEY key) { RegCloseKey(key); }

using UniqueFile = UniqueHandle<HANDLE, CloseHandle, -1>;  // INVALID_HANDLE_VALUE
using UniqueHandleNull = UniqueHandle<HANDLE, CloseHandle, 0>;
using UniqueKey = UniqueHandle<HKEY, closeKey, 0>;

// "<what> failed: <system text> (error N)".
std::string win32Error(const std::string& what, DWORD error);

bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);
// Creates a folder and its missing parents; "" or a message.
std::string makeDirectories(const std::string& path);
// Deletes a folder tree; a missing folder is not an error.
std::string removeTree(const std::string& path);
// Removes `folder` and then each parent up to (not including) `stop` while they are empty.
void removeEmptyFolders(const std::string& folder, const std::string& stop);

std::string writeTextFile(const std::string& path, const std::string& text);
std::string readWholeFile(const std::string& path, std::string* contents);
// Writes `size` bytes of the sample pattern of `patternName` in large blocks.
std::string writeSampleFile(const std::string& path, const std::string& patternName, uint64_t size);

// Folder of the running program, without trailing backslash.
std::string programFolder();
std::string parentFolder(const std::string& path);
// Path comparisons: case-insensitive, '/' and '\\' alike, trailing separators ignored.
bool samePath(const std::string& a, const std::string& b);

}  // namespace ingsim
