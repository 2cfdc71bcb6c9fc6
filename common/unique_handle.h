// Owning wrappers for Win32 handles, one type per kind of handle.
//
// Conventions:
// - The close function and the invalid value are part of the type, so a handle is wrapped on
//   the line that receives it and closed exactly once, by its owner.
// - Closing never changes the caller's GetLastError(): cleanup on an error path keeps the error
//   that the caller is about to report.
// - No exceptions; moves transfer ownership, copies are not allowed.
// - A type may name a second value that also means none (`AlsoNone`): the connection record's
//   convention uses both 0 and INVALID_HANDLE_VALUE for "no handle", and neither is ever closed
//   (closing INVALID_HANDLE_VALUE would act on the current process).
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>

namespace ferry {

template <typename Handle, auto Close, intptr_t Invalid, intptr_t AlsoNone = Invalid>
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
  // For APIs that return the handle through an out-parameter; drops the current one first.
  Handle* put() {
    reset();
    return &handle_;
  }
  bool valid() const {
    return handle_ != invalid() && handle_ != reinterpret_cast<Handle>(AlsoNone);
  }
  explicit operator bool() const { return valid(); }
  Handle release() {
    Handle handle = handle_;
    handle_ = invalid();
    return handle;
  }
  void reset(Handle handle = invalid()) {
    if (valid()) {
      DWORD saved = GetLastError();
      Close(handle_);
      SetLastError(saved);
    }
    handle_ = handle;
  }
  // Closes the handle now, for a caller that reports a failed close: false (with the system
  // error in *error) when the close failed. The handle is none afterwards either way, and the
  // caller's GetLastError() is kept.
  bool close(DWORD* error = nullptr) {
    if (error != nullptr) *error = 0;
    if (!valid()) {
      handle_ = invalid();
      return true;
    }
    const DWORD saved = GetLastError();
    const bool closed = Close(handle_);
    if (!closed && error != nullptr) *error = GetLastError();
    SetLastError(saved);
    handle_ = invalid();
    return closed;
  }
  static Handle invalid() { return reinterpret_cast<Handle>(Invalid); }

 private:
  Handle handle_ = invalid();
};

namespace detail {
// Every close function reports success as true, so that close() can tell a failed close.
inline bool closeHandle(HANDLE handle) { return CloseHandle(handle) != FALSE; }
inline bool closeKey(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }
inline bool freeModule(HMODULE module) { return FreeLibrary(module) != FALSE; }
inline bool unmapView(void* view) { return UnmapViewOfFile(view) != FALSE; }
inline bool closeFind(HANDLE find) { return FindClose(find) != FALSE; }
}  // namespace detail

// Files and pipes: INVALID_HANDLE_VALUE means none.
using UniqueFile = UniqueHandle<HANDLE, detail::closeHandle, -1>;
// Processes, threads, events, mutexes, sections, tokens: null means none.
using UniqueHandleNull = UniqueHandle<HANDLE, detail::closeHandle, 0>;
using UniqueKey = UniqueHandle<HKEY, detail::closeKey, 0>;
using UniqueModule = UniqueHandle<HMODULE, detail::freeModule, 0>;
using UniqueView = UniqueHandle<void*, detail::unmapView, 0>;
using UniqueFind = UniqueHandle<HANDLE, detail::closeFind, -1>;
// A handle or search held in a record whose convention gives both 0 and INVALID_HANDLE_VALUE the
// meaning "none" (the agent's connection record): empty is 0, and -1 is never closed either.
using RecordHandle = UniqueHandle<HANDLE, detail::closeHandle, 0, -1>;
using RecordSearch = UniqueHandle<HANDLE, detail::closeFind, 0, -1>;

// A C runtime stream (fopen), closed with fclose.
struct StdioFileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueStdioFile = std::unique_ptr<FILE, StdioFileCloser>;

// Runs a cleanup that is not a handle (ending an impersonation, releasing a mutex) when the
// scope ends, keeping the caller's GetLastError().
template <typename Fn>
class ScopeExit {
 public:
  explicit ScopeExit(Fn fn) : fn_(fn) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() {
    if (active_) {
      DWORD saved = GetLastError();
      fn_();
      SetLastError(saved);
    }
  }
  void dismiss() { active_ = false; }

 private:
  Fn fn_;
  bool active_ = true;
};

}  // namespace ferry
