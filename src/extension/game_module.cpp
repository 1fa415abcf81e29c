// Loading the game's own DLL from the game folder, binding its five entry
// points, creating, starting and releasing the game.
#include <string>

#include "common/proc_address.h"
#include "common/sha256.h"
#include "extension/game_loader_extension.h"
#include "extension/game_threads.h"
#include "extension/live_game_modules.h"
#include "extension/outside_call.h"
#include "screen/progress_screen.h"
#include "storage/version_marker.h"

namespace fyrel {
namespace {

// True only when the current mode of the primary display is known to run
// at 24 bits per pixel; a mode that cannot be read lets the game load.
bool displayIs24Bit() {
  DEVMODEA mode = {};
  mode.dmSize = sizeof mode;
  if (!::EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) return false;
  return mode.dmBitsPerPel == 24;
}

// As long as the wait for the game folder: a start of the same game that
// keeps its module longer is taken to be stuck.
constexpr std::uint32_t kGameModuleWaitLimitMs = 10u * 60u * 1000u;

}  // namespace

std::string GameLoaderExtension::gameModulePath() const { return gameFolder_ + gameName_ + ".dll"; }

void GameLoaderExtension::holdExtractedGameDll() {
  // Shared for reading only: from here until LoadLibrary has mapped it
  // (the mapping then keeps it), no other account's process can overwrite
  // or delete the DLL the verified package installed in the shared folder.
  gameDllHold_.reset(::CreateFileA(gameModulePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool GameLoaderExtension::holdVerifiedGameDll() {
  if (!gameDllHold_) holdExtractedGameDll();
  // Not held: another process keeps a writer open on it (and could write
  // until the load), or it is gone. Either way it is not what was verified.
  if (!gameDllHold_) return false;
  if (!installedMembersKnown_) return true;  // a develop folder: the developer's own files
  // An installed start hashed it already, under a hold kept since.
  if (!installedMemberHolds_.empty()) return true;
  // Read through the hold, so the bytes compared are the bytes loaded.
  Sha256Digest digest;
  if (!sha256OfFile(gameDllHold_.get(), digest)) return false;
  const std::string dllName = gameName_ + ".dll";
  // The last member of that name is the one the folder holds.
  for (auto member = installedMembers_.rbegin(); member != installedMembers_.rend(); ++member) {
    if (::lstrcmpiA(member->name.c_str(), dllName.c_str()) == 0) return member->digest == digest;
  }
  return false;  // the package brought no such DLL: whatever is there came from elsewhere
}

bool GameLoaderExtension::waitForGameModule() {
  if (!waitingForGameModule_) {
    waitingForGameModule_ = true;
    gameModuleWaitStart_ = ::GetTickCount();
  }
  if (::GetTickCount() - gameModuleWaitStart_ < kGameModuleWaitLimitMs) return true;
  waitingForGameModule_ = false;
  reportState(LoaderState::Failed, "FAILED TO LOAD THE GAME DLL", "STATE_GAME_CREATE_FAILED");
  return false;
}

bool GameLoaderExtension::loadGameModule() {
  // Refused before anything changes: no folder switch, no library load.
  if (displayIs24Bit()) {
    installedMemberHolds_.clear();  // the next install must be able to replace them
    reportState(LoaderState::WrongBitDepth, "WRONG BITH DEPTH", "STATE_WRONG_BITH_DEPTH");
    return false;
  }
  // Another extension of this process runs this game: this start waits,
  // one timer step at a time, until it has let the module go.
  const std::string modulePath = gameModulePath();
  if (gameModuleBusy(modulePath)) {
    waitForGameModule();
    return false;
  }
  // The game's own dependencies and relative paths resolve in its folder.
  ::SetCurrentDirectoryA(gameFolder_.c_str());
  releaseGameModule();
  if (!holdVerifiedGameDll()) {
    gameDllHold_.reset();
    installedMemberHolds_.clear();  // the next install must be able to replace them
    reportState(LoaderState::Failed, "FAILED TO LOAD THE GAME DLL", "STATE_GAME_CREATE_FAILED");
    return false;
  }

  // Whatever starts after this may be the game's (game_threads.h).
  threadsBeforeGame_.take();
  const GameModuleClaim claim = claimGameModule(modulePath, gameModule_);
  gameDllHold_.reset();  // mapped now, or never
  installedMemberHolds_.clear();
  if (claim == GameModuleClaim::Busy) {
    waitForGameModule();
    return false;
  }
  waitingForGameModule_ = false;
  if (claim == GameModuleClaim::Failed) {
    reportState(LoaderState::Failed, "FAILED TO LOAD THE GAME DLL", "STATE_GAME_CREATE_FAILED");
    return false;
  }
  if (!bindGameEntryPoints()) return false;

  {
    GameCall call(*this);
    gameInstance_ = callOutside([&] { return createGame_(this, window_, &gameFolder_, gameWidth_, gameHeight_); });
  }
  // Null also when the game released itself while it was being created.
  if (gameInstance_ == nullptr) {
    reportState(LoaderState::Failed, "FAILED TO CREATE A GAME INSTANCE", "STATE_GAME_CREATE_FAILED");
    return false;
  }
  // The host hears of the game before the screen may end its animation.
  reportState(LoaderState::GameCreated, "SUCCEEDED TO CREATE THE GAME INSTANCE", "STATE_GAME_CREATE_SUCCEEDED");
  if (screen_) screen_->markGameReady();
  return true;
}

bool GameLoaderExtension::bindGameEntryPoints() {
  // Bound in this fixed order; only the first missing one is reported and
  // nothing after it is looked up.
  auto missing = [this](const char* message) {
    reportState(LoaderState::Failed, message, "STATE_GAME_CREATE_FAILED");
    return false;
  };
  HMODULE module = gameModule_.get();
  releaseGame_ = procAddress<ReleaseFyrelGameFn>(module, "ReleaseFyrelGame");
  if (!releaseGame_) return missing("FAILED TO BIND THE RELEASE FUNCTION");
  processGameMsg_ = procAddress<ProcessFyrelMsgFn>(module, "ProcessFyrelMsg");
  if (!processGameMsg_) return missing("FAILED TO BIND THE MESSAGE FUNCTION");
  receiveGameNotification_ = procAddress<ReceiveFyrelNotificationFn>(module, "ReceiveFyrelNotification");
  if (!receiveGameNotification_) return missing("FAILED TO BIND THE NOTIFICATION FUNCTION");
  startGame_ = procAddress<StartFyrelGameFn>(module, "StartFyrelGame");
  if (!startGame_) return missing("FAILED TO BIND THE START FUNCTION");
  createGame_ = procAddress<CreateFyrelGameFn>(module, "CreateFyrelGame");
  if (!createGame_) return missing("FAILED TO BIND THE CREATE FUNCTION");
  return true;
}

bool GameLoaderExtension::startLoadedGame() {
  bool started = false;
  if (startGame_ != nullptr) {  // null once the game has been released
    GameCall call(*this);
    started = callOutside([&] { return startGame_(); });
  }
  if (started && gameInstance_ != nullptr) {
    writeVersionMarker(gameFolder_, cabFileName_);  // only after a successful start
    reportState(LoaderState::GameStarted, "THE GAME IS STARTED", "STATE_GAME_STARTED");
    return true;
  }
  reportState(LoaderState::Failed, "FAILED TO START THE GAME", "STATE_GAME_START_FAILED");
  return false;
}

void GameLoaderExtension::releaseGameModule() {
  // After a release nothing reaches the game, whoever asked for it: the
  // entry points go at once.
  createGame_ = nullptr;
  startGame_ = nullptr;
  processGameMsg_ = nullptr;
  receiveGameNotification_ = nullptr;
  // The game asked from inside one of its own entry points: it is released
  // and unloaded when that call has returned.
  if (gameCallDepth_ > 0) {
    gameReleasePending_ = true;
    return;
  }
  finishGameRelease();
}

void GameLoaderExtension::finishGameRelease() {
  gameReleasePending_ = false;
  if (gameInstance_ != nullptr) {
    gameInstance_ = nullptr;
    GameCall call(*this);
    callOutside([&] { releaseGame_(); });
  }
  // A game that left a thread of its own running would have its code
  // pulled from under that thread, and the host process would die. The
  // module then stays loaded for the life of the process: one module per
  // such release, a bounded leak against a crash of the host.
  const bool threadRuns = gameThreadRuns(gameModule_.get(), threadsBeforeGame_);
  if (threadRuns) {
    ::OutputDebugStringA(
        "FyrelExtension: the game left a thread running after ReleaseFyrelGame; its module stays loaded\n");
  }
  releaseGameModuleClaim(gameModule_, threadRuns);
}

GameLoaderExtension::GameCall::~GameCall() {
  if (--extension_.gameCallDepth_ == 0 && extension_.gameReleasePending_) extension_.finishGameRelease();
}

void GameLoaderExtension::ReleaseGame() { releaseGameModule(); }

}  // namespace fyrel
