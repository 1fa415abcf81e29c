// The timer-driven state machine: one step per 10 ms timer message, on the
// host window's thread. Workers are polled, never waited for, except at
// teardown.
#include "download/http_downloader.h"
#include "download/package_digest.h"
#include "extension/game_loader_extension.h"
#include "extension/startup_parameters_logic.h"
#include "extract/cab_extractor.h"
#include "screen/progress_screen.h"
#include "storage/version_marker.h"
#include "storage/version_marker_text.h"
#include "verify/signature_verifier.h"

namespace fyrel {
namespace {
constexpr std::int32_t kMaxDownloadRestarts = 20;
}

void GameLoaderExtension::onTimerTick() {
  // A step that runs a message loop (a game's creation, a host's Notify)
  // may see timer messages of its own; they must not start a second step.
  if (tickBusy_) return;
  tickBusy_ = true;
  // Cleared on every way out: a step that throws (out of memory while
  // building a text) must not stop every later step.
  struct ClearOnExit {
    bool& flag;
    ~ClearOnExit() { flag = false; }
  } clearTickBusy{tickBusy_};
  switch (state_) {
    case LoaderState::Downloading:
      checkDownload();
      break;
    case LoaderState::Extracting:
      checkExtraction();
      break;
    case LoaderState::GameReady:
      // Whatever made the module fail, the next start must install afresh;
      // a module another extension runs is waited for, not a failure.
      if (!loadGameModule() && !waitingForGameModule()) deleteVersionMarker(gameFolder_);
      break;
    case LoaderState::GameCreated:
      if (!screen_ || screen_->hasFinished()) startLoadedGame();
      break;
    default:
      break;
  }
  // The game folder is free for others once the game runs (the version
  // marker is written) or the loader has given up.
  if (state_ == LoaderState::GameStarted || state_ == LoaderState::Failed || state_ == LoaderState::WrongBitDepth) {
    folderChain_.close();
    folderLock_.release();
  }
}

void GameLoaderExtension::startDownload() {
  reportState(LoaderState::Downloading, "DOWNLOADING GAME", "STATE_DOWNLOADING");
  if (acquireGameFolder()) beginTransfer();  // otherwise checkDownload waits for it
}

void GameLoaderExtension::checkDownload() {
  if (waitingForFolder_) {
    waitForGameFolder();
    return;
  }
  if (!downloader_) {
    reportState(LoaderState::Failed, "FAILED TO DOWNLOAD GAME", "STATE_GAME_DOWNLOAD_FAILED");
    return;
  }
  // running (acquire) first: once it reads clear, the counters and the
  // outcome read below are the worker's final ones.
  const bool running = downloader_->running();
  const std::uint32_t received = downloader_->receivedBytes();
  if (screen_) screen_->setDownloadPercent(percentOf(received, downloader_->totalBytes()));
  if (running) return;

  if (downloader_->succeeded()) {
    if (screen_) screen_->markDownloadDone();
    packageDigestKnown_ = packageSha256(packagePath_, packageDigest_);  // before the signature is cut
    if (!verifyPackage()) {
      reportState(LoaderState::Failed, "CAB VERIFICATION FAILED", "STATE_CAB_VERIFICATION_FAILED");
      discardPackage();  // never extract an unverified package later
      return;
    }
    // The verified package stays open, shared for reading only, until the
    // extraction ends; no member may take the version marker's name, which
    // would otherwise vouch for a package whose extraction failed.
    if (extractor_)
      extractor_->start(packagePath_, gameFolder_, verifier_->takeVerifiedPackage(), {kVersionMarkerName});
    reportState(LoaderState::Extracting, "EXTRACTING", "STATE_EXTRACTING");
    return;
  }

  // A dropped connection is worth another attempt; a disk that refused the
  // bytes is not, and would only be filled again 20 times.
  if (received > 0 && !downloader_->writeFailed() && restartCount_ < kMaxDownloadRestarts) {
    ++restartCount_;
    if (screen_) screen_->restartDownload();
    startDownload();
    return;
  }
  discardPackage();
  reportState(LoaderState::Failed, "FAILED TO DOWNLOAD GAME", "STATE_GAME_DOWNLOAD_FAILED");
}

bool GameLoaderExtension::verifyPackage() {
  reportState(LoaderState::CheckingSignature, "CHECK SIGNATURE", "STATE_CHECKSIGNATURE");
  return verifier_ && verifier_->verify(packagePath_);
}

// The package file belongs to the install that holds the game folder: only
// that one deletes it, so a start waiting for the folder never touches
// another host's transfer into the same file. Only once the folder's levels
// were checked and are held: before that the path may lead through a link,
// and an installed game's start holds the lock with no package of its own.
void GameLoaderExtension::discardPackage() noexcept {
  if (folderLock_.held() && folderChain_.held() && !packagePath_.empty()) ::DeleteFileA(packagePath_.c_str());
}

void GameLoaderExtension::checkExtraction() {
  if (!extractor_) {
    reportState(LoaderState::Failed, "FAILED TO EXTRACT THE GAME", "STATE_EXTRACT_GAME_FAILED");
    return;
  }
  const bool running = extractor_->isRunning();
  if (screen_) screen_->setExtractionPercent(percentOf(extractor_->extractedBytes(), extractor_->totalBytes()));
  if (running) return;
  if (!extractor_->succeeded()) {
    discardPackage();  // the run closed it before it ended
    reportState(LoaderState::Failed, "FAILED TO EXTRACT THE GAME", "STATE_EXTRACT_GAME_FAILED");
    return;
  }
  holdExtractedGameDll();
  installedMembers_ = extractor_->runnableMembers();
  installedMembersKnown_ = true;
  recordInstall();
  if (screen_) screen_->markExtractionDone();
  discardPackage();
  reportState(LoaderState::GameReady, "GAME READY TO CREATE", "STATE_GAME_READY");
}

}  // namespace fyrel
