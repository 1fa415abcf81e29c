#include "storage/game_folder_lock.h"

#include <mutex>
#include <set>

#include "storage/game_folder_lock_name.h"

namespace fyrel {
namespace {

// Lock names held by extensions of this process.
std::mutex heldHereLock;
std::set<std::string>& heldHere() {
  static std::set<std::string> names;
  return names;
}

}  // namespace

void GameFolderLock::open(const std::string& gameFolder) {
  release();
  name_ = gameFolderLockName(gameFolder);
  // Not taken at creation: ownership is always taken by a zero-time wait,
  // which also reports a mutex whose owner died.
  mutex_.reset(::CreateMutexA(nullptr, FALSE, name_.c_str()));
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
