#include "extension/loader_state.h"

namespace fyrel {

const char* reportKind(LoaderState state) noexcept {
  switch (state) {
    case LoaderState::Failed:
      return "FE_ERROR";
    case LoaderState::WrongBitDepth:
      return "wrongBitDepth";
    default:
      return "FE_STATE";
  }
}

}  // namespace fyrel
