// The one concrete extension: loads a game package into the host window and
// then runs the game there. Everything here runs on the host window's
// thread, except NotifyHost, which game threads may call.
#pragma once

#include <fyrel/extension_api.h>
#include <fyrel/game_module.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/background_step.h"
#include "common/unique_handle.h"
#include "download/range_answer.h"
#include "extension/game_threads.h"
#include "extension/loader_state.h"
#include "extension/startup_parameters_logic.h"
#include "extract/member_digests.h"
#include "storage/folder_chain.h"
#include "storage/game_folder_lock.h"
#include "storage/install_log.h"

namespace fyrel {

class HttpDownloader;
class CabExtractor;
class SignatureVerifier;
class SignatureCheckWorker;
class ProgressScreen;

class GameLoaderExtension final : public Generic::GenericExtension {
 public:
  GameLoaderExtension() noexcept;
  ~GameLoaderExtension() override;  // teardown

  bool Create(HWND window, int reserved, HINSTANCE resourceModule) override;
  void ReleaseGame() override;
  bool ProcessMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  void SendUp(const char* name, const char* value) override;
  void NotifyHost(const char* first, const char* second) override;

  // State reports: the only writer of state.
  void reportState(LoaderState code, const char* message, const char* stateName);
  bool readStartupParameters();
  // One line that explains the install (a cause, an attempt, a failure):
  // the debug channel and the account's install log. Any thread.
  void diagnose(const std::string& text) noexcept;

  // Controller steps.
  void onTimerTick();
  void startDownload();
  void checkDownload();
  bool verifyPackage();
  // Takes the outcome of the check verifyPackage began, once it has ended.
  void checkVerification();
  void checkExtraction();

  // Game module.
  // The game's DLL in its folder: <gamename>.dll.
  std::string gameModulePath() const;
  // False also while another extension of this process runs the same game
  // module: waitingForGameModule() is then true and the next step tries again.
  bool loadGameModule();
  bool waitingForGameModule() const noexcept { return waitingForGameModule_; }
  // Keeps the extracted game DLL from being replaced until it is loaded.
  void holdExtractedGameDll();
  // Holds the game DLL (if not held yet) and compares what it holds with
  // the digest this account recorded when it installed the game. False
  // when it cannot be held or differs.
  bool holdVerifiedGameDll();
  // Whether the installed game (marker matching) may start: this account's
  // install record names the package, and the folder's runnable files are
  // exactly the recorded ones. Holds them when it says yes.
  bool installedGameVouchedFor();
  bool startLoadedGame();
  void releaseGameModule();

  // The boundary rules for the host's calls (host_calls.cpp). Each export
  // but the delete is admitted by enterHostCall and, when admitted, ends
  // with leaveHostCall. Refused: calls once destruction has begun, and calls
  // from a thread other than the window's. A deletion asked for inside an
  // admitted call waits until the outermost one has returned.
  static bool admitsCreation(HWND window) noexcept;
  void bindWindowThread(HWND window) noexcept;
  bool enterHostCall(const char* exportName) noexcept;
  // True when the extension was deleted on the way out: it is gone.
  bool leaveHostCall() noexcept;
  // EXT_DeleteExtension: deletes now, when the outermost call returns, or,
  // from another thread, on the window thread (on the caller's when that
  // thread has ended). The extension may be gone when this returns.
  void requestDeletion() noexcept;

  // Read-only views for tests and diagnostics.
  LoaderState state() const noexcept { return state_; }
  const std::string& gameFolder() const noexcept { return gameFolder_; }
  const std::string& packagePath() const noexcept { return packagePath_; }
  const std::string& cabFileName() const noexcept { return cabFileName_; }
  const std::string& gameCabUrl() const noexcept { return gameCabUrl_; }
  const std::string& gameName() const noexcept { return gameName_; }
  const std::string& partnerName() const noexcept { return partnerName_; }
  const std::string& language() const noexcept { return language_; }
  const std::string& country() const noexcept { return country_; }
  std::int32_t gameWidth() const noexcept { return gameWidth_; }
  std::int32_t gameHeight() const noexcept { return gameHeight_; }
  bool developMode() const noexcept { return developMode_; }
  // The package's SHA-256 the host pinned ("gamecabsha256"), if it did.
  bool packagePinned() const noexcept { return packagePinned_; }
  const PackageSha256& pinnedPackageSha256() const noexcept { return pinnedPackageSha256_; }
  const InstallLog& installLog() const noexcept { return installLog_; }
  std::int32_t restartCount() const noexcept { return restartCount_; }
  ProgressScreen* screen() const noexcept { return screen_.get(); }
  HMODULE gameModule() const noexcept { return gameModule_.get(); }
  void* gameInstance() const noexcept { return gameInstance_; }

