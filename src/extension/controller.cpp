// The timer-driven state machine: one step per 10 ms timer message, on the
// host window's thread. Workers are polled, never waited for, except at
// teardown: a step does no work whose length grows with the package, so
// the host's window goes on answering its messages throughout.
#include <utility>

#include "common/diagnostic_text.h"
#include "download/http_downloader.h"
#include "download/resume_record.h"
#include "download/retry_pacing.h"
#include "extension/game_loader_extension.h"
#include "extension/startup_parameters_logic.h"
#include "extract/cab_extractor.h"
#include "screen/progress_screen.h"
#include "storage/checked_file.h"
#include "storage/version_marker.h"
#include "storage/version_marker_text.h"
#include "verify/package_hashes.h"
#include "verify/signature_check_worker.h"
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
  // A step on the disk holds the game folder for itself until it has ended.
  if (!folderStepDone()) return;
  switch (state_) {
    case LoaderState::Downloading:
      checkDownload();
      break;
    case LoaderState::CheckingSignature:
      checkVerification();
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
    // A part a failed attempt kept open goes with the hold: a restart that
    // could not take the folder again fails without deleting it, and the
    // next start must be able to continue or delete it.
    if (downloader_ && folderLock_.held()) downloader_->stop();
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
  if (restartWaiting_) {
    waitForRestart();
    return;
  }
  if (!downloader_) {
    reportState(LoaderState::Failed, "FAILED TO DOWNLOAD GAME", "STATE_GAME_DOWNLOAD_FAILED");
    return;
  }
  // running (acquire) first: once it reads clear, the counters and the
  // outcome read below are the worker's final ones.
  const bool running = downloader_->running();
  std::uint32_t received = 0;
  std::uint32_t total = 0;
  downloader_->progress(received, total);
  if (screen_) screen_->setDownloadPercent(percentOf(received, total));
  keepResumeRecord();
  if (running) return;

  const std::string attempt =
      "download attempt " + std::to_string(restartCount_ + 1) + " of " + addressForLog(gameCabUrl_) + ": ";
  if (downloader_->succeeded()) {
    diagnose(attempt + "complete, " + std::to_string(received) + " bytes" +
             (downloader_->resumed() ? ", the last " + std::to_string(downloader_->addedBytes()) + " resumed" : ""));
    if (screen_) screen_->markDownloadDone();
    // The download hashed the package as it came; what is left of the check
    // runs on its own thread and checkVerification takes its outcome on a
    // later step.
    if (!verifyPackage()) failVerification("the check could not start");
    return;
  }

  // A dropped connection is worth another attempt, and so is a failure
  // that may pass (with a pause, a few times); a disk that refused the
  // bytes is not, and would only be filled again 20 times.
  const std::string failure = attempt + "failed: " + downloader_->attemptReport() + "; " + std::to_string(received) +
                              " of " + std::to_string(total) + " bytes on disk";
  if (!downloader_->writeFailed() && restartCount_ < kMaxDownloadRestarts) {
    const std::uint32_t added = downloader_->addedBytes();
    if (added > 0) {
      transientRetries_ = 0;
      const std::uint32_t pause = restartPauseMs(added, slowRestarts_);
      diagnose(failure + "; going on in " + std::to_string(pause) + " ms");
      scheduleRestart(pause);
      return;
    }
    if (downloader_->transientFailure() && transientRetries_ < kMaxTransientRetries) {
      std::uint32_t asked = 0;
      const bool serverAsked = downloader_->retryAfter(asked);
      const std::uint32_t pause = transientPauseMs(transientRetries_++, serverAsked, asked);
      diagnose(failure + "; trying again in " + std::to_string(pause) + " ms");
      scheduleRestart(pause);
      return;
    }
  }
  diagnose(failure + (restartCount_ >= kMaxDownloadRestarts ? "; no restart left" : "; not tried again"));
  discardPackage();
  reportState(LoaderState::Failed, "FAILED TO DOWNLOAD GAME", "STATE_GAME_DOWNLOAD_FAILED");
}

