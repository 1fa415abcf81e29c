// A lock on one game folder, shared by every extension in every process of
// the session: two starts of the same game would otherwise download into
// the same package file and extract over each other.
//
// A named mutex, so that a process that dies while holding it frees it (the
// next owner finds no version marker and installs afresh), plus a list of
// the names held in this process: a mutex lets its owning thread in again,
// and two extensions of one host usually share one window thread.
//
// Every operation runs on the thread that owns the extension's window; the
// mutex is released by the thread that took it.
#pragma once

#include <string>

#include "common/unique_handle.h"

namespace fyrel {

// The folder's long path as the file system knows it: an 8.3 alias of any
// level ("ACME~1") resolved, so that every spelling of a folder names it
// alike (its lock, this account's record of what it holds).
std::string canonicalFolderPath(const std::string& folder);

// The lock's name for a game folder: its canonical long path, folded as the
// file system folds names, hashed (storage/game_folder_lock_name.h).
std::string gameFolderLockNameOf(const std::string& gameFolder);

class GameFolderLock {
 public:
  GameFolderLock() = default;
  ~GameFolderLock() { release(); }
  GameFolderLock(const GameFolderLock&) = delete;
  GameFolderLock& operator=(const GameFolderLock&) = delete;

  // Names the folder to lock; nothing is taken yet.
  void open(const std::string& gameFolder);
  // One attempt that never waits. True when this object holds the lock
  // (already, or from now on), and also when the platform gave no mutex:
  // the install then goes on unguarded rather than not at all.
  bool tryAcquire() noexcept;
  void release() noexcept;
  bool held() const noexcept { return held_; }

 private:
  std::string name_;
  UniqueKernelHandle mutex_;
  bool held_ = false;
};

}  // namespace fyrel
