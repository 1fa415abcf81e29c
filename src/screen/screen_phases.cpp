#include "screen/screen_phases.h"

namespace fyrel {

ScreenPhase advancePhase(ScreenPhase current, const PhaseFlags& flags) noexcept {
  if (!flags.running || current == ScreenPhase::Error || current == ScreenPhase::Stopped) return current;
  if (!flags.introDone) return ScreenPhase::Intro;
  if (!flags.downloadDone) return ScreenPhase::Downloading;
  if (!flags.extractionDone) return ScreenPhase::Extracting;
  if (!flags.gameReady) return ScreenPhase::Hold;
  if (!flags.outroDone) return ScreenPhase::Outro;
  return ScreenPhase::Stopped;
}

float addSlideProgress(float progress, std::uint32_t elapsedMs) noexcept {
  constexpr float kRatePerMs = 0.1f;
  return progress + static_cast<float>(elapsedMs) * kRatePerMs;
}

}  // namespace fyrel
