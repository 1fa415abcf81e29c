#include "screen/screen_layout.h"

#include <cmath>
#include <cstdio>

namespace fyrel {

int logoX(int surfaceWidth, int logoWidth) noexcept { return surfaceWidth / 2 - logoWidth / 2; }

int logoY(int surfaceHeight, int logoHeight, float introProgress, float outroProgress) noexcept {
  // The single-precision constant, widened, is what puts the logo's last
  // row on the top row at the end of the slide-out (y = 1 - lh) instead of
  // just above the surface.
  constexpr float kSlide = 0.005f;
  const double travel = static_cast<double>(surfaceHeight) + logoHeight;
  const double progress = static_cast<double>(introProgress + outroProgress);
  return static_cast<int>(travel - static_cast<double>(kSlide) * progress * travel - logoHeight);
}

int captionY(int surfaceHeight, int logoHeight) noexcept { return surfaceHeight / 2 + logoHeight; }

int addressY(int surfaceHeight) noexcept { return surfaceHeight - 30; }

bool captionBandIsClear(int surfaceHeight, int logoY, int logoHeight) noexcept {
  const long long top = captionY(surfaceHeight, logoHeight);
  const long long bottom = top + kTextBandRows;
  const long long addressTop = addressY(surfaceHeight);
  const bool onSurface = top >= 0 && bottom <= surfaceHeight;
  const bool clearOfLogo = static_cast<long long>(logoY) + logoHeight <= top || logoY >= bottom;
  const bool clearOfAddress = addressTop >= bottom || addressTop + kTextBandRows <= top;
  return onSurface && clearOfLogo && clearOfAddress;
}

int centredTextX(int surfaceWidth, int textWidth) noexcept { return (surfaceWidth - textWidth) / 2; }

int shownPercent(float percent) noexcept {
  // Byte counts from a hostile package or server can make any ratio; the
  // screen shows a percentage, so it stays within 0 to 100.
  if (std::isnan(percent) || percent <= 0.0f) return 0;
  if (percent >= 100.0f) return 100;
  return static_cast<int>(percent);  // truncated toward zero
}

std::string percentText(int percent) {
  char text[32];
  std::snprintf(text, sizeof text, " : %d%%", percent);
  return text;
}

}  // namespace fyrel
