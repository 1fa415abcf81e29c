// The levels of a game folder, held open from the player folder down while
// the folder is being installed.
//
// The player folder lies below the data folder every account may write to,
// so another account can put a junction or a symbolic link where a level of
// the game folder belongs; writes and the access-list change would then land
// in whatever folder it points to. Each level is opened without following a
// reparse point and checked, and held open without delete sharing, so no
// level can be renamed away and replaced by a link while the handles are
// held.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/unique_handle.h"

namespace fyrel {

class HeldFolderChain {
 public:
  // Creates each missing level of folder (the levels above top as plain
  // folders, as before), then opens every level from top down. False, with
  // nothing held, when a level is a reparse point, is not a folder or cannot
  // be opened, or when folder does not lie below top.
  bool open(const std::string& top, const std::string& folder);
  void close() noexcept { levels_.clear(); }
  bool held() const noexcept { return !levels_.empty(); }
  // The deepest level (the game folder), opened with the right to change its
  // access list where the account has it; INVALID_HANDLE_VALUE when nothing
  // is held.
  HANDLE deepest() const noexcept { return levels_.empty() ? INVALID_HANDLE_VALUE : levels_.back().get(); }

 private:
  std::vector<UniqueFile> levels_;
};

// Whether the file or folder at path is a reparse point itself (its last
// component; the levels above it are not examined). False when it does not
// exist.
bool isReparsePoint(const std::string& path);

}  // namespace fyrel
