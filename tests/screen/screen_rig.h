// A progress screen on a real test window, on a clock the test moves, and
// frames read back from the window.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "screen/progress_screen.h"
#include "support/test_window.h"

namespace fyrel::test {

// The screen's tick source in these tests: stands still until moved.
class FakeClock {
 public:
  static DWORD WINAPI now();
  static void set(DWORD ticks);
  static void advance(DWORD milliseconds);

 private:
  static std::atomic<DWORD> ticks_;
};

// Pixels of a window's client area (or of any DC), read back once.
class Frame {
 public:
  static Frame ofWindow(HWND window);
  static Frame ofDc(HDC dc, int width, int height);
  static Frame ofBitmap(HBITMAP bitmap);

  int width() const { return width_; }
  int height() const { return height_; }
  std::uint32_t at(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }  // 0xRRGGBB
  // Whether `part` appears unchanged with its top-left corner at (x, y)
  // (rows outside this frame are skipped).
  bool contains(const Frame& part, int x, int y) const;
  // Rows and columns of pixels of exactly this colour within a band of rows.
  struct Extent {
    int count = 0, top = -1, bottom = -1, left = -1, right = -1;
  };
  Extent find(std::uint32_t rgb, int firstRow, int lastRow) const;
  // Writes <build>/snapshots/screen/<name>.png.
  void saveSnapshot(const std::string& name) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint32_t> pixels_;
};

// One 640 x 480 window for all tests of the executable: making and
// destroying a window costs Wine seconds without a window manager.
TestWindow& sharedWindow();

// A screen on the shared window, whose paint message draws the screen as
// the extension's message routing does.
class ScreenRig {
 public:
  explicit ScreenRig(DWORD startTicks = 1000000);
  ~ScreenRig();

  ProgressScreen& screen() { return *screen_; }
  HWND hwnd() const { return window_.hwnd(); }
  // Starts the refresh thread with the fake clock standing at startTicks.
  void start();
  // Pumps messages until the screen satisfies done (at most 5 s), then for
  // a few more steps so the frames painted since show that state.
  bool settle(const std::function<bool()>& done);
  // Stops the screen and waits for its thread.
  bool stop();

 private:
  TestWindow& window_;
  std::unique_ptr<ProgressScreen> screen_;
};

}  // namespace fyrel::test
