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
    // The game answers true for "not handled"; the host's answer is the
    // opposite.
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
  if (receiveGameNotification_ == nullptr) return;  // no game bound yet: dropped
  try {
    const std::string nameText(name != nullptr ? name : "");
    const std::string valueText(value != nullptr ? value : "");
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
  // Never wait on the window thread: if a game thread holds the slot, the
  // pair goes with a later message.
  if (pendingBusy_.test_and_set(std::memory_order_acquire)) return;
  if (!pendingName_.empty() && !pendingValue_.empty()) {
    std::string name;
    std::string value;
    name.swap(pendingName_);
    value.swap(pendingValue_);
    // Held across the host's Notify: a game thread offering a pair now
    // waits until the host has returned.
    GenericExtension::NotifyHost(name.c_str(), value.c_str());
  }
  pendingBusy_.clear(std::memory_order_release);
}

}  // namespace fyrel
