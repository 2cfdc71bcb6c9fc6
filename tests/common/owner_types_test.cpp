// The owner types of common/: each gives its resource back exactly once, keeps the caller's
// GetLastError() while doing so, and hands it on when moved.
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <gtest/gtest.h>

#include <thread>
#include <utility>

#include "aligned_buffer.h"
#include "held_lock.h"
#include "process_information.h"
#include "support/child_role.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

constexpr DWORD kMarker = 0xdeadbeef;

// True while `handle` names an open handle of this process.
bool isOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

// True when another thread could take `lock` now (and gives it back at once).
bool freeForAnotherThread(HANDLE lock, HeldLock::Kind kind) {
  bool taken = false;
  std::thread other([&] { taken = HeldLock::wait(lock, 0, kind).held(); });
  other.join();
  return taken;
}

FERRY_CHILD_ROLE(owner_types_exit) { return 7; }

TEST(OwnerTypes, ReleasesKeepTheCallersLastError) {
  {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, sid, &size)) << GetLastError();
    UniqueLocalMemory<char> text;
    ASSERT_TRUE(ConvertSidToStringSidA(sid, text.put())) << GetLastError();
    EXPECT_STREQ(text.get(), "S-1-5-18");
    SetLastError(kMarker);
  }
  EXPECT_EQ(GetLastError(), kMarker) << "LocalFree";
  {
    UniqueHGlobal memory(GlobalAlloc(GMEM_MOVEABLE, 64));
    ASSERT_TRUE(memory) << GetLastError();
    UniqueBitmap bitmap(CreateBitmap(4, 4, 1, 1, nullptr));
    ASSERT_TRUE(bitmap) << GetLastError();
    AlignedBuffer buffer(1 << 16);
    ASSERT_TRUE(buffer.valid()) << GetLastError();
    UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    ASSERT_TRUE(manager) << GetLastError();
    SetLastError(kMarker);
  }
  EXPECT_EQ(GetLastError(), kMarker) << "GlobalFree, DeleteObject, VirtualFree, CloseServiceHandle";
  {
    UniqueHandleNull mutex(CreateMutexA(nullptr, FALSE, nullptr));
    HeldLock held = HeldLock::wait(mutex.get(), 1000);
    ASSERT_TRUE(held.held()) << held.waitResult();
    SetLastError(kMarker);
  }
  EXPECT_EQ(GetLastError(), kMarker) << "ReleaseMutex";
}

TEST(OwnerTypes, MovedOwnersGiveBackOnceAndOnlyTheLast) {
  {
    SCOPED_TRACE("the page-aligned buffer");
    AlignedBuffer first(1 << 20);
    ASSERT_TRUE(first.valid()) << GetLastError();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first.data()) % 4096, 0u);
    EXPECT_EQ(first.span().size(), 1u << 20);
    uint8_t* pages = first.data();
    AlignedBuffer second(std::move(first));
    EXPECT_FALSE(first.valid());
    EXPECT_EQ(first.size(), 0u);
    EXPECT_EQ(second.data(), pages);
    second = AlignedBuffer(4096);
    MEMORY_BASIC_INFORMATION info{};
    ASSERT_EQ(VirtualQuery(pages, &info, sizeof info), sizeof info);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE)) << "the first pages were not given back";
    EXPECT_EQ(AlignedBuffer(0).size(), 0u) << "a failed allocation is empty";
  }
  {
    SCOPED_TRACE("a started process");
    std::string command = "\"" + selfPath() + "\" --child owner_types_exit";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    UniqueProcessInformation started;
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, started.put()))
        << GetLastError();
    const HANDLE thread = started.thread();
    ASSERT_TRUE(isOpen(started.process()) && isOpen(thread));
    UniqueProcessInformation moved = std::move(started);
    EXPECT_FALSE(started);
    EXPECT_EQ(started.thread(), nullptr);
    moved.closeThread();
    EXPECT_FALSE(isOpen(thread)) << "closeThread";
    UniqueHandleNull process = moved.takeProcess();
    EXPECT_FALSE(moved);
    ASSERT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process.get(), &code));
    EXPECT_EQ(code, 7u);
    moved.reset();
    EXPECT_TRUE(isOpen(process.get())) << "a taken handle is not closed by its old owner";
  }
}