bool GameLoaderExtension::verifyPackage() {
  reportState(LoaderState::CheckingSignature, "CHECK SIGNATURE", "STATE_CHECKSIGNATURE");
  // The package goes on in the handle it was written through, never
  // closed: what the check hashed is what the extraction reads.
  UniqueFile package;
  PackageHashes hashes;
  if (!checkWorker_ || !downloader_ || !downloader_->takePackage(package, hashes)) return false;
  return checkWorker_->start(std::move(package), std::move(hashes));
}

void GameLoaderExtension::checkVerification() {
  if (checkWorker_ && checkWorker_->running()) return;
  if (!checkWorker_ || !checkWorker_->succeeded()) {
    failVerification(verifier_ && !verifier_->failure().empty() ? verifier_->failure() : "the check did not run");
    return;
  }
  // The package as it was downloaded, for this account's record of the
  // install; and a host that pinned the package takes no other, not even
  // one this publisher signed (an older build, another game).
  packageDigestKnown_ = verifier_->packageSha256(packageDigest_);
  if (packagePinned_ && (!packageDigestKnown_ || packageDigest_ != pinnedPackageSha256_)) {
    verifier_->takeVerifiedPackage();  // closed here: it is deleted next
    failVerification("package SHA-256 " + hexText(packageDigest_.data(), packageDigest_.size()) +
                     " is not the pinned " + hexText(pinnedPackageSha256_.data(), pinnedPackageSha256_.size()));
    return;
  }
  // The verified package stays open, shared for reading only, until the
  // extraction ends; no member may take the version marker's name, which
  // would otherwise vouch for a package whose extraction failed.
  if (extractor_)
    extractor_->start(packagePath_, gameFolder_, verifier_->takeVerifiedPackage(), {kVersionMarkerName},
                      folderChain_.deepestPath());
  reportState(LoaderState::Extracting, "EXTRACTING", "STATE_EXTRACTING");
}

void GameLoaderExtension::failVerification(const std::string& why) {
  diagnose("signature check of " + cabFileName_ + " failed: " + why);
  // Put together from pieces, the package may hold a piece of another
  // version: the signature cannot tell which, so it comes once more, whole.
  // Only a package fetched whole that fails is refused for good.
  if (downloader_ && downloader_->resumed() && restartCount_ < kMaxDownloadRestarts) {
    diagnose("the package was put together from pieces: fetching it whole once more");
    discardPackage();
    resumeFrom_ = ResumePoint();
    ++restartCount_;
    restartNow();
    return;
  }
  reportState(LoaderState::Failed, "CAB VERIFICATION FAILED", "STATE_CAB_VERIFICATION_FAILED");
  discardPackage();  // never extract an unverified package later
}

// The package file belongs to the install that holds the game folder: only
// that one deletes it, so a start waiting for the folder never touches
// another host's transfer into the same file. Only once the folder's levels
// were checked and are held: before that the path may lead through a link,
// and an installed game's start holds the lock with no package of its own.
void GameLoaderExtension::discardPackage() noexcept {
  if (!folderLock_.held() || !folderChain_.held() || packagePath_.empty()) return;
  // A failed attempt still holds its part open, shared for reading only.
  if (downloader_) downloader_->stop();
  deleteCheckedFile(packagePath_, folderChain_.deepestPath());
  resumeRecordKept_ = false;
  try {
    deleteCheckedFile(resumeRecordPath(packagePath_), folderChain_.deepestPath());
  } catch (...) {
    // Out of memory for the name: a record left behind is checked against
    // the package and the address at the next start before anything is
    // resumed from it.
  }
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
    diagnose("extraction of " + cabFileName_ + " into " + gameFolder_ +
             " failed: " + (extractor_->failure().empty() ? std::string("it was stopped") : extractor_->failure()));
    discardPackage();  // the run closed it before it ended
    reportState(LoaderState::Failed, "FAILED TO EXTRACT THE GAME", "STATE_EXTRACT_GAME_FAILED");
    return;
  }
  holdExtractedGameDll();
  installedMembers_ = extractor_->runnableMembers();
  installedMembersKnown_ = true;
  // The record is written and the package deleted off this thread; the
  // game is ready once both are done.
  beginFinishingInstall();
}

}  // namespace fyrel
