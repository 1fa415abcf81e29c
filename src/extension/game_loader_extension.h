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

#include "common/unique_handle.h"
#include "extension/loader_state.h"
#include "storage/game_folder_lock.h"

namespace fyrel {

class HttpDownloader;
class CabExtractor;
class SignatureVerifier;
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

  // Controller steps.
  void onTimerTick();
  void startDownload();
  void checkDownload();
  bool verifyPackage();
  void checkExtraction();

  // Game module.
  bool loadGameModule();
  bool startLoadedGame();
  void releaseGameModule();

  // The host may delete the extension from inside a call it made into it
  // (from Notify, on an error report, say). Each export brackets its work
  // with enter/leave; a deletion asked for inside waits until the outermost
  // call on the window thread has returned.
  void enterHostCall() noexcept { ++hostCallDepth_; }
  // True when the extension was deleted on the way out: it is gone.
  bool leaveHostCall() noexcept;
  // True when a deletion must not happen now (inside a call, or already
  // being destroyed); a deletion inside a call is then done by leaveHostCall.
  bool deferDeletion() noexcept;

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
  void deliverPendingPair();
  bool bindGameEntryPoints();
  void finishGameRelease();
  // The game folder is installed by one extension at a time, in this
  // process and across processes (install_lock.cpp).
  // The game is in place: the screen passes both stages, state 5 follows.
  void reportInstalledGame();
  bool acquireGameFolder();
  void waitForGameFolder();
  void beginTransfer();
  // Deletes the package file, while this extension holds the game folder.
  void discardPackage() noexcept;

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
  // Window-thread bookkeeping of re-entry (host calls, game calls, the
  // host's Notify during a delivery).
  int hostCallDepth_ = 0;
  bool deleteRequested_ = false;
  bool destroying_ = false;
  int gameCallDepth_ = 0;
  bool gameReleasePending_ = false;
  bool delivering_ = false;
  // Held from the start of a download until the game has started or the
  // loader has failed; waited for in 10 ms steps while another holds it.
  GameFolderLock folderLock_;
  bool waitingForFolder_ = false;
  std::uint32_t folderWaitStart_ = 0;
};

}  // namespace fyrel