TEST(HeldLock, MutexesAndSemaphoresAreGivenBackWhenTheGuardGoes) {
  UniqueHandleNull mutex(CreateMutexA(nullptr, FALSE, nullptr));
  UniqueHandleNull semaphore(CreateSemaphoreA(nullptr, 1, 1, nullptr));
  ASSERT_TRUE(mutex && semaphore) << GetLastError();
  {
    SCOPED_TRACE("a mutex, held and given back");
    HeldLock held = HeldLock::wait(mutex.get(), 1000);
    ASSERT_TRUE(held);
    EXPECT_EQ(held.waitResult(), WAIT_OBJECT_0);
    EXPECT_FALSE(freeForAnotherThread(mutex.get(), HeldLock::Kind::kMutex));
    DWORD error = 1;
    EXPECT_TRUE(held.release(&error));
    EXPECT_EQ(error, 0u);
    EXPECT_FALSE(held);
    EXPECT_TRUE(freeForAnotherThread(mutex.get(), HeldLock::Kind::kMutex));
  }
  {
    SCOPED_TRACE("a wait that ends without the lock holds nothing and gives nothing back");
    HeldLock first = HeldLock::wait(semaphore.get(), 0, HeldLock::Kind::kSemaphore);
    ASSERT_TRUE(first);
    {
      HeldLock timedOut = HeldLock::wait(semaphore.get(), 50, HeldLock::Kind::kSemaphore);
      EXPECT_FALSE(timedOut);
      EXPECT_EQ(timedOut.waitResult(), static_cast<DWORD>(WAIT_TIMEOUT));
    }
    EXPECT_FALSE(freeForAnotherThread(semaphore.get(), HeldLock::Kind::kSemaphore))
        << "the failed wait gave back the first hold";
  }
  {
    SCOPED_TRACE("an abandoned mutex is held all the same");
    std::thread dying([&] { WaitForSingleObject(mutex.get(), 1000); });
    dying.join();
    HeldLock held = HeldLock::wait(mutex.get(), 1000);
    EXPECT_TRUE(held);
    EXPECT_EQ(held.waitResult(), static_cast<DWORD>(WAIT_ABANDONED));
  }
  {
    SCOPED_TRACE("a semaphore taken on one thread is given back on another");
    HeldLock held = HeldLock::wait(semaphore.get(), 1000, HeldLock::Kind::kSemaphore);
    ASSERT_TRUE(held);
    EXPECT_FALSE(freeForAnotherThread(semaphore.get(), HeldLock::Kind::kSemaphore));
    std::thread ender([moved = std::move(held)]() mutable { moved.release(); });
    ender.join();
    EXPECT_TRUE(freeForAnotherThread(semaphore.get(), HeldLock::Kind::kSemaphore));
  }
  {
    SCOPED_TRACE("a mutex made with its creator's ownership, adopted");
    UniqueHandleNull owned(CreateMutexA(nullptr, TRUE, nullptr));
    ASSERT_TRUE(owned);
    {
      HeldLock held = HeldLock::adopt(owned.get());
      EXPECT_FALSE(freeForAnotherThread(owned.get(), HeldLock::Kind::kMutex));
    }
    EXPECT_TRUE(freeForAnotherThread(owned.get(), HeldLock::Kind::kMutex));
  }
}

TEST(RevertOnExit, RevertsExactlyOnceOnEveryWayOut) {
  int reverts = 0;
  auto revert = [&] {
    ++reverts;
    SetLastError(ERROR_ACCESS_DENIED);
    return static_cast<DWORD>(ERROR_ACCESS_DENIED);
  };
  {
    RevertOnExit guard(revert);
    SetLastError(kMarker);
  }
  EXPECT_EQ(reverts, 1);
  EXPECT_EQ(GetLastError(), kMarker) << "the revert at the scope's end kept the caller's error";
  {
    RevertOnExit guard(revert);
    EXPECT_EQ(guard.revertNow(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "its result";
    EXPECT_EQ(guard.revertNow(), 0u) << "reverted already";
    EXPECT_FALSE(guard.active());
  }
  EXPECT_EQ(reverts, 2);
  {
    RevertOnExit first(revert);
    RevertOnExit second(std::move(first));
    EXPECT_FALSE(first.active());
  }
  EXPECT_EQ(reverts, 3) << "a moved guard reverts once";
  {
    RevertOnExit guard(revert);
    guard.dismiss();
  }
  EXPECT_EQ(reverts, 3) << "a dismissed guard leaves the impersonation on";
}

}  // namespace
}  // namespace ferry::test
