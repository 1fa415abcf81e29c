// The phase walk runs on the refresh thread while the controller raises
// flags from the window thread, in any order and at any moment. Each input
// is such a history: a start phase and a string of events.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_input.h"
#include "screen/screen_phases.h"

namespace {

using fyrel::ScreenPhase;

const ScreenPhase kPhases[] = {ScreenPhase::Idle, ScreenPhase::Intro, ScreenPhase::Downloading, ScreenPhase::Extracting,
                               ScreenPhase::Hold, ScreenPhase::Outro, ScreenPhase::Stopped,     ScreenPhase::Error};

// The order in which the loading screen passes its phases.
int rank(ScreenPhase phase) {
  switch (phase) {
    case ScreenPhase::Idle:
      return 0;
    case ScreenPhase::Intro:
      return 1;
    case ScreenPhase::Downloading:
      return 2;
    case ScreenPhase::Extracting:
      return 3;
    case ScreenPhase::Hold:
      return 4;
    case ScreenPhase::Outro:
      return 5;
    case ScreenPhase::Stopped:
      return 6;
    case ScreenPhase::Error:
      return 7;
  }
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fyrel::fuzz::FuzzInput input(data, size);
  ScreenPhase phase = kPhases[input.byte() % 8];
  fyrel::PhaseFlags flags;
  // A start phase other than Idle may not fit the (all lowered) flags; the
  // history is only consistent once a running walk has set the phase.
  bool consistent = phase == ScreenPhase::Idle;
  while (!input.empty()) {
    const std::uint8_t event = input.byte();
    const ScreenPhase before = phase;
    switch (event % 9) {
      case 0:
        flags.running = true;
        break;
      case 1:
        flags.introDone = true;
        break;
      case 2:
        flags.downloadDone = true;
        break;
      case 3:
        flags.extractionDone = true;
        break;
      case 4:
        flags.gameReady = true;
        break;
      case 5:
        flags.outroDone = true;
        break;
      case 6:
        phase = ScreenPhase::Error;
        break;
      case 7:
        phase = ScreenPhase::Stopped;
        break;
      case 8: {
        // A slide step: progress only grows, and the tick difference is
        // right across a wrap of the 32-bit count.
        const float progress = static_cast<float>(input.byte());
        const std::uint32_t last = input.value<std::uint32_t>();
        const std::uint32_t elapsed = input.value<std::uint32_t>();
        if (fyrel::ticksBetween(last, last + elapsed) != elapsed) std::abort();
        if (fyrel::addSlideProgress(progress, elapsed) < progress) std::abort();
        break;
      }
    }
    const ScreenPhase next = fyrel::advancePhase(phase, flags);
    // Flags only ever go up, so the walk only goes forward; an error or a
    // stop holds; a second walk with the same flags changes nothing.
    if (consistent && event % 9 < 6 && phase == before && rank(next) < rank(phase) && phase != ScreenPhase::Error)
      std::abort();
    if ((phase == ScreenPhase::Error || phase == ScreenPhase::Stopped) && next != phase) std::abort();
    if (!flags.running && next != phase) std::abort();
    if (fyrel::advancePhase(next, flags) != next) std::abort();
    if (flags.running && phase != ScreenPhase::Error && next == ScreenPhase::Idle) std::abort();
    if (flags.running) consistent = true;
    phase = next;
  }
  return 0;
}
