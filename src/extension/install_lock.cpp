// One install of a game folder at a time. A second start of the same game
// (another tab, another player process) waits with its loading screen up
// until the first has started the game or failed, then starts the game the
// first installed, or installs it itself.
#include "extension/game_loader_extension.h"

namespace fyrel {
namespace {

// Longer than a whole install of a large package on a slow line; a holder
// that keeps the folder longer is taken to be stuck, and the wait ends as a
// failed download.
constexpr std::uint32_t kGameFolderWaitLimitMs = 10u * 60u * 1000u;

}  // namespace

bool GameLoaderExtension::acquireGameFolder() {
  if (folderLock_.tryAcquire()) return true;
  waitingForFolder_ = true;
  folderWaitStart_ = ::GetTickCount();
  return false;
}

// One zero-time attempt per timer step, so the window thread never blocks
// on another process.
void GameLoaderExtension::waitForGameFolder() {
  if (!folderLock_.tryAcquire()) {
    if (::GetTickCount() - folderWaitStart_ >= kGameFolderWaitLimitMs) {
      waitingForFolder_ = false;
      diagnose("game folder " + gameFolder_ + " still held by another install after " +
               std::to_string(kGameFolderWaitLimitMs / 1000) + " s");
      reportState(LoaderState::Failed, "FAILED TO DOWNLOAD GAME", "STATE_GAME_DOWNLOAD_FAILED");
    }
    return;
  }
  waitingForFolder_ = false;
  // The other start may have installed it meanwhile.
  beginInstalledCheck();
}

}  // namespace fyrel
