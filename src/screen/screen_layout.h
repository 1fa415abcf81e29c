// Where the parts of a loading-screen frame go, and how a percentage reads.
// W and H are the surface's size, lw and lh the logo's; halves truncate
// toward zero.
#pragma once

#include <string>

namespace fyrel {

int logoX(int surfaceWidth, int logoWidth) noexcept;
// The logo rises from just below the bottom edge (both progress values 0)
// to the centre (intro 100) and on through the top edge (both 100).
int logoY(int surfaceHeight, int logoHeight, float introProgress, float outroProgress) noexcept;
// The caption line's top lies one logo height below the middle.
int captionY(int surfaceHeight, int logoHeight) noexcept;
int addressY(int surfaceHeight) noexcept;
// The rows a caption line can take (a 16-pixel font's cell, with room).
constexpr int kTextBandRows = 24;
// Whether the caption line's band lies on the surface and clear of the logo
// and of the address line, so that it alone can be redrawn when only the
// caption line changed.
bool captionBandIsClear(int surfaceHeight, int logoY, int logoHeight) noexcept;
// Left edge of a text of width `textWidth` centred on the surface; negative
// when the text is wider than the surface.
int centredTextX(int surfaceWidth, int textWidth) noexcept;

// Everything a frame shows that can change from one refresh step to the
// next: a frame equal to the last one drawn need not be drawn again.
struct FrameContent {
  int logoY = 0;
  int textColor = 0;
  std::string captionLine;  // caption followed by the percent text
  std::string addressText;

  bool operator==(const FrameContent& other) const {
    return logoY == other.logoY && textColor == other.textColor && captionLine == other.captionLine &&
           addressText == other.addressText;
  }
  bool operator!=(const FrameContent& other) const { return !(*this == other); }
};

// A percentage as the screen shows it: truncated toward zero and kept
// within 0 to 100; not-a-number (a ratio whose total is still 0, say) shows
// as 0, values above 100 as 100.
int shownPercent(float percent) noexcept;
// " : 45%" for 45.
std::string percentText(int percent);

}  // namespace fyrel
