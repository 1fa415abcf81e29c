#include "screen/drawing_surface.h"

#include <windows.h>
#include <gtest/gtest.h>

#include "common/unique_handle.h"
#include "screen/screen_rig.h"

namespace fyrel {
namespace {

// A screen-compatible DC to build surfaces on, as the screen does with the
// window's.
class ScreenDc {
 public:
  ScreenDc() : dc_(::GetDC(nullptr)) {}
  ~ScreenDc() { ::ReleaseDC(nullptr, dc_); }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

TEST(DrawingSurface, FontIsMadeOnceAndOnlyOnACreatedSurface) {
  ScreenDc screen;
  DrawingSurface surface;
  surface.createFont();
  EXPECT_FALSE(surface.fontCreated());

  surface.create(screen.get(), 64, 32);
  surface.createFont();
  ASSERT_TRUE(surface.fontCreated());
  HGDIOBJ font = ::GetCurrentObject(surface.drawingDc(), OBJ_FONT);
  surface.createFont();
  EXPECT_EQ(::GetCurrentObject(surface.drawingDc(), OBJ_FONT), font);

  LOGFONTA logical{};
  ASSERT_NE(::GetObjectA(font, sizeof logical, &logical), 0);
  EXPECT_STREQ(logical.lfFaceName, "Arial");
  EXPECT_EQ(logical.lfHeight, -16);
  EXPECT_EQ(logical.lfWeight, FW_BOLD);
  EXPECT_EQ(logical.lfQuality, ANTIALIASED_QUALITY);

  // Building anew drops the font with everything else.
  surface.create(screen.get(), 32, 16);
  EXPECT_FALSE(surface.fontCreated());
  EXPECT_EQ(surface.width(), 32);
  EXPECT_EQ(surface.height(), 16);
}

TEST(DrawingSurface, ReleaseEmptiesItAndASecondReleaseDoesNothing) {
  ScreenDc screen;
  DrawingSurface surface;
  surface.release();  // before any create
  surface.create(screen.get(), 64, 32);
  surface.createFont();
  const HDC dc = surface.drawingDc();
  ASSERT_NE(dc, nullptr);
  surface.release();
  EXPECT_EQ(surface.width(), 0);
  EXPECT_EQ(surface.height(), 0);
  EXPECT_EQ(surface.drawingDc(), nullptr);
  EXPECT_FALSE(surface.fontCreated());
  EXPECT_EQ(::GetObjectType(dc), 0u) << "the drawing DC is deleted";
  surface.release();
}

TEST(DrawingSurface, ColoursTurnRedAndBlueAround) {
  ScreenDc screen;
  DrawingSurface surface;
  surface.create(screen.get(), 8, 8);
  static const struct {
    int rgb;
    COLORREF platform;
  } cases[] = {
      {0xFF0000, 0x0000FF}, {0x0000FF, 0xFF0000}, {0xCCFF00, 0x00FFCC}, {0x333333, 0x333333}, {0x00FF00, 0x00FF00},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platformColor(c.rgb), c.platform);
    surface.setFillColorRgb(c.rgb);
    LOGBRUSH brush{};
    ASSERT_NE(::GetObjectA(surface.fillBrush(), sizeof brush, &brush), 0);
    EXPECT_EQ(brush.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(brush.lbColor, c.platform) << std::hex << c.rgb;
    EXPECT_EQ(::GetCurrentObject(surface.drawingDc(), OBJ_BRUSH), surface.fillBrush());
    // With the null pen the rectangle has no outline: every pixel is filled.
    ::Rectangle(surface.drawingDc(), 0, 0, 9, 9);
    EXPECT_EQ(::GetPixel(surface.drawingDc(), 0, 0), c.platform);
    EXPECT_EQ(::GetPixel(surface.drawingDc(), 7, 7), c.platform);
  }
}

TEST(DrawingSurface, ReplacedFillBrushIsDeleted) {
  ScreenDc screen;
  DrawingSurface surface;
  surface.create(screen.get(), 8, 8);
  surface.setFillColorRgb(0x123456);
  const HBRUSH first = surface.fillBrush();
  surface.setFillColorRgb(0x654321);
  EXPECT_EQ(::GetObjectType(first), 0u);
  EXPECT_NE(::GetObjectType(surface.fillBrush()), 0u);
}

TEST(DrawingSurface, BitmapSizeIsPositiveBottomUpAndTopDown) {
  ScreenDc screen;
  static const struct { int height; } cases[] = {{30}, {-30}};
  for (const auto& c : cases) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 20;
    info.bmiHeader.biHeight = c.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    UniqueBitmap bitmap(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ASSERT_TRUE(bitmap);
    const BitmapSize size = bitmapSize(bitmap.get());
    EXPECT_EQ(size.width, 20) << c.height;
    EXPECT_EQ(size.height, 30) << c.height;
  }
  const BitmapSize none = bitmapSize(nullptr);
  EXPECT_EQ(none.width, 0);
  EXPECT_EQ(none.height, 0);
}

TEST(DrawingSurface, TextWidthIsMeasuredInTheTextFont) {
  ScreenDc screen;
  DrawingSurface surface;
  surface.create(screen.get(), 64, 32);
  surface.createFont();
  EXPECT_EQ(surface.textWidth("", 0), 0);
  const int one = surface.textWidth("Downloading", 11);
  EXPECT_GT(one, 0);
  EXPECT_GT(surface.textWidth("Downloading : 45%", 17), one);
  // The trailing blank of a caption takes room.
  EXPECT_GT(surface.textWidth("Extraction en cours ", 20), surface.textWidth("Extraction en cours", 19));
}

TEST(DrawingSurface, BitmapGoesInAtItsPlaceAndTheWholeSurfaceGoesOut) {
  ScreenDc screen;
  DrawingSurface surface;
  surface.create(screen.get(), 16, 12);
  surface.setFillColorRgb(0x333333);
  ::Rectangle(surface.drawingDc(), 0, 0, 17, 13);

  // A 4 x 4 source: left half red, right half blue.
  UniqueBitmap source(::CreateCompatibleBitmap(screen.get(), 4, 4));
  {
    UniqueMemoryDC dc(::CreateCompatibleDC(screen.get()));
    SelectGuard selected(dc.get(), source.get());
    UniqueBrush red(::CreateSolidBrush(platformColor(0xFF0000)));
    UniqueBrush blue(::CreateSolidBrush(platformColor(0x0000FF)));
    RECT left{0, 0, 2, 4}, right{2, 0, 4, 4};
    ::FillRect(dc.get(), &left, red.get());
    ::FillRect(dc.get(), &right, blue.get());
  }
  // Only the blue half, from source x 2, to (5, 6).
  surface.drawBitmap(source.get(), 5, 6, 2, 0, 2, 4);

  UniqueBitmap target(::CreateCompatibleBitmap(screen.get(), 20, 20));
  UniqueMemoryDC targetDc(::CreateCompatibleDC(screen.get()));
  SelectGuard selected(targetDc.get(), target.get());
  surface.blitTo(targetDc.get(), 1, 1);
  const test::Frame frame = test::Frame::ofDc(targetDc.get(), 20, 20);
  EXPECT_EQ(frame.at(1, 1), 0x333333u);
  EXPECT_EQ(frame.at(16, 12), 0x333333u);
  EXPECT_EQ(frame.at(6, 7), 0x0000FFu);
  EXPECT_EQ(frame.at(7, 10), 0x0000FFu);
  EXPECT_EQ(frame.at(8, 7), 0x333333u);
  EXPECT_EQ(frame.at(5, 7), 0x333333u);
  EXPECT_EQ(frame.at(17, 13), 0u) << "nothing beyond the surface's size";
}

}  // namespace
}  // namespace fyrel
