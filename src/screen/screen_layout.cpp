#include "screen/screen_layout.h"

#include <climits>
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

int centredTextX(int surfaceWidth, int textWidth) noexcept { return (surfaceWidth - textWidth) / 2; }

int shownPercent(float percent) noexcept {
  if (!std::isfinite(percent)) return 0;
  const double truncated = std::trunc(static_cast<double>(percent));
  if (truncated < static_cast<double>(INT_MIN) || truncated > static_cast<double>(INT_MAX)) return 0;
  return static_cast<int>(truncated);
}

std::string percentText(int percent) {
  char text[32];
  std::snprintf(text, sizeof text, " : %d%%", percent);
  return text;
}

}  // namespace fyrel
