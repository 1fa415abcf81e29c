// The lock on a game folder: one holder in this process, the named mutex
// really held for other processes, and a holder that died frees it.
#include "storage/game_folder_lock.h"

#include <windows.h>
#include <aclapi.h>
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "common/unique_handle.h"
#include "extension/failing_allocation.h"
#include "storage/game_folder_lock_name.h"
#include "support/test_paths.h"

namespace fyrel {
namespace {

const char kFolder[] = "C:\\users\\Public\\Fyrel\\FyrelGamesPlayer\\locktest\\game\\";
const char kSameFolderOtherCase[] = "c:\\Users\\public\\fyrel\\FyrelGamesPlayer\\LockTest\\Game\\";

// What another process sees: one zero-time wait on the named mutex, from a
// thread that does not own it. Releases what it got.
DWORD otherProcessWait() {
  DWORD result = WAIT_FAILED;
  std::thread([&] {
    HANDLE mutex = ::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, gameFolderLockNameOf(kFolder).c_str());
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
    HANDLE mutex = ::OpenMutexA(SYNCHRONIZE, FALSE, gameFolderLockNameOf(kFolder).c_str());
    ASSERT_NE(mutex, nullptr);
    ASSERT_EQ(::WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    // Not released: the thread's end abandons the mutex.
    ::CloseHandle(mutex);
  }).join();
  EXPECT_TRUE(lock.tryAcquire());
}

// Another logon session sees the lock (Global\\), and so may every account:
// the one entry of its access list lets Everyone wait on and release it.
TEST(GameFolderLock, IsMachineWideAndOpenToEveryAccount) {
  const std::string folder = test::scratchDir("lock_global") + "game\\";
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  GameFolderLock lock;
  lock.open(folder);
  ASSERT_TRUE(lock.tryAcquire());

  const std::string name = gameFolderLockNameOf(folder);
  ASSERT_EQ(name.rfind("Global\\", 0), 0u);
  UniqueKernelHandle mutex(::OpenMutexA(SYNCHRONIZE | READ_CONTROL, FALSE, name.c_str()));
  ASSERT_TRUE(mutex) << name;
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(::GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr,
                              &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  UniqueLocal owned(descriptor);
  ASSERT_NE(acl, nullptr);
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ASSERT_TRUE(::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  ASSERT_EQ(acl->AceCount, 1);
  void* raw = nullptr;
  ASSERT_TRUE(::GetAce(acl, 0, &raw));
  const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
  EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_TRUE(::EqualSid(const_cast<DWORD*>(&ace->SidStart), everyone));
  EXPECT_EQ(ace->Mask, static_cast<ACCESS_MASK>(SYNCHRONIZE | MUTEX_MODIFY_STATE));
  ::FreeSid(everyone);
}

// An 8.3 alias of a level names the same folder, so it names the same lock.
TEST(GameFolderLock, AShortAliasOfALevelNamesTheSameLock) {
  const std::string root = test::scratchDir("lock_alias");
  const std::string longFolder = root + "acmecorporation\\puzzlegame\\";
  ASSERT_TRUE(::CreateDirectoryA((root + "acmecorporation").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(longFolder.c_str(), nullptr));
  char shortPath[MAX_PATH] = {};
  ASSERT_NE(::GetShortPathNameA(longFolder.c_str(), shortPath, MAX_PATH), 0u);
  ASSERT_NE(std::string(shortPath).find('~'), std::string::npos) << shortPath;
  // Also an alias spelling of a folder that does not exist yet, below one
  // that does.
  const std::string shortGame = shortPath;
  const std::string shortAcme = shortGame.substr(0, shortGame.rfind('\\', shortGame.size() - 2) + 1);
  const struct {
    const char* what;
    std::string longSpelling;
    std::string aliasSpelling;
  } cases[] = {
      {"short alias", longFolder, shortGame},
      {"alias above a missing level", root + "acmecorporation\\newgame\\", shortAcme + "newgame\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    GameFolderLock first;
    GameFolderLock second;
    first.open(c.longSpelling);
    second.open(c.aliasSpelling);
    ASSERT_TRUE(first.tryAcquire());
    EXPECT_FALSE(second.tryAcquire()) << c.aliasSpelling;
  }
}

}  // namespace
}  // namespace fyrel
