// The game folder's access list on the real security calls, read back with
// GetFileSecurityA.
#include "storage/folder_access.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "support/test_paths.h"

namespace fyrel {
namespace {

// The folder's security descriptor (access list part) as Wine keeps it.
std::vector<char> readDacl(const std::string& path) {
  DWORD needed = 0;
  ::GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  std::vector<char> descriptor(needed);
  if (needed == 0 || !::GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed)) {
    descriptor.clear();
  }
  return descriptor;
}

struct AceView {
  BYTE type;
  BYTE flags;
  ACCESS_MASK mask;
  bool everyone;
};

// The entries of a descriptor's access list; absent list: no entries.
std::vector<AceView> entriesOf(std::vector<char>& descriptor) {
  std::vector<AceView> entries;
  if (descriptor.empty()) return entries;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL acl = nullptr;
  if (!::GetSecurityDescriptorDacl(descriptor.data(), &present, &acl, &defaulted) || !present || acl == nullptr) {
    return entries;
  }
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* raw = nullptr;
    if (!::GetAce(acl, i, &raw)) continue;
    const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    entries.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask,
                       ::EqualSid(const_cast<DWORD*>(&ace->SidStart), everyone) != FALSE});
  }
  ::FreeSid(everyone);
  return entries;
}

std::vector<AceView> entriesOf(const std::string& path) {
  std::vector<char> descriptor = readDacl(path);
  return entriesOf(descriptor);
}

const AceView* everyoneEntry(const std::vector<AceView>& entries) {
  for (const AceView& entry : entries) {
    if (entry.everyone && entry.type == ACCESS_ALLOWED_ACE_TYPE) return &entry;
  }
  return nullptr;
}

bool everyoneMayWrite(const std::string& path) {
  const std::vector<AceView> entries = entriesOf(path);
  const AceView* everyone = everyoneEntry(entries);
  return everyone != nullptr && (everyone->mask & FILE_GENERIC_WRITE) == FILE_GENERIC_WRITE;
}

// Bytes in use on the process heap, where LocalAlloc, the SID and the access
// list live.
SIZE_T heapBytesInUse() {
  const HANDLE heap = ::GetProcessHeap();
  SIZE_T total = 0;
  ::HeapLock(heap);
  PROCESS_HEAP_ENTRY entry{};
  while (::HeapWalk(heap, &entry)) {
    if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
  }
  ::HeapUnlock(heap);
  return total;
}

// The folder as the loader holds it: not through a link, with the right to
// change its access list (or, for the failure cases, without it).
UniqueFile openFolder(const std::string& path, DWORD access = READ_CONTROL | WRITE_DAC) {
  return UniqueFile(::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Upstream Wine keeps no access list of its own for files: it turns the list
// into the Unix mode bits and, when asked, makes a list up from those bits
// (owner, group, Everyone). So what shows here is the effect on the mode:
// Everyone gains write access to the folder and nothing else changes. The
// single entry, its inheritance flags, and that earlier entries are gone can
// only be seen on Windows.
TEST(FolderAccess, OpensAnExistingFolderToEveryoneAndLeavesItsParentAlone) {
  const std::string root = test::scratchDir("folder_access_grant");
  const std::string folder = root + "game\\";
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  const std::vector<char> parentBefore = readDacl(root);
  ASSERT_FALSE(everyoneMayWrite(folder));

  EXPECT_TRUE(grantFolderAccess(openFolder(folder).get()));
  EXPECT_TRUE(everyoneMayWrite(folder));
  EXPECT_FALSE(everyoneMayWrite(root));
  EXPECT_EQ(readDacl(root), parentBefore);

  // Again on the same folder: the same outcome.
  const std::vector<char> after = readDacl(folder);
  EXPECT_TRUE(grantFolderAccess(openFolder(folder).get()));
  EXPECT_EQ(readDacl(folder), after);

  // Files made afterwards (the download, the extraction) can be written by
  // everyone's processes through the folder.
  test::writeFile(folder + "package.cab", "x");
  EXPECT_EQ(test::readFile(folder + "package.cab"), "x");
}

TEST(FolderAccess, NoFolderOrNoRightGivesFalseAndChangesNothing) {
  const std::string root = test::scratchDir("folder_access_missing");
  const std::string missing = root + "absent\\";
  EXPECT_FALSE(grantFolderAccess(openFolder(missing).get()));
  EXPECT_FALSE(test::fileExists(missing));
  EXPECT_FALSE(grantFolderAccess(nullptr));

  const std::string folder = root + "game\\";
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  const std::vector<char> before = readDacl(folder);
  UniqueFile readOnly = openFolder(folder, READ_CONTROL);
  ASSERT_TRUE(readOnly);
  EXPECT_FALSE(grantFolderAccess(readOnly.get()));
  EXPECT_EQ(readDacl(folder), before);
}

// GetProcessHandleCount reports 0 under Wine, so the heap is what can be
// watched: the SID, the access list and the descriptor are all heap blocks,
// and forgetting any one of them grows the heap by at least 12 bytes a call.
TEST(FolderAccess, ReleasesEverythingItMakesOnSuccessAndFailure) {
  const std::string root = test::scratchDir("folder_access_release");
  const std::string folder = root + "game\\";
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  UniqueFile granting = openFolder(folder);
  UniqueFile refused = openFolder(folder, READ_CONTROL);  // the call fails on it
  ASSERT_TRUE(granting);
  ASSERT_TRUE(refused);
  constexpr int kCalls = 2000;
  for (HANDLE handle : {granting.get(), refused.get()}) {
    SCOPED_TRACE(handle == granting.get() ? "granted" : "refused");
    grantFolderAccess(handle);  // first-call allocations of the system libraries
    const SIZE_T before = heapBytesInUse();
    for (int i = 0; i < kCalls; ++i) grantFolderAccess(handle);
    const SIZE_T after = heapBytesInUse();
    EXPECT_LT(after, before + kCalls * 4) << "heap grew from " << before << " to " << after;
  }
}

}  // namespace
}  // namespace fyrel
