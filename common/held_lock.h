// The hold of a mutex or a semaphore, given back when the guard goes: ReleaseMutex for a mutex,
// ReleaseSemaphore by one for a semaphore. One guard for both, because a lock that is begun on
// one thread and ended on another must be a semaphore (a mutex can only be given back by the
// thread that owns it), and the guard is what moves between them.
//
// Conventions as unique_handle.h: the hold is given back once, by its owner, without changing
// the caller's GetLastError(); moves only. The guard borrows the handle: its owner (declared
// before the guard, so that it goes after it) keeps it open for as long as the hold lasts.
#pragma once

#include <windows.h>

#include <utility>

namespace ferry {

class HeldLock {
 public:
  enum class Kind { kMutex, kSemaphore };

  HeldLock() = default;

  // Waits at most waitMs for `lock`. Held when the wait gave it: WAIT_OBJECT_0, or for a mutex
  // WAIT_ABANDONED too (its holder's thread ended; the mutex still serialises, and what the
  // holder changed either landed or not). waitResult() keeps what the wait returned.
  static HeldLock wait(HANDLE lock, DWORD waitMs, Kind kind = Kind::kMutex) {
    HeldLock guard;
    guard.waited_ = WaitForSingleObject(lock, waitMs);
    guard.waitedAtAll_ = true;
    if (guard.waited_ == WAIT_OBJECT_0 ||
        (kind == Kind::kMutex && guard.waited_ == WAIT_ABANDONED)) {
      guard.lock_ = lock;
      guard.kind_ = kind;
    }
    return guard;
  }
  // A hold taken otherwise (a mutex created with initial ownership by its creator), from now on
  // given back by the guard.
  static HeldLock adopt(HANDLE lock, Kind kind = Kind::kMutex) {
    HeldLock guard;
    guard.lock_ = lock;
    guard.kind_ = kind;
    guard.waited_ = WAIT_OBJECT_0;
    guard.waitedAtAll_ = true;
    return guard;
  }

  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;
  HeldLock(HeldLock&& other) noexcept
      : lock_(std::exchange(other.lock_, nullptr)),
        kind_(other.kind_),
        waited_(other.waited_),
        waitedAtAll_(other.waitedAtAll_) {}
  HeldLock& operator=(HeldLock&& other) noexcept {
    release();
    lock_ = std::exchange(other.lock_, nullptr);
    kind_ = other.kind_;
    waited_ = other.waited_;
    waitedAtAll_ = other.waitedAtAll_;
    return *this;
  }
  ~HeldLock() { release(); }

  bool held() const { return lock_ != nullptr; }
  explicit operator bool() const { return held(); }
  // WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT or WAIT_FAILED; WAIT_FAILED for no wait at all.
  DWORD waitResult() const { return waitedAtAll_ ? waited_ : WAIT_FAILED; }

  // Gives the hold back now: false (with the system error in *error) when that failed. Not held
  // afterwards either way; the caller's GetLastError() is kept.
  bool release(DWORD* error = nullptr) {
    if (error != nullptr) *error = 0;
    if (lock_ == nullptr) return true;
    const DWORD saved = GetLastError();
    const BOOL released = kind_ == Kind::kMutex
                              ? ReleaseMutex(lock_)
                              : ReleaseSemaphore(lock_, /*count=*/1, /*previous=*/nullptr);
    if (!released && error != nullptr) *error = GetLastError();
    SetLastError(saved);
    lock_ = nullptr;
    return released != FALSE;
  }

 private:
  // A guard that never waited is all zero, so that it can stand in a record that is
  // value-initialised (the agent's connection record).
  HANDLE lock_ = nullptr;
  Kind kind_ = Kind::kMutex;
  DWORD waited_ = 0;
  bool waitedAtAll_ = false;
};

}  // namespace ferry
