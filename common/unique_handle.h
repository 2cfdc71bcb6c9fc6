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
//
// The owners that are more than one handle stand in headers of their own: the page-aligned
// buffer (aligned_buffer.h), the process and thread of a started process (process_information.h)
// and the hold of a mutex or semaphore (held_lock.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <utility>

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
inline bool closeService(SC_HANDLE service) { return CloseServiceHandle(service) != FALSE; }
// LocalFree and GlobalFree give back null on success.
inline bool freeLocal(void* memory) { return LocalFree(memory) == nullptr; }
inline bool freeGlobal(HGLOBAL memory) { return GlobalFree(memory) == nullptr; }
inline bool deleteGdiObject(HGDIOBJ object) { return DeleteObject(object) != FALSE; }
inline bool destroyIcon(HICON icon) { return DestroyIcon(icon) != FALSE; }
}  // namespace detail

// Files and pipes: INVALID_HANDLE_VALUE means none.
using UniqueFile = UniqueHandle<HANDLE, detail::closeHandle, -1>;
// Processes, threads, events, mutexes, sections, tokens: null means none.
using UniqueHandleNull = UniqueHandle<HANDLE, detail::closeHandle, 0>;
using UniqueKey = UniqueHandle<HKEY, detail::closeKey, 0>;
using UniqueModule = UniqueHandle<HMODULE, detail::freeModule, 0>;
using UniqueView = UniqueHandle<void*, detail::unmapView, 0>;
using UniqueFind = UniqueHandle<HANDLE, detail::closeFind, -1>;
// The service control manager and the services opened through it.
using UniqueService = UniqueHandle<SC_HANDLE, detail::closeService, 0>;
// Memory the system allocated for the caller and that LocalFree gives back (the texts of
// FormatMessage and ConvertSidToStringSid, security descriptors, DPAPI blobs), as a T*:
// `UniqueLocalMemory<char> text; ConvertSidToStringSidA(sid, text.put());`.
template <typename T>
using UniqueLocalMemory = UniqueHandle<T*, detail::freeLocal, 0>;
// A global memory object (clipboard and data-object media), freed with GlobalFree.
using UniqueHGlobal = UniqueHandle<HGLOBAL, detail::freeGlobal, 0>;
// A GDI object (bitmap, brush, font, ...) of the given handle type, deleted with DeleteObject.
template <typename Gdi>
using UniqueGdiObject = UniqueHandle<Gdi, detail::deleteGdiObject, 0>;
using UniqueBitmap = UniqueGdiObject<HBITMAP>;
// An icon made by LoadImage, CreateIconIndirect, ... (not a shared one), destroyed with
// DestroyIcon.
using UniqueIcon = UniqueHandle<HICON, detail::destroyIcon, 0>;
// A handle or search held in a record whose convention gives both 0 and INVALID_HANDLE_VALUE the
// meaning "none" (the agent's connection record): empty is 0, and -1 is never closed either.
using RecordHandle = UniqueHandle<HANDLE, detail::closeHandle, 0, -1>;
using RecordSearch = UniqueHandle<HANDLE, detail::closeFind, 0, -1>;

// A C runtime stream (fopen), closed with fclose.
struct StdioFileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueStdioFile = std::unique_ptr<FILE, StdioFileCloser>;

// Runs a cleanup that is not a handle (restoring the current directory, uninitialising COM)
// when the scope ends, keeping the caller's GetLastError(). Moves hand the cleanup on.
template <typename Fn>
class ScopeExit {
 public:
  explicit ScopeExit(Fn fn) : fn_(std::move(fn)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ScopeExit(ScopeExit&& other) noexcept : fn_(std::move(other.fn_)), active_(other.active_) {
    other.active_ = false;
  }
  ScopeExit& operator=(ScopeExit&&) = delete;
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

// Ends an impersonation on every way out of the scope that began it. `Revert` is a callable
// that reverts the calling thread and returns 0 or the system error (an account layer's
// revertToSelf(), or a lambda over RevertToSelf), so that the guard knows nothing of who
// impersonates:
//
//   if (accounts.impersonate(token) != 0) return ...;
//   RevertOnExit revert([&] { return accounts.revertToSelf(); });
//   ...
//   if (DWORD error = revert.revertNow(); error != 0) trace(...);   // where the result counts
//
// Made right after the impersonation succeeded. Reverts at most once; a revert on scope exit
// keeps the caller's GetLastError() and drops its result (nothing is left to report it to).
template <typename Revert>
class RevertOnExit {
 public:
  explicit RevertOnExit(Revert revert) : revert_(std::move(revert)) {}
  RevertOnExit(const RevertOnExit&) = delete;
  RevertOnExit& operator=(const RevertOnExit&) = delete;
  RevertOnExit(RevertOnExit&& other) noexcept
      : revert_(std::move(other.revert_)), active_(other.active_) {
    other.active_ = false;
  }
  RevertOnExit& operator=(RevertOnExit&&) = delete;
  ~RevertOnExit() {
    if (active_) {
      const DWORD saved = GetLastError();
      revert_();
      SetLastError(saved);
    }
  }
  // Reverts now: 0 or the system error; 0 and nothing done when it was reverted already.
  DWORD revertNow() {
    if (!active_) return 0;
    active_ = false;
    return static_cast<DWORD>(revert_());
  }
  // The impersonation outlives the scope (its end is somebody else's now).
  void dismiss() { active_ = false; }
  bool active() const { return active_; }

 private:
  Revert revert_;
  bool active_ = true;
};

}  // namespace ferry
