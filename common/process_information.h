// The process and thread handles that CreateProcess* gives back, owned together: both closed
// when the owner goes, unless one was taken out first.
//
// Conventions as unique_handle.h: wrapped on the line after the call that fills it (or filled
// through put()); closing never changes the caller's GetLastError(); moves only.
#pragma once

#include <windows.h>

#include <utility>

#include "unique_handle.h"

namespace ferry {

class UniqueProcessInformation {
 public:
  UniqueProcessInformation() = default;
  explicit UniqueProcessInformation(const PROCESS_INFORMATION& started) : info_(started) {}
  UniqueProcessInformation(const UniqueProcessInformation&) = delete;
  UniqueProcessInformation& operator=(const UniqueProcessInformation&) = delete;
  UniqueProcessInformation(UniqueProcessInformation&& other) noexcept
      : info_(std::exchange(other.info_, PROCESS_INFORMATION{})) {}
  UniqueProcessInformation& operator=(UniqueProcessInformation&& other) noexcept {
    reset(std::exchange(other.info_, PROCESS_INFORMATION{}));
    return *this;
  }
  ~UniqueProcessInformation() { reset(); }

  // For the last argument of CreateProcess*: drops what it holds first.
  PROCESS_INFORMATION* put() {
    reset();
    return &info_;
  }
  const PROCESS_INFORMATION& get() const { return info_; }
  HANDLE process() const { return info_.hProcess; }
  HANDLE thread() const { return info_.hThread; }
  DWORD processId() const { return info_.dwProcessId; }
  DWORD threadId() const { return info_.dwThreadId; }
  // The process handle is what there is to wait on.
  explicit operator bool() const { return info_.hProcess != nullptr; }

  // Hands one handle on to an owner of its own; this one holds it no more.
  UniqueHandleNull takeProcess() {
    return UniqueHandleNull(std::exchange(info_.hProcess, nullptr));
  }
  UniqueHandleNull takeThread() { return UniqueHandleNull(std::exchange(info_.hThread, nullptr)); }
  // A caller that neither resumes nor waits on the thread lets it go at once.
  void closeThread() { takeThread().reset(); }

  void reset(const PROCESS_INFORMATION& info = PROCESS_INFORMATION{}) {
    // The owners close with GetLastError() kept; the thread first, as it was made last.
    UniqueHandleNull thread(info_.hThread);
    UniqueHandleNull process(info_.hProcess);
    thread.reset();
    process.reset();
    info_ = info;
  }

 private:
  PROCESS_INFORMATION info_{};
};

}  // namespace ferry
