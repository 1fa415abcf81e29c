// Restarting a broken download without starting over: the pauses between
// attempts, and the resume record beside the partial package that lets a
// later start ask for the rest. Runs on the window thread, with the game
// folder held.
#include "download/http_downloader.h"
#include "download/resume_record.h"
#include "download/resume_record_file.h"
#include "extension/game_loader_extension.h"
#include "extension/startup_parameters_logic.h"
#include "screen/progress_screen.h"
#include "storage/checked_file.h"

namespace fyrel {

// The restart is counted now; its report comes when it begins. The pause is
// measured on the timer's steps, so a delete during it is not held up.
// Measured with the 64-bit tick count: no wrap to handle.
void GameLoaderExtension::scheduleRestart(std::uint32_t pauseMs) {
  ++restartCount_;
  resumeFrom_ = downloader_ ? downloader_->resumePoint() : ResumePoint();
  if (pauseMs == 0) {
    restartNow();
    return;
  }
  restartWaiting_ = true;
  restartWaitStart_ = ::GetTickCount64();
  restartPauseMs_ = pauseMs;
}

void GameLoaderExtension::waitForRestart() {
  if (::GetTickCount64() - restartWaitStart_ < restartPauseMs_) return;
  restartNow();
}

void GameLoaderExtension::restartNow() {
  restartWaiting_ = false;
  if (screen_) {
    screen_->restartDownload();
    // The percentage goes on from the bytes kept, not from 0.
    if (resumeFrom_.resumable()) screen_->setDownloadPercent(percentOf(resumeFrom_.onDisk, resumeFrom_.total));
  }
  startDownload();
}

ResumePoint GameLoaderExtension::resumePointLeftOnDisk() {
  const std::string recordPath = resumeRecordPath(packagePath_);
  ResumeRecord record;
  std::uint64_t length = 0;
  // The record is only a hint: the answer must still continue the file
  // (Content-Range, total) and the signature decides over the whole.
  const std::wstring held = folderChain_.deepestPath();
  if (readResumeRecordFile(recordPath, held, record) && record.address == gameCabUrl_ &&
      fileLength(packagePath_, held, length) && length <= record.point.total) {
    record.point.onDisk = static_cast<std::uint32_t>(length);
    resumeRecordKept_ = true;
    return record.point;
  }
  // Another address, a record another account wrote or one cut short, a
  // file longer than the package: nothing of it may be spliced onto.
  deleteCheckedFile(recordPath, held);
  deleteCheckedFile(packagePath_, held);
  return ResumePoint();
}

void GameLoaderExtension::keepResumeRecord() {
  ResumePoint point;
  if (!downloader_ || !downloader_->takeChangedResumePoint(point)) return;
  if (!folderLock_.held() || !folderChain_.held()) return;
  const std::string recordPath = resumeRecordPath(packagePath_);
  // A record only for a server that said it serves ranges: another start
  // would otherwise keep a partial package it can never continue. And none
  // for an address with a query: the record lies in the folder every
  // account reads, and a signed address's token must not (such a download
  // still resumes within its start).
  const bool signedAddress =
      gameCabUrl_.find('?') != std::string::npos || point.source.path.find('?') != std::string::npos;
  resumeRecordKept_ = point.resumable() && point.rangesAccepted && !signedAddress &&
                      writeResumeRecordFile(recordPath, folderChain_.deepestPath(), ResumeRecord{gameCabUrl_, point});
  if (!resumeRecordKept_) deleteCheckedFile(recordPath, folderChain_.deepestPath());
}

bool GameLoaderExtension::keepsPartialPackage() const noexcept {
  return state_ == LoaderState::Downloading && !waitingForFolder_ && resumeRecordKept_;
}

}  // namespace fyrel
