#include <gtest/gtest.h>

#include <limits>

#include "screen/caption_table.h"
#include "screen/screen_layout.h"

namespace fyrel {
namespace {

TEST(ScreenLayout, LogoFollowsTheSlideOn640By480) {
  // 235 x 100 logo: below the bottom edge, halfway in, centred, halfway
  // out, and at the end its bottom row left on the top row.
  static const struct {
    float intro, outro;
    int y;
  } cases[] = {
      {0, 0, 480}, {50, 0, 335}, {100, 0, 190}, {100, 50, 45}, {100, 100, -99},
  };
  EXPECT_EQ(logoX(640, 235), 203);
  for (const auto& c : cases) EXPECT_EQ(logoY(480, 100, c.intro, c.outro), c.y) << c.intro << "+" << c.outro;
}

TEST(ScreenLayout, EndOfSlideOutKeepsOneRowForAnyLogo) {
  static const struct { int height, logoHeight; } cases[] = {{480, 100}, {720, 100}, {600, 1}, {1024, 333}};
  for (const auto& c : cases) EXPECT_EQ(logoY(c.height, c.logoHeight, 100, 100), 1 - c.logoHeight) << c.height;
}

TEST(ScreenLayout, LinesAndOddSizes) {
  EXPECT_EQ(captionY(480, 100), 340);
  EXPECT_EQ(addressY(480), 450);
  EXPECT_EQ(captionY(480, 0), 240);  // no logo: the caption sits at the middle
  EXPECT_EQ(logoX(641, 235), 320 - 117);
  EXPECT_EQ(centredTextX(640, 100), 270);
  EXPECT_EQ(centredTextX(100, 141), -20);  // wider than the window: clipped on the left
}

TEST(ScreenLayout, CaptionBandIsRedrawnAloneOnlyWhenClearOfLogoAndAddress) {
  static const struct {
    int height, logoY, logoHeight;
    bool clear;
  } cases[] = {
      {480, 190, 100, true},   // logo centred: band 340-363, address from 450
      {480, 240, 100, true},   // logo bottom on the band's top row is clear
      {480, 241, 100, false},  // one row lower it reaches into the band
      {480, 335, 100, false},  // halfway through the slide-in: over the band
      {480, 364, 100, true},   // just below the band
      {480, -99, 100, true},   // end of the slide-out
      {200, 50, 100, false},   // caption at 200: below the surface
      {300, 0, 100, false},    // caption at 250, address at 270: they meet
      {480, 190, 0, true},     // no logo
      {24, 0, 0, false},       // caption at 12: band past the bottom edge
  };
  for (const auto& c : cases)
    EXPECT_EQ(captionBandIsClear(c.height, c.logoY, c.logoHeight), c.clear) << c.height << " " << c.logoY;
}

TEST(ScreenLayout, PercentageIsTruncatedAndKeptBetweenZeroAndHundred) {
  const float inf = std::numeric_limits<float>::infinity();
  static const struct {
    float percent;
    int shown;
  } cases[] = {
      {45.0f, 45},
      {99.9f, 99},
      {100.0f, 100},
      {0.0f, 0},
      {-0.5f, 0},
      {-3.7f, 0},
      {std::numeric_limits<float>::quiet_NaN(), 0},
      {inf, 100},
      {-inf, 0},
      {100.5f, 100},
      {254.3f, 100},  // sums of member sizes that wrapped
      {1000.0f, 100},
      {3.0e9f, 100},
      {-3.0e9f, 0},
      {2147483520.0f, 100},
      {2147483648.0f, 100},
  };
  for (const auto& c : cases) EXPECT_EQ(shownPercent(c.percent), c.shown) << c.percent;
}

TEST(ScreenLayout, PercentTextIsBlankColonBlankNumberPercent) {
  EXPECT_EQ(percentText(45), " : 45%");
  EXPECT_EQ(percentText(0), " : 0%");
  EXPECT_EQ(percentText(-2147483647 - 1), " : -2147483648%");
}

TEST(CaptionTable, TwoLetterCodesComparedWholeAndCaseSensitively) {
  static const struct {
    const char* code;
    bool found;
    unsigned download, extraction;
  } cases[] = {
      {"nl", true, 103, 104}, {"en", true, 101, 102}, {"fr", true, 107, 108}, {"de", true, 105, 106},
      {"sv", true, 113, 114}, {"es", true, 109, 110}, {"it", true, 111, 112}, {"EN", false, 0, 0},
      {"en-us", false, 0, 0}, {"", false, 0, 0},      {"e", false, 0, 0},     {"pt", false, 0, 0},
  };
  for (const auto& c : cases) {
    CaptionIds ids;
    EXPECT_EQ(captionIdsFor(c.code, &ids), c.found) << c.code;
    EXPECT_EQ(ids.download, c.download) << c.code;
    EXPECT_EQ(ids.extraction, c.extraction) << c.code;
  }
  CaptionIds ids;
  EXPECT_FALSE(captionIdsFor(std::string("en\0x", 4), &ids));  // compared whole, not up to a NUL
}

}  // namespace
}  // namespace fyrel
