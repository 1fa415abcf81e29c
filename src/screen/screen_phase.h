// The loading screen's phases. The values are fixed: the controller and the
// tests compare against them.
#pragma once

namespace fyrel {

enum class ScreenPhase : int {
  Idle = 1,
  Intro = 2,
  Downloading = 3,
  Extracting = 4,
  Hold = 5,
  Outro = 6,
  Stopped = 7,
  Error = 19,
};

}  // namespace fyrel
