// The refresh thread: animates the screen by the time that has passed,
// follows the controller's percentages, moves the screen on when a stage
// has ended, and paints a frame when it differs from the last one drawn.
//
// It paints through the window's DC (GetDC), not BeginPaint. BeginPaint on a
// thread that does not own the window sends WM_NCPAINT and WM_ERASEBKGND to
// the owner and waits for them whenever a frame or erase is pending (after
// the window was uncovered or moved, say); an owner that is just then
// sleeping in its 10 ms polls for hasFinished never answers, and both
// threads wait for ever. GetDC sends nothing, so frames go on while the
// window's thread is busy (checking the signature, loading the game), and
// the window's own paint message (ProgressScreen::paint) only has to redraw
// what was uncovered.
#include <climits>
#include <cstdint>

#include "common/own_threads.h"
#include "screen/progress_screen.h"
#include "screen/screen_layout.h"
#include "screen/screen_phases.h"

namespace fyrel {

namespace {
constexpr float kProgressEnd = 100.0f;
constexpr DWORD kStepPauseMs = 10;
constexpr int kStepsPerWindowQuery = 5;
}  // namespace

bool ProgressScreen::startRefreshThread() {
  if (running_.load(std::memory_order_acquire)) return false;
  // The intro begins here, not on the new thread: an error shown or a stop
  // requested before that thread first runs must not be overwritten by it.
  bool enteredIntro = false;
  {
    std::lock_guard<std::mutex> lock(textLock_);
    if (phase() == ScreenPhase::Idle) {
      setPhaseLocked(ScreenPhase::Intro, std::string());
      enteredIntro = true;
    }
  }
  // Both hold before the thread's first step.
  lastTick_ = tickSource_();
  running_.store(true, std::memory_order_release);
  HANDLE thread = ::CreateThread(nullptr, 0, &ProgressScreen::refreshProcedure, this, 0, nullptr);
  if (thread == nullptr) {
    running_.store(false, std::memory_order_release);
    std::lock_guard<std::mutex> lock(textLock_);
    if (enteredIntro && phase() == ScreenPhase::Intro) setPhaseLocked(ScreenPhase::Idle, std::string());
    return false;
  }
  // A thread started after an earlier one ended replaces its handle.
  refreshThread_.reset(thread);
  // Not `running`: a stop requested before the start may already have
  // ended the thread again.
  return true;
}

DWORD WINAPI ProgressScreen::refreshProcedure(LPVOID screen) {
  static_cast<ProgressScreen*>(screen)->runRefreshLoop();
  return 0;
}

void ProgressScreen::runRefreshLoop() {
  {
    const OwnThread mark;
    while (phase() != ScreenPhase::Stopped) {
      refreshStep();
      paintFromRefreshThread();
      ::Sleep(kStepPauseMs);
    }
  }
  // The last touch of the screen: the owner may destroy it as soon as it
  // sees this.
  running_.store(false, std::memory_order_release);
}

void ProgressScreen::refreshStep() {
  std::lock_guard<std::mutex> lock(textLock_);
  const std::uint32_t elapsed = ticksBetween(lastTick_, tickSource_());
  switch (phase()) {
    case ScreenPhase::Intro:
      slideLocked(introProgress_, introDone_, elapsed);
      break;
    case ScreenPhase::Downloading:
      followStageLocked(downloadDone_, downloadPercent_);
      break;
    case ScreenPhase::Extracting:
      followStageLocked(extractionDone_, extractionPercent_);
      break;
    case ScreenPhase::Hold: {
      // Falls on while the game is not ready; held at INT_MIN rather than
      // wrapping to a large positive count after weeks.
      const std::int64_t countdown = static_cast<std::int64_t>(holdCountdown()) - elapsed;
      holdCountdown_.store(countdown < INT_MIN ? INT_MIN : static_cast<int>(countdown), std::memory_order_release);
      if (countdown < 0 && gameReady_.load(std::memory_order_acquire)) advanceLocked();
      break;
    }
    case ScreenPhase::Outro:
      slideLocked(outroProgress_, outroDone_, elapsed);
      break;
    case ScreenPhase::Error:
      // A logo still sliding in when the error came goes on to the centre,
      // and may pass it by up to one step's worth.
      if (introProgress() < kProgressEnd) {
        introProgress_.store(addSlideProgress(introProgress(), elapsed), std::memory_order_release);
      }
      break;
    case ScreenPhase::Idle:
    case ScreenPhase::Stopped:
      break;
  }
  lastTick_ += elapsed;
}

void ProgressScreen::slideLocked(std::atomic<float>& progress, std::atomic<bool>& done, std::uint32_t elapsed) {
  const float moved = addSlideProgress(progress.load(std::memory_order_acquire), elapsed);
  if (moved < kProgressEnd) {
    progress.store(moved, std::memory_order_release);
    return;
  }
  progress.store(kProgressEnd, std::memory_order_release);
  done.store(true, std::memory_order_release);
  advanceLocked();
}

void ProgressScreen::followStageLocked(const std::atomic<bool>& done, const std::atomic<float>& percent) {
  if (done.load(std::memory_order_acquire)) {
    advanceLocked();
  } else {
    setPercentTextLocked(shownPercent(percent.load(std::memory_order_acquire)));
  }
}

// A step costs a frame only when the frame would differ from the one in
// the window: while a download crawls, most steps change nothing, and a
// frame (fill, logo, two texts, a copy of the whole surface) is most of
// what the screen spends. A window that lost part of its picture asks for
// a paint; that is drawn here too, as its own thread may be busy.
void ProgressScreen::paintFromRefreshThread() {
  std::lock_guard<std::mutex> lock(textLock_);
  FrameContent content = frameContentLocked();
  // Asking the window costs a call into the window system, more than the
  // rest of an idle step: every fifth step, so an uncovered window is drawn
  // again within 50 ms.
  const bool windowAsked = ++stepsSinceWindowAsked_ >= kStepsPerWindowQuery && windowAwaitsPaint();
  if (stepsSinceWindowAsked_ >= kStepsPerWindowQuery) stepsSinceWindowAsked_ = 0;
  if (frameDrawn_ && content == lastFrame_ && !windowAsked) return;
  // While a stage runs, the percentage is all that changes: its band is
  // a twentieth of the frame.
  const bool captionOnly = frameDrawn_ && !windowAsked && content.logoY == lastFrame_.logoY &&
                           content.textColor == lastFrame_.textColor && content.addressText == lastFrame_.addressText &&
                           captionBandIsClear(surface_.height(), content.logoY, bitmapSize(logo_.get()).height);
  WindowDC dc(window_);
  if (dc.get() == nullptr) return;
  if (captionOnly) {
    drawCaptionBandLocked(dc.get(), std::move(content));
  } else {
    drawFrameLocked(dc.get(), std::move(content));
  }
}

bool ProgressScreen::windowAwaitsPaint() const noexcept {
  // Only reads the window's update region: sends nothing to its thread.
  return ::GetUpdateRect(window_, nullptr, FALSE) != FALSE;
}

}  // namespace fyrel
