// Deleting the extension from inside a call into it. The host may delete
// the extension on the window thread while one of its own calls is still
// running below (its Notify on an "FE_ERROR" report is the natural place):
// the deletion then waits until that outermost call returns, and the
// object stays whole for the code still on the stack.
#include "extension/game_loader_extension.h"

namespace fyrel {

bool GameLoaderExtension::leaveHostCall() noexcept {
  if (--hostCallDepth_ > 0 || !deleteRequested_) return false;
  delete this;
  return true;
}

bool GameLoaderExtension::deferDeletion() noexcept {
  if (destroying_) return true;  // the closing report's Notify deleting again
  if (hostCallDepth_ == 0) return false;
  deleteRequested_ = true;
  return true;
}

}  // namespace fyrel
