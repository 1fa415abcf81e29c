// Where the host's window messages and notifications go, and the one-pair
// slot that carries a game's notifications up to the host.
#include <string>

#include "extension/game_loader_extension.h"
#include "extension/outside_call.h"
#include "screen/progress_screen.h"

namespace fyrel {

bool GameLoaderExtension::ProcessMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (msg == WM_KEYDOWN || msg == WM_MOUSEACTIVATE) ::SetFocus(window_);

  if (state_ == LoaderState::GameStarted) {
    deliverPendingPair();
    // The host may have released the game or deleted the extension in its
    // Notify; a released game's code may be unloaded already.
    if (deleteRequested_ || processGameMsg_ == nullptr) return false;
    // The game answers true for "not handled"; the host's answer is the
    // opposite.
    GameCall call(*this);
    return !callOutside([&] { return processGameMsg_(msg, wParam, lParam, result); });
  }

  switch (msg) {
    case WM_PAINT:
      if (screen_) screen_->paint();
      // The screen draws nothing once its animation has ended; the window
      // must still be validated, or the endless paint messages would starve
      // the timer messages that start the game.
      ::ValidateRect(window_, nullptr);
      *result = 0;
      return true;
    case WM_TIMER:
      onTimerTick();
      *result = 0;
      return true;
    default:
      return false;
  }
}

void GameLoaderExtension::SendUp(const char* name, const char* value) {
  // No game bound yet, or released: dropped.
  if (receiveGameNotification_ == nullptr || deleteRequested_) return;
  try {
    const std::string nameText(name != nullptr ? name : "");
    const std::string valueText(value != nullptr ? value : "");
    GameCall call(*this);
    callOutside([&] { receiveGameNotification_(nameText, valueText); });
  } catch (...) {
    // Out of memory copying the pair: the notification is dropped, the host goes on.
  }
}

void GameLoaderExtension::NotifyHost(const char* first, const char* second) {
  const bool firstEmpty = first == nullptr || *first == '\0';
  const bool secondEmpty = second == nullptr || *second == '\0';
  // Only a pair of two texts is ever delivered; a half-empty one would hold
  // the slot for the life of the extension, so it is refused here.
  if (firstEmpty || secondEmpty) return;
  while (pendingBusy_.test_and_set(std::memory_order_acquire)) ::Sleep(10);
  try {
    if (pendingName_.empty() && pendingValue_.empty()) {
      pendingName_ = first;
      pendingValue_ = second;
    }
  } catch (...) {
    pendingName_.clear();
    pendingValue_.clear();
  }
  pendingBusy_.clear(std::memory_order_release);
}

void GameLoaderExtension::deliverPendingPair() {
  // One pair at a time, in order: a pair offered while the host handles the
  // previous one (from inside its Notify, or during a message loop it runs
  // there) goes with a later message, so Notify is never entered twice.
  if (delivering_) return;
  // Never wait on the window thread: if a game thread holds the slot, the
  // pair goes with a later message.
  if (pendingBusy_.test_and_set(std::memory_order_acquire)) return;
  std::string name;
  std::string value;
  if (!pendingName_.empty() && !pendingValue_.empty()) {
    name.swap(pendingName_);
    value.swap(pendingValue_);
  }
  // The slot is free before the host is called: a game that answers the
  // host's Notify with a pair of its own, on this thread or another, must
  // find it free, not wait for a call that waits for it.
  pendingBusy_.clear(std::memory_order_release);
  if (name.empty()) return;
  delivering_ = true;
  struct ClearOnExit {
    bool& flag;
    ~ClearOnExit() { flag = false; }
  } clearDelivering{delivering_};
  GenericExtension::NotifyHost(name.c_str(), value.c_str());
}

}  // namespace fyrel
