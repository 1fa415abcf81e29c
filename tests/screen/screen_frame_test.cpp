// Frames as the window shows them: read back from a real 640 x 480 window
// on the X server, painted by the refresh thread and by the window's paint
// message.
// Each test also leaves a snapshot under <build>/snapshots/screen/.
#include <gtest/gtest.h>

#include "screen/progress_screen.h"
#include "screen/screen_rig.h"
#include "support/test_window.h"

namespace fyrel {
namespace {

using test::FakeClock;
using test::Frame;
using test::ScreenRig;

constexpr std::uint32_t kBackground = 0x333333;
constexpr std::uint32_t kLime = 0xCCFF00;
constexpr std::uint32_t kRed = 0xFF0000;
// Rows of the two text lines for 640 x 480 and the 235 x 100 logo, and the
// band above each that must stay free of text.
constexpr int kCaptionTop = 340;
constexpr int kAddressTop = 450;

void expectBackgroundCorners(const Frame& frame) {
  EXPECT_EQ(frame.at(0, 0), kBackground);
  EXPECT_EQ(frame.at(639, 0), kBackground);
  EXPECT_EQ(frame.at(0, 479), kBackground);
  EXPECT_EQ(frame.at(639, 479), kBackground);
}

// A text line in `color` starts at `top` (nothing in the ten rows above),
// is centred, and is about one line of 16-pixel text high.
void expectLine(const Frame& frame, std::uint32_t color, int top, const char* what) {
  const Frame::Extent above = frame.find(color, top - 10, top - 1);
  const Frame::Extent line = frame.find(color, top, top + 19);
  EXPECT_EQ(above.count, 0) << what;
  ASSERT_GT(line.count, 20) << what;
  EXPECT_LE(line.top, top + 4) << what;
  EXPECT_LE(line.bottom, top + 19) << what;
  EXPECT_NEAR((line.left + line.right) / 2.0, 320.0, 3.0) << what;
}

TEST(ScreenFrame, DownloadingFrameHasLogoCentredAndBothLines) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  screen.setDownloadPercent(45.0f);
  rig.start();
  FakeClock::advance(1000);
  ASSERT_TRUE(rig.settle([&] { return screen.percentText() == " : 45%"; }));
  const Frame frame = Frame::ofWindow(rig.hwnd());
  frame.saveSnapshot("downloading_45");

  expectBackgroundCorners(frame);
  const Frame logo = Frame::ofBitmap(screen.logo());
  ASSERT_EQ(logo.width(), 235);
  ASSERT_EQ(logo.height(), 100);
  EXPECT_TRUE(frame.contains(logo, 203, 190));
  EXPECT_FALSE(frame.contains(logo, 203, 191));
  EXPECT_FALSE(frame.contains(logo, 204, 190));
  expectLine(frame, kLime, kCaptionTop, "caption");
  expectLine(frame, kLime, kAddressTop, "address");
  EXPECT_EQ(frame.find(kRed, 0, 479).count, 0);
}

TEST(ScreenFrame, IntroHalfwayHasTheLogoHalfwayUp) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  rig.start();
  FakeClock::advance(500);
  ASSERT_TRUE(rig.settle([&] { return screen.introProgress() == 50.0f; }));
  const Frame frame = Frame::ofWindow(rig.hwnd());
  frame.saveSnapshot("intro_halfway");
  EXPECT_TRUE(frame.contains(Frame::ofBitmap(screen.logo()), 203, 335));
  expectLine(frame, kLime, kAddressTop, "address");
}

TEST(ScreenFrame, CaptionLineIsCentredInEveryLanguage) {
  static const struct {
    const char* snapshot;
    const char* language;
    bool extracting;
    float percent;
  } cases[] = {
      {"caption_de", "de", false, 100.0f},
      {"caption_fr", "fr", true, 7.0f},
      {"caption_sv", "sv", false, 63.0f},
      {"caption_nl", "nl", true, 88.0f},
  };
  for (const auto& c : cases) {
    ScreenRig rig;
    ProgressScreen& screen = rig.screen();
    screen.setLanguage(c.language);
    screen.setDownloadPercent(c.percent);
    screen.setExtractionPercent(c.percent);
    if (c.extracting) screen.markDownloadDone();
    rig.start();
    FakeClock::advance(1000);
    ASSERT_TRUE(rig.settle([&] { return !screen.percentText().empty(); })) << c.language;
    const Frame frame = Frame::ofWindow(rig.hwnd());
    frame.saveSnapshot(c.snapshot);
    expectLine(frame, kLime, kCaptionTop, c.language);
  }
}

