// The levels of a game folder, held open from the maker folder down while
// the folder is being installed.
//
// The maker folder lies in the data folder every account may write to, so
// another account can put a junction or a symbolic link where any level of
// the game folder belongs, the maker folder itself included (before the
// first install on a machine, nothing stands there); writes and the
// access-list change would then land in whatever folder it points to. Each
// level is opened without following a reparse point and checked, and held
// open without write or delete sharing, so while the handles are held no
// level can be renamed away and replaced by a link, nor opened for writing
// to be turned into a mount point in place.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/unique_handle.h"

namespace fyrel {

class HeldFolderChain {
 public:
  // Creates each missing level of folder (the levels above top, which
  // belong to the system, as plain folders), then opens every level from
  // top down. False, with nothing held, when a level is a reparse point, is
  // not a folder or cannot be opened, or when folder does not lie below top.
  bool open(const std::string& top, const std::string& folder);
  void close() noexcept {
    levels_.clear();
    deepestPath_.clear();
  }
  bool held() const noexcept { return !levels_.empty(); }
  // Why the last open failed (which level, and what it is), for the line
  // that explains the failure; empty after one that held.
  const std::string& refusal() const noexcept { return refusal_; }
  // The deepest level (the game folder), opened with the right to change its
  // access list where the account has it; INVALID_HANDLE_VALUE when nothing
  // is held.
  HANDLE deepest() const noexcept { return levels_.empty() ? INVALID_HANDLE_VALUE : levels_.back().get(); }
  // Where the deepest level lies as the file system names it
  // (GetFinalPathNameByHandleW of its handle): the folder every file of the
  // install must land in (storage/checked_file.h). Empty when nothing is
  // held.
  const std::wstring& deepestPath() const noexcept { return deepestPath_; }

 private:
  std::vector<UniqueFile> levels_;
  std::wstring deepestPath_;
  std::string refusal_;
};

// Whether the file or folder at path is a reparse point itself (its last
// component; the levels above it are not examined). False when it does not
// exist.
bool isReparsePoint(const std::string& path);

}  // namespace fyrel
