// The phase walk: which phase the screen is in follows from five "done"
// flags alone, so the controller only ever raises flags.
#pragma once

#include <cstdint>

#include "screen/screen_phase.h"

namespace fyrel {

struct PhaseFlags {
  bool running = false;
  bool introDone = false;
  bool downloadDone = false;
  bool extractionDone = false;
  bool gameReady = false;
  bool outroDone = false;
};

// Walks the phases from the intro and stops at the first one whose flag is
// not raised yet; stages already done are passed in one walk. A screen that
// is not running, shows an error or has been stopped keeps its phase: an
// error stays until the stop, and a walk that was under way when a stop
// came does not undo the stop.
ScreenPhase advancePhase(ScreenPhase current, const PhaseFlags& flags) noexcept;

// Progress of the logo's slide after `elapsedMs`: 0.1 per millisecond in
// single precision, so a slide takes 1000 ms of tick count.
float addSlideProgress(float progress, std::uint32_t elapsedMs) noexcept;

// Milliseconds between two readings of a 32-bit tick count; right across a
// wrap of the count.
inline std::uint32_t ticksBetween(std::uint32_t last, std::uint32_t now) noexcept { return now - last; }

}  // namespace fyrel
