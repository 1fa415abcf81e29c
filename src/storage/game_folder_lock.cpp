#include "storage/game_folder_lock.h"

#include <sddl.h>

#include <mutex>
#include <set>
#include <vector>

#include "storage/file_name_case.h"
#include "storage/game_folder_lock_name.h"

namespace fyrel {
namespace {

// Lock names held by extensions of this process.
std::mutex heldHereLock;
std::set<std::string>& heldHere() {
  static std::set<std::string> names;
  return names;
}

// Every account may wait on and release the lock, as every account may
// install into the folder; nobody but its creator may change its access
// list. Opened with just those rights, so an account that did not create it
// needs no more.
UniqueKernelHandle createEveryonesMutex(const std::string& name) {
  constexpr DWORD kLockRights = SYNCHRONIZE | MUTEX_MODIFY_STATE;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  // 0x00100001: SYNCHRONIZE | MUTEX_MODIFY_STATE, allowed to Everyone (WD).
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;0x00100001;;;WD)", SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
    descriptor = nullptr;  // the default access list: this account's sessions only
  }
  UniqueLocal owned(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  // Not taken at creation: ownership is always taken by a zero-time wait,
  // which also reports a mutex whose owner died.
  return UniqueKernelHandle(::CreateMutexExA(&attributes, name.c_str(), 0, kLockRights));
}

}  // namespace

// The folder's long path as the file system knows it, so that an 8.3 alias
// of any level ("ACME~1") names the same lock as the long name. Levels that
// do not exist yet have no alias to resolve and are kept as given.
std::string canonicalFolderPath(const std::string& folder) {
  std::string existing = folder;
  while (!existing.empty() && existing.back() == '\\') existing.pop_back();
  std::string rest;
  while (!existing.empty()) {
    const DWORD needed = ::GetLongPathNameA(existing.c_str(), nullptr, 0);
    if (needed != 0) {
      std::vector<char> buffer(needed);
      const DWORD length = ::GetLongPathNameA(existing.c_str(), buffer.data(), needed);
      if (length != 0 && length < needed) return std::string(buffer.data(), length) + rest;
    }
    const std::size_t cut = existing.rfind('\\');
    if (cut == std::string::npos) break;
    rest = existing.substr(cut) + rest;
    existing.resize(cut);
  }
  return folder;
}

std::string gameFolderLockNameOf(const std::string& gameFolder) {
  // Folded in UTF-16, as the file system compares names: "Éditions" and
  // "éditions" are one folder on NTFS, so they must be one lock. (Folding
  // the code page's bytes would leave every letter beyond A to Z apart.)
  const std::wstring folded = fileSystemUpperCase(canonicalFolderPath(gameFolder));
  return gameFolderLockName(std::u16string(folded.begin(), folded.end()));
}

void GameFolderLock::open(const std::string& gameFolder) {
  release();
  name_ = gameFolderLockNameOf(gameFolder);
  mutex_ = createEveryonesMutex(name_);
  if (!mutex_) {
    // Where no machine-wide object can be made, the session's own still
    // serializes the starts of this logon session.
    ::OutputDebugStringA("FyrelExtension: no machine-wide folder lock, using the session's own\n");
    name_ = sessionLockName(name_);
    mutex_ = createEveryonesMutex(name_);
  }
}

bool GameFolderLock::tryAcquire() noexcept {
  if (held_) return true;
  bool mutexTaken = false;
  try {
    std::lock_guard<std::mutex> guard(heldHereLock);
    if (heldHere().count(name_) != 0) return false;
    if (mutex_) {
      const DWORD wait = ::WaitForSingleObject(mutex_.get(), 0);
      // WAIT_ABANDONED: the owner died mid-install; the folder is ours and
      // the missing version marker makes us install afresh.
      if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return false;
      mutexTaken = true;
    }
    heldHere().insert(name_);
  } catch (...) {
    // Out of memory: try again on the next step. A mutex taken before the
    // name could be recorded goes back, or every other start would wait its
    // full limit for a folder nobody installs.
    if (mutexTaken) ::ReleaseMutex(mutex_.get());
    return false;
  }
  held_ = true;
  return true;
}

void GameFolderLock::release() noexcept {
  if (!held_) return;
  held_ = false;
  if (mutex_) ::ReleaseMutex(mutex_.get());
  std::lock_guard<std::mutex> guard(heldHereLock);
  heldHere().erase(name_);
}

}  // namespace fyrel
