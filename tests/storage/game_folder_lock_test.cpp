// The lock on a game folder: one holder in this process, the named mutex
// really held for other processes, and a holder that died frees it.
#include "storage/game_folder_lock.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <thread>

#include "extension/failing_allocation.h"
#include "storage/game_folder_lock_name.h"

namespace fyrel {
namespace {

const char kFolder[] = "C:\\users\\Public\\Fyrel\\FyrelGamesPlayer\\locktest\\game\\";
const char kSameFolderOtherCase[] = "c:\\Users\\public\\fyrel\\FyrelGamesPlayer\\LockTest\\Game\\";

// What another process sees: one zero-time wait on the named mutex, from a
// thread that does not own it. Releases what it got.
DWORD otherProcessWait() {
  DWORD result = WAIT_FAILED;
  std::thread([&] {
    HANDLE mutex = ::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, gameFolderLockName(kFolder).c_str());
    if (mutex == nullptr) return;
    result = ::WaitForSingleObject(mutex, 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
  }).join();
  return result;
}

TEST(GameFolderLock, OneHolderAtATimeAcrossExtensionsAndProcesses) {
  GameFolderLock first;
  GameFolderLock second;
  first.open(kFolder);
  second.open(kSameFolderOtherCase);
  ASSERT_TRUE(first.tryAcquire());
  EXPECT_TRUE(first.tryAcquire());  // a holder asking again still holds it
  // A second extension on the same thread: the mutex would let it in.
  EXPECT_FALSE(second.tryAcquire());
  EXPECT_EQ(otherProcessWait(), static_cast<DWORD>(WAIT_TIMEOUT));

  first.release();
  EXPECT_FALSE(first.held());
  EXPECT_EQ(otherProcessWait(), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(second.tryAcquire());
  EXPECT_FALSE(first.tryAcquire());
  second.release();
  EXPECT_TRUE(first.tryAcquire());
}

TEST(GameFolderLock, ALockThatCannotBeRecordedIsGivenBack) {
  // Recording the held name runs out of memory after the mutex was taken:
  // the mutex once stayed taken, and every other start waited its full
  // limit for a folder nobody installed.
  GameFolderLock lock;
  lock.open(kFolder);
  test::failNextAllocationOnThisThread();
  EXPECT_FALSE(lock.tryAcquire());
  EXPECT_FALSE(lock.held());
  EXPECT_EQ(otherProcessWait(), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(lock.tryAcquire());  // the next step takes it
  EXPECT_EQ(otherProcessWait(), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(GameFolderLock, AHolderThatDiedLeavesTheFolderFree) {
  GameFolderLock lock;
  lock.open(kFolder);
  // Another process's holder, ended without a release.
  std::thread([] {
    HANDLE mutex = ::OpenMutexA(SYNCHRONIZE, FALSE, gameFolderLockName(kFolder).c_str());
    ASSERT_NE(mutex, nullptr);
    ASSERT_EQ(::WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    // Not released: the thread's end abandons the mutex.
    ::CloseHandle(mutex);
  }).join();
  EXPECT_TRUE(lock.tryAcquire());
}

}  // namespace
}  // namespace fyrel
