// The controller's steps that work on the disk, run off the window thread:
// creating and checking the game folder's levels, the version marker, the
// digests of an installed game's runnable files, the record of an install
// and the deletion of its package. Each takes as long as the disk (and, for
// the digests, the game's size) makes it; the window thread only starts
// them and takes their outcome on a later timer step.
#include "download/http_downloader.h"
#include "extension/game_loader_extension.h"
#include "screen/progress_screen.h"
#include "storage/folder_access.h"
#include "storage/player_folder.h"
#include "storage/version_marker.h"

namespace fyrel {

void GameLoaderExtension::beginInstalledCheck() {
  folderStep_ = FolderStep::checkingInstalled;
  folderWork_.start(&checkInstalledOnWorker, this);
}

void GameLoaderExtension::checkInstalledOnWorker(void* extension) noexcept {
  auto& self = *static_cast<GameLoaderExtension*>(extension);
  self.installedFound_ = false;
  try {
    // An installed game this account cannot vouch for is installed afresh,
    // as if its marker did not match.
    self.installedFound_ = versionMarkerMatches(self.gameFolder_, self.cabFileName_) && self.installedGameVouchedFor();
  } catch (...) {
    // Out of memory for a path: installing afresh is the safe way on.
  }
}

void GameLoaderExtension::beginTransfer() {
  releaseGameModule();
  folderStep_ = FolderStep::preparingTransfer;
  folderWork_.start(&prepareTransferOnWorker, this);
}

void GameLoaderExtension::prepareTransferOnWorker(void* extension) noexcept {
  auto& self = *static_cast<GameLoaderExtension*>(extension);
  self.transferPrepared_ = false;
  try {
    // Nothing is created, deleted or written in the game folder before
    // every level of it, from the maker folder down, is known to be a plain
    // folder and held so: a level another account made a link would send
    // all of it, the access list included, to the folder the link points to.
    if (!self.folderChain_.open(resolveMakerFolder(), self.gameFolder_)) {
      self.diagnose("game folder " + self.gameFolder_ + " refused: " + self.folderChain_.refusal());
      return;
    }
    // From here the folder is being replaced: whatever the outcome, the old
    // marker must not vouch for it (nor can a member reach the marker under
    // another name, such as its short 8.3 name, and leave it standing).
    deleteVersionMarker(self.gameFolder_);
    grantFolderAccess(self.folderChain_.deepest());  // best effort: the download goes on regardless
    // A restart goes on from what the last attempt left; the first transfer
    // of this start from what an earlier start left, if anything fits.
    if (!self.transferBegun_) {
      self.transferBegun_ = true;
      self.resumeFrom_ = self.resumePointLeftOnDisk();
    }
    self.transferPrepared_ = true;
  } catch (...) {
    // Out of memory for a path or a line: the download fails.
  }
}

void GameLoaderExtension::beginFinishingInstall() {
  folderStep_ = FolderStep::finishingInstall;
  folderWork_.start(&finishInstallOnWorker, this);
}

void GameLoaderExtension::finishInstallOnWorker(void* extension) noexcept {
  auto& self = *static_cast<GameLoaderExtension*>(extension);
  self.recordInstall();
  self.discardPackage();
}

bool GameLoaderExtension::folderStepDone() {
  if (folderStep_ == FolderStep::none) return true;
  if (folderWork_.running()) return false;
  finishFolderStep();
  return false;  // the outcome was this step's work
}

void GameLoaderExtension::finishFolderStep() {
  const FolderStep finished = folderStep_;
  folderStep_ = FolderStep::none;
  switch (finished) {
    case FolderStep::checkingInstalled:
      if (installedFound_) {
        reportInstalledGame();
      } else if (state_ == LoaderState::Downloading) {
        beginTransfer();  // the folder came free after a wait: the download goes on
      } else {
        startDownload();
      }
      break;
    case FolderStep::preparingTransfer:
      if (!transferPrepared_) {
        reportState(LoaderState::Failed, "FAILED TO DOWNLOAD GAME", "STATE_GAME_DOWNLOAD_FAILED");
      } else if (downloader_) {
        downloader_->start(gameCabUrl_, packagePath_, folderChain_.deepestPath(), resumeFrom_);
      }
      break;
    case FolderStep::finishingInstall:
      if (screen_) screen_->markExtractionDone();
      reportState(LoaderState::GameReady, "GAME READY TO CREATE", "STATE_GAME_READY");
      break;
    case FolderStep::none:
      break;
  }
}

}  // namespace fyrel