 private:
  // Counts the calls into the game that run on the window thread, so that
  // a game that releases itself from inside one of them is unloaded only
  // once its code is no longer on the stack.
  class GameCall {
   public:
    explicit GameCall(GameLoaderExtension& extension) noexcept : extension_(extension) { ++extension_.gameCallDepth_; }
    ~GameCall();
    GameCall(const GameCall&) = delete;
    GameCall& operator=(const GameCall&) = delete;

   private:
    GameLoaderExtension& extension_;
  };

  void teardown();
  void openInstallLog() noexcept;
  void closeMailbox() noexcept;
  bool onWindowThread() const noexcept;
  bool windowThreadEnded() const noexcept;
  static LRESULT CALLBACK mailboxProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  void deliverPendingPair();
  bool bindGameEntryPoints();
  void finishGameRelease();
  // True while the bounded wait goes on; false once it has failed.
  bool waitForGameModule();
  // The game folder is installed by one extension at a time, in this
  // process and across processes (install_lock.cpp).
  // The game is in place: the screen passes both stages, state 5 follows.
  void reportInstalledGame();
  bool acquireGameFolder();
  void waitForGameFolder();
  void beginTransfer();
  // The steps that work on the disk run as a BackgroundStep (folder_steps.cpp):
  // begin* starts one, finishFolderStep takes its outcome on the timer step
  // after it has ended. Nothing else touches the game folder meanwhile.
  enum class FolderStep { none, checkingInstalled, preparingTransfer, finishingInstall };
  void beginInstalledCheck();
  void beginFinishingInstall();
  // False while a step runs: the timer step then does nothing else.
  bool folderStepDone();
  void finishFolderStep();
  static void checkInstalledOnWorker(void* extension) noexcept;
  static void prepareTransferOnWorker(void* extension) noexcept;
  static void finishInstallOnWorker(void* extension) noexcept;
  // A failed check ends the install, or, for a package put together from
  // pieces, fetches it once more, whole.
  void failVerification(const std::string& why);
  // Deletes the package file and its resume record, while this extension
  // holds the game folder.
  void discardPackage() noexcept;
  // Download restarts (package_resume.cpp): after `pauseMs`, from where the
  // last attempt left the file when it can be resumed.
  void scheduleRestart(std::uint32_t pauseMs);
  void waitForRestart();
  void restartNow();
  // What an earlier start left of the package: its resume point when the
  // record belongs to this address and fits the file; otherwise both are
  // deleted and nothing is resumed.
  ResumePoint resumePointLeftOnDisk();
  // Writes or deletes the resume record when what the download can resume
  // from has changed.
  void keepResumeRecord();
  // Whether a teardown leaves the partial package and its record for a
  // later start.
  bool keepsPartialPackage() const noexcept;
  // Writes this account's record of what the extraction installed.
  void recordInstall() noexcept;

