// One install of a game folder at a time. A second start of the same game
// (another tab, another player process) waits with its loading screen up
// until the first has started the game or failed, then starts the game the
// first installed, or installs it itself.
#include "download/http_downloader.h"
#include "extension/game_loader_extension.h"
#include "storage/folder_access.h"
#include "storage/folder_chain.h"
#include "storage/player_folder.h"
#include "storage/version_marker.h"

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
  if (versionMarkerMatches(gameFolder_, cabFileName_) && installedGameVouchedFor()) {
    reportInstalledGame();  // the other start installed it meanwhile
    return;
  }
  beginTransfer();
}

void GameLoaderExtension::beginTransfer() {
  releaseGameModule();
  // Nothing is created, deleted or written in the game folder before every
  // level of it, from the maker folder down, is known to be a plain folder
  // and held so: a level another account made a link would send all of it,
  // the access list included, to the folder the link points to.
  if (!folderChain_.open(resolveMakerFolder(), gameFolder_)) {
    diagnose("game folder " + gameFolder_ + " refused: " + folderChain_.refusal());
    reportState(LoaderState::Failed, "FAILED TO DOWNLOAD GAME", "STATE_GAME_DOWNLOAD_FAILED");
    return;
  }
  // From here the folder is being replaced: whatever the outcome, the old
  // marker must not vouch for it (nor can a member reach the marker under
  // another name, such as its short 8.3 name, and leave it standing).
  deleteVersionMarker(gameFolder_);
  grantFolderAccess(folderChain_.deepest());  // best effort: the download goes on regardless
  // A restart goes on from what the last attempt left; the first transfer
  // of this start from what an earlier start left, if anything fits.
  if (!transferBegun_) {
    transferBegun_ = true;
    resumeFrom_ = resumePointLeftOnDisk();
  }
  if (downloader_) downloader_->start(gameCabUrl_, packagePath_, folderChain_.deepestPath(), resumeFrom_);
}

}  // namespace fyrel
