#include <string>

#include "extension/game_loader_extension.h"
#include "screen/progress_screen.h"

namespace fyrel {

void GameLoaderExtension::reportState(LoaderState code, const char* message, const char* stateName) {
  // The text is made before the state changes: if memory runs out here, the
  // step that reports is left where it was and runs again on the next tick,
  // instead of a new state that the host never hears of.
  const std::string errorText = code == LoaderState::Failed ? std::string("ERROR: ") + message : std::string();
  // Every final failure leaves a line naming it, after the line of its
  // cause.
  if (code == LoaderState::Failed || code == LoaderState::WrongBitDepth)
    diagnose(std::string("install failed: ") + stateName + " (" + message + ")");
  state_ = code;
  // The screen shows the failure before the host hears of it, so a host
  // that snapshots the window on the report sees the error line.
  if (screen_ && code == LoaderState::Failed) screen_->showError(errorText.c_str());
  if (screen_ && code == LoaderState::WrongBitDepth) screen_->showError("ERROR: Wrong bit Depth");
  // State reports bypass the game's queue and reach the host at once.
  GenericExtension::NotifyHost(reportKind(code), stateName);
  ::InvalidateRect(window_, nullptr, FALSE);
}

}  // namespace fyrel
