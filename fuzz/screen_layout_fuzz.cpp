// The layout arithmetic gets the window's client size, the logo's size, the
// width of a caption measured by GDI and the slide progress values; the
// percentage comes from two counters that a server's answer drives.
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "screen/screen_layout.h"

namespace {

// A client area is at most 16 bits a side; logos and captions are far
// smaller, and a slide may overshoot its end by what a starved refresh step
// adds (kept here to a minute's worth).
int windowSide(fyrel::fuzz::FuzzInput& in) { return in.value<std::uint16_t>(); }
int logoSide(fyrel::fuzz::FuzzInput& in) { return in.value<std::uint16_t>() % 4097; }
int textWidth(fyrel::fuzz::FuzzInput& in) { return static_cast<int>(in.value<std::uint32_t>() % (1u << 20)); }
float slide(fyrel::fuzz::FuzzInput& in) { return static_cast<float>(in.value<std::uint32_t>() % 6100000u) / 1000.0f; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fyrel::fuzz::FuzzInput input(data, size);
  const int width = windowSide(input);
  const int height = windowSide(input);
  const int logoWidth = logoSide(input);
  const int logoHeight = logoSide(input);
  const int text = textWidth(input);
  const float intro = slide(input);
  const float outro = slide(input);
  const float percent = input.value<float>();  // any bit pattern, NaN and infinities too

  (void)fyrel::logoX(width, logoWidth);
  const int y = fyrel::logoY(height, logoHeight, intro, outro);
  // At rest the logo stands just below the bottom edge; it only rises.
  if (intro == 0.0f && outro == 0.0f && y != height) std::abort();
  if (y > height) std::abort();
  (void)fyrel::captionY(height, logoHeight);
  (void)fyrel::addressY(height);
  const int x = fyrel::centredTextX(width, text);
  if (text <= width && (x < 0 || x + text > width)) std::abort();

  const int shown = fyrel::shownPercent(percent);
  if (shown < 0 || shown > 100) std::abort();
  if (std::isnan(percent) && shown != 0) std::abort();
  if (percent >= 0.0f && percent < 100.0f && shown != static_cast<int>(std::trunc(percent))) std::abort();
  const std::string line = fyrel::percentText(shown);
  if (line != " : " + std::to_string(shown) + "%") std::abort();
  (void)fyrel::percentText(static_cast<int>(input.value<std::int32_t>()));
  return 0;
}
