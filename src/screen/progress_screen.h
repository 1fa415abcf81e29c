// The loading screen drawn into the host window while a game is fetched:
// the logo sliding in and out, a localized caption with a percentage, the
// address line, and a red error line. Animated by its own refresh thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "common/unique_handle.h"
#include "screen/drawing_surface.h"
#include "screen/screen_layout.h"
#include "screen/screen_phase.h"

namespace fyrel {

class ProgressScreen {
 public:
  // Where the refresh thread reads the time; ::GetTickCount unless a test
  // needs a clock it can move (a wrap of the count, say).
  using TickSource = DWORD(WINAPI*)();

  static constexpr int kTextColor = 0xCCFF00;
  static constexpr int kErrorTextColor = 0xFF0000;
  static constexpr int kBackgroundColor = 0x333333;
  static constexpr int kHoldMs = 400;

  // Sizes its drawing surface to the window's client area and loads the
  // logo ("IDB_LOGO") and captions from moduleInstance.
  ProgressScreen(HINSTANCE moduleInstance, HWND window) noexcept;
  // Does not wait: the owner calls requestStop and polls hasFinished first.
  virtual ~ProgressScreen();
  ProgressScreen(const ProgressScreen&) = delete;
  ProgressScreen& operator=(const ProgressScreen&) = delete;

  void setLanguage(const std::string& languageCode);
  void setAddressText(const std::string& text);
  bool startRefreshThread();
  void setDownloadPercent(float percent);
  void setExtractionPercent(float percent);
  void markDownloadDone();
  void markExtractionDone();
  void markGameReady();
  void restartDownload();
  void showError(const char* message);
  void requestStop();
  bool hasFinished() const noexcept;
  void paint();

  // Replace before startRefreshThread.
  void setTickSource(TickSource source) noexcept { tickSource_ = source; }

  ScreenPhase phase() const noexcept { return static_cast<ScreenPhase>(phase_.load(std::memory_order_acquire)); }
  std::string caption() const;
  std::string percentText() const;
  std::string addressText() const;
  std::string downloadCaption() const;
  std::string extractionCaption() const;
  int textColor() const noexcept { return textColor_.load(std::memory_order_acquire); }
  float introProgress() const noexcept { return introProgress_.load(std::memory_order_acquire); }
  float outroProgress() const noexcept { return outroProgress_.load(std::memory_order_acquire); }
  int holdCountdown() const noexcept { return holdCountdown_.load(std::memory_order_acquire); }
  HBITMAP logo() const noexcept { return logo_.get(); }
  // For measuring the thread's CPU time; null before the first start.
  HANDLE refreshThreadHandle() const noexcept { return refreshThread_.get(); }
  const DrawingSurface& surface() const noexcept { return surface_; }
  // Frames drawn so far, by the refresh thread and by the paint message:
  // what a test counts to see that unchanged frames are not drawn again.
  std::uint32_t framesDrawn() const noexcept { return framesDrawn_.load(std::memory_order_acquire); }

 private:
  static DWORD WINAPI refreshProcedure(LPVOID screen);
  void runRefreshLoop();
  void refreshStep();
  void paintFromRefreshThread();
  // What the next frame would show; expects textLock_ held.
  FrameContent frameContentLocked() const;
  // Whether the window has a part waiting for its paint message, which a
  // busy window thread may not deliver for a while.
  bool windowAwaitsPaint() const noexcept;
  void drawFrame(HDC windowDc);
  void drawFrameLocked(HDC windowDc, FrameContent content);
  // Redraws and copies the caption line's band alone: the rest of the
  // frame in the window is the last one drawn.
  void drawCaptionBandLocked(HDC windowDc, FrameContent content);

  // The *Locked operations expect textLock_ held.
  void setPhaseLocked(ScreenPhase phase, const std::string& caption);
  void setPercentTextLocked(int percent);
  void advanceLocked();
  // One step of a slide (intro or outro): moves `progress` on by the time
  // that has passed; at the end it raises `done` and moves the screen on.
  void slideLocked(std::atomic<float>& progress, std::atomic<bool>& done, std::uint32_t elapsed);
  // One step of a stage (download or extraction): moves on once `done` is
  // raised, else shows `percent`.
  void followStageLocked(const std::atomic<bool>& done, const std::atomic<float>& percent);

  UniqueKernelHandle refreshThread_;
  HWND window_;
  HINSTANCE moduleInstance_;
  UniqueBitmap logo_;
  DrawingSurface surface_;

  // Flags and progress values are written whole by one thread and read by
  // the other. Writers publish with release and readers acquire; running is
  // cleared by the refresh thread as its very last act.
  std::atomic<bool> running_{false};
  std::atomic<bool> introDone_{false};
  std::atomic<bool> downloadDone_{false};
  std::atomic<bool> extractionDone_{false};
  std::atomic<bool> gameReady_{false};
  std::atomic<bool> outroDone_{false};
  std::atomic<float> introProgress_{0.0f};
  std::atomic<float> outroProgress_{0.0f};
  std::atomic<float> downloadPercent_{0.0f};
  std::atomic<float> extractionPercent_{0.0f};
  std::atomic<int> holdCountdown_{kHoldMs};
  std::atomic<int> phase_{static_cast<int>(ScreenPhase::Idle)};
  std::atomic<int> textColor_{kTextColor};
  std::uint32_t lastTick_ = 0;  // refresh thread only, once started
  TickSource tickSource_ = ::GetTickCount;

  // One lock for every text, the surface and every multi-field change of
  // the screen: the text setters, the refresh step, the phase changes and
  // paint all take it, so a paint never reads a text while it is replaced,
  // two paints never share the surface, and an error or a stop cannot be
  // overwritten by a phase walk that was already under way.
  mutable std::mutex textLock_;
  std::string downloadCaption_ = "Downloading";
  std::string extractionCaption_ = "Extracting";
  std::string addressText_ = "www.fyrel.example";
  std::string caption_;
  std::string percentText_;
  // The content of the last frame drawn, valid once one was drawn.
  FrameContent lastFrame_;
  bool frameDrawn_ = false;
  int stepsSinceWindowAsked_ = 0;  // refresh thread only
  std::atomic<std::uint32_t> framesDrawn_{0};
};

}  // namespace fyrel
