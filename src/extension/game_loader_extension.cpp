#include "extension/game_loader_extension.h"

#include <wininet.h>

#include <new>

#include "download/http_downloader.h"
#include "extract/cab_extractor.h"
#include "screen/progress_screen.h"
#include "verify/signature_check_worker.h"
#include "verify/signature_verifier.h"

namespace fyrel {
namespace {

// Raises a process-wide WinINet connection limit to at least 8, so that
// package downloads never queue behind the host's own connections.
void raiseConnectionLimit(DWORD option) {
  DWORD value = 0;  // a failed query leaves 0, which is raised
  DWORD size = sizeof value;
  ::InternetQueryOptionA(nullptr, option, &value, &size);
  if (value < 8) {
    value = 8;
    ::InternetSetOptionA(nullptr, option, &value, sizeof value);  // best effort
  }
}

}  // namespace

GameLoaderExtension::GameLoaderExtension() noexcept
    : downloader_(new (std::nothrow) HttpDownloader()),
      extractor_(new (std::nothrow) CabExtractor()),
      verifier_(new (std::nothrow) SignatureVerifier()),
      checkWorker_(verifier_ ? new (std::nothrow) SignatureCheckWorker(*verifier_) : nullptr) {
  // A restart goes on in the handle the failed attempt wrote through: the
  // part is held from its first byte to the end of the extraction.
  if (downloader_) downloader_->keepFailedPartOpen(true);
}

GameLoaderExtension::~GameLoaderExtension() {
  // From here every export does nothing for this extension (host_calls.cpp),
  // and no deletion can reach it through the mailbox.
  destroying_.store(true, std::memory_order_release);
  closeMailbox();
  teardown();
}

bool GameLoaderExtension::Create(HWND window, int /*reserved*/, HINSTANCE resourceModule) {
  bindWindowThread(window);  // done already when created through EXT_CreateExtension
  window_ = window;
  raiseConnectionLimit(INTERNET_OPTION_MAX_CONNS_PER_SERVER);
  raiseConnectionLimit(INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER);
  screen_.reset(new (std::nothrow) ProgressScreen(resourceModule, window));
  if (!readStartupParameters()) return false;
  if (screen_) screen_->startRefreshThread();
  // The 10 ms timer drives every controller step; it lives as long as the
  // window (another extension may share the window and its timer).
  ::SetTimer(window_, 0, 10, nullptr);
  if (developMode_) {
    reportInstalledGame();
    return true;
  }
  folderLock_.open(gameFolder_);
  // An installed game is started under the folder lock too, held until the
  // game has started or failed: another process replacing that version in
  // the meantime waits instead of overwriting the module being loaded. A
  // lock held elsewhere means an install is under way: wait for it as a
  // download would. An installed game this account cannot vouch for is
  // installed afresh, as if its marker did not match.
  if (folderLock_.tryAcquire()) {
    beginInstalledCheck();
  } else {
    startDownload();
  }
  return true;
}

void GameLoaderExtension::reportInstalledGame() {
  if (screen_) {
    screen_->markDownloadDone();
    screen_->markExtractionDone();
  }
  reportState(LoaderState::GameReady, "GAME PRESENT AND READY TO CREATE", "STATE_GAME_READY");
}

void GameLoaderExtension::teardown() {
  // Fixed order: the workers stop and are waited for first, so no transfer
  // or extraction touches the game folder while the game is released. A
  // step on the disk is short and has no way to stop: it ends first.
  folderWork_.wait();
  folderStep_ = FolderStep::none;
  // Once stopped, the transfer writes no byte more: the record is brought
  // up to date with the file it leaves.
  if (downloader_) {
    downloader_->stop();
    try {
      keepResumeRecord();
    } catch (...) {
      resumeRecordKept_ = false;  // out of memory: the package goes, as before
    }
  }
  downloader_.reset();
  extractor_.reset();
  checkWorker_.reset();
  verifier_.reset();
  // A package whose install did not finish is of no use to anyone, except
  // a partial download a later start can continue (its record says from
  // where); the workers that wrote and read it are gone, the folder is
  // still held.
  if (!keepsPartialPackage()) discardPackage();
  if (screen_) {
    screen_->requestStop();
    while (!screen_->hasFinished()) ::Sleep(10);
    screen_.reset();
  }
  releaseGameModule();
  // A pair the game sent last (a final score from ReleaseFyrelGame, say)
  // reaches the host before the closing report.
  deliverPendingPair();
  reportState(LoaderState::Closed, "", "");
}

}  // namespace fyrel