  CreateFyrelGameFn createGame_ = nullptr;
  StartFyrelGameFn startGame_ = nullptr;
  ReleaseFyrelGameFn releaseGame_ = nullptr;
  ProcessFyrelMsgFn processGameMsg_ = nullptr;
  ReceiveFyrelNotificationFn receiveGameNotification_ = nullptr;
  // The one game-to-host pair waiting for the window thread; guarded by
  // pendingBusy_ (taken by test-and-set, released with release ordering).
  std::string pendingName_;
  std::string pendingValue_;
  std::atomic_flag pendingBusy_ = ATOMIC_FLAG_INIT;
  HWND window_ = nullptr;
  std::unique_ptr<HttpDownloader> downloader_;
  std::unique_ptr<CabExtractor> extractor_;
  std::unique_ptr<SignatureVerifier> verifier_;
  // Runs verifier_'s check off the window thread; made from verifier_, so
  // declared after it, and destroyed before it (teardown).
  std::unique_ptr<SignatureCheckWorker> checkWorker_;
  std::unique_ptr<ProgressScreen> screen_;  // made by Create
  UniqueModule gameModule_;
  void* gameInstance_ = nullptr;
  std::string gameFolder_;
  std::string packagePath_;
  std::string gameName_;
  std::string partnerName_;
  std::string country_;
  std::string language_;
  std::string gameCabUrl_;
  std::string cabFileName_;
  std::int32_t gameWidth_ = 0;
  std::int32_t gameHeight_ = 0;
  LoaderState state_ = static_cast<LoaderState>(0);  // no report yet
  std::int32_t restartCount_ = 0;
  bool tickBusy_ = false;
  bool developMode_ = false;
  bool packagePinned_ = false;
  PackageSha256 pinnedPackageSha256_{};
  InstallLog installLog_;
  // The thread that owns the window: the only one whose calls are admitted
  // (0 until bound: then any). Its handle tells whether it has ended; the
  // mailbox, a message-only window it owns, carries a deletion asked for on
  // another thread over to it.
  DWORD windowThreadId_ = 0;
  UniqueKernelHandle windowThread_;
  UniqueWindow mailbox_;
  // Window-thread bookkeeping of re-entry (host calls, game calls, the
  // host's Notify during a delivery). Only admitted calls touch it.
  int hostCallDepth_ = 0;
  bool deleteRequested_ = false;
  // Set once, first thing in the destructor; read by any thread's export.
  std::atomic<bool> destroying_{false};
  int gameCallDepth_ = 0;
  bool gameReleasePending_ = false;
  bool delivering_ = false;
  // Held from the start of a download until the game has started or the
  // loader has failed; waited for in 10 ms steps while another holds it.
  GameFolderLock folderLock_;
  // Every level of the game folder, held while the lock is held for an
  // install (install_lock.cpp).
  HeldFolderChain folderChain_;
  bool waitingForFolder_ = false;
  std::uint32_t folderWaitStart_ = 0;
  // Resuming: what the next transfer goes on from; whether a record of it
  // is on disk; the pending restart and how the pauses grow.
  ResumePoint resumeFrom_;
  bool transferBegun_ = false;
  bool resumeRecordKept_ = false;
  bool restartWaiting_ = false;
  std::uint64_t restartWaitStart_ = 0;
  std::uint32_t restartPauseMs_ = 0;
  int transientRetries_ = 0;
  int slowRestarts_ = 0;
  // The game module is claimed by another extension of this process.
  bool waitingForGameModule_ = false;
  std::uint32_t gameModuleWaitStart_ = 0;
  // The extracted game DLL, opened without write or delete sharing from
  // the end of the extraction until it is loaded.
  UniqueFile gameDllHold_;
  // The runnable members of the installed game with the digests of the
  // bytes this account's install wrote; known unless the game runs from a
  // develop folder.
  std::vector<MemberDigest> installedMembers_;
  bool installedMembersKnown_ = false;
  // The runnable files of an installed game, held from its check until the
  // game module is loaded.
  std::vector<UniqueFile> installedMemberHolds_;
  // The package's SHA-256 as downloaded, for this account's install record.
  Sha256Digest packageDigest_{};
  bool packageDigestKnown_ = false;
  // The process's threads just before the game module was loaded.
  ThreadsBeforeGame threadsBeforeGame_;
  // The step working on the disk, and what it found: written by its thread,
  // read once it has ended.
  FolderStep folderStep_ = FolderStep::none;
  BackgroundStep folderWork_;
  bool installedFound_ = false;
  bool transferPrepared_ = false;
};

}  // namespace fyrel
