// The loader's state codes and the kind of report each one sends the host.
#pragma once

#include <cstdint>

namespace fyrel {

enum class LoaderState : std::int32_t {
  Closed = 1,
  Downloading = 2,
  CheckingSignature = 3,
  Extracting = 4,
  GameReady = 5,
  GameCreated = 6,
  GameStarted = 7,
  Failed = 16,
  WrongBitDepth = 17,
};

// "FE_STATE" for 1 to 7, "FE_ERROR" for 16, "wrongBitDepth" for 17.
const char* reportKind(LoaderState state) noexcept;

}  // namespace fyrel
