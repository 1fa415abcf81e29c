// The refresh thread: animates the screen by the time that has passed,
// follows the controller's percentages, moves the screen on when a stage
// has ended, and paints a frame about every 10 ms.
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

void ProgressScreen::paintFromRefreshThread() {
  WindowDC dc(window_);
  if (dc.get() != nullptr) drawFrame(dc.get());
}

}  // namespace fyrel