TEST(ScreenFrame, ErrorTurnsBothLinesRed) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  screen.setAddressText("www.fyrel.example");
  rig.start();
  FakeClock::advance(1000);
  ASSERT_TRUE(rig.settle([&] { return screen.phase() == ScreenPhase::Downloading; }));
  screen.showError("ERROR: FAILED TO DOWNLOAD GAME");
  ::InvalidateRect(rig.hwnd(), nullptr, FALSE);
  rig.settle([] { return true; });
  const Frame frame = Frame::ofWindow(rig.hwnd());
  frame.saveSnapshot("error");

  expectBackgroundCorners(frame);
  EXPECT_TRUE(frame.contains(Frame::ofBitmap(screen.logo()), 203, 190));
  expectLine(frame, kRed, kCaptionTop, "error line");
  expectLine(frame, kRed, kAddressTop, "address");
  EXPECT_EQ(frame.find(kLime, kCaptionTop - 10, 479).count, 0);
}

TEST(ScreenFrame, EmptyAddressLeavesTheBottomLineEmpty) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  screen.setAddressText("");
  rig.start();
  ASSERT_TRUE(rig.settle([&] { return screen.phase() == ScreenPhase::Intro; }));
  const Frame frame = Frame::ofWindow(rig.hwnd());
  EXPECT_EQ(frame.find(kLime, kAddressTop - 10, 479).count, 0);
  EXPECT_EQ(frame.at(320, 460), kBackground);
}

// The refresh thread draws its frames itself: they go on while the
// window's thread delivers no messages (checking a signature, loading a
// game), and a frame never waits for the paint message.
TEST(ScreenFrame, FramesGoOnWhileTheWindowThreadDeliversNoMessages) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  rig.start();
  ASSERT_TRUE(rig.settle([&] { return screen.phase() == ScreenPhase::Intro; }));
  HDC dc = ::GetDC(rig.hwnd());
  UniqueBrush magenta(::CreateSolidBrush(RGB(255, 0, 255)));
  RECT all{0, 0, 640, 480};
  ::FillRect(dc, &all, magenta.get());
  ::ReleaseDC(rig.hwnd(), dc);
  // The window asks for a paint, as one that was uncovered would; from
  // here on this thread takes no message until the frame is back.
  ::InvalidateRect(rig.hwnd(), nullptr, FALSE);
  std::uint32_t corner = 0xFF00FFu;
  for (int waited = 0; waited < 2000 && corner != kBackground; waited += 10) {
    ::Sleep(10);
    corner = Frame::ofWindow(rig.hwnd()).at(0, 0);
  }
  EXPECT_EQ(corner, kBackground);
  ASSERT_TRUE(rig.stop());
}

// Steps that change nothing draw nothing: with the logo centred and the
// percentage standing still, the refresh thread goes on stepping but
// copies no frame; the next change is drawn.
TEST(ScreenFrame, StepsThatChangeNothingDrawNoFrame) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  screen.setDownloadPercent(45.0f);
  rig.start();
  FakeClock::advance(1000);
  ASSERT_TRUE(rig.settle([&] { return screen.percentText() == " : 45%"; }));
  const std::uint32_t before = screen.framesDrawn();
  test::pumpFor(500);  // some 50 steps; the window's paint messages are taken
  EXPECT_LE(screen.framesDrawn() - before, 1u) << "idle steps drew frames";

  screen.setDownloadPercent(46.0f);
  ASSERT_TRUE(rig.settle([&] { return screen.percentText() == " : 46%"; }));
  EXPECT_GE(screen.framesDrawn() - before, 1u) << "the change was not drawn";
  Frame::ofWindow(rig.hwnd()).saveSnapshot("downloading_46_after_idle");
  ASSERT_TRUE(rig.stop());
}

// Paint draws nothing while the refresh thread is not running: before its
// start and after its end, whatever is in the window stays.
TEST(ScreenFrame, NothingIsDrawnWhileTheThreadIsNotRunning) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  const auto coverAndRepaint = [&] {
    HDC dc = ::GetDC(rig.hwnd());
    UniqueBrush magenta(::CreateSolidBrush(RGB(255, 0, 255)));
    RECT all{0, 0, 640, 480};
    ::FillRect(dc, &all, magenta.get());
    ::ReleaseDC(rig.hwnd(), dc);
    ::InvalidateRect(rig.hwnd(), nullptr, FALSE);
    ::UpdateWindow(rig.hwnd());
    test::pumpFor(50);
    return Frame::ofWindow(rig.hwnd());
  };
  const Frame before = coverAndRepaint();
  EXPECT_EQ(before.at(0, 0), 0xFF00FFu);
  EXPECT_EQ(before.at(320, 240), 0xFF00FFu);

  rig.start();
  ASSERT_TRUE(rig.settle([&] { return screen.phase() == ScreenPhase::Intro; }));
  EXPECT_EQ(coverAndRepaint().at(0, 0), kBackground) << "running: the paint message draws";

  ASSERT_TRUE(rig.stop());
  const Frame after = coverAndRepaint();
  EXPECT_EQ(after.at(0, 0), 0xFF00FFu);
  EXPECT_EQ(after.at(320, 240), 0xFF00FFu);
}

}  // namespace
}  // namespace fyrel
