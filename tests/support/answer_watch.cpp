#include "support/answer_watch.h"

#include <algorithm>

namespace fyrel::test {

AnswerWatch::AnswerWatch(HWND window) : window_(window) {
  ::QueryPerformanceFrequency(&frequency_);
  ::QueryPerformanceCounter(&start_);
  thread_.reset(::CreateThread(nullptr, 0, &AnswerWatch::threadMain, this, 0, nullptr));
}

AnswerWatch::~AnswerWatch() {
  stop_.store(true, std::memory_order_release);
  // The window thread destroys the watch and pumps no more: a probe under
  // way gives up within its 200 ms timeout and sees the stop.
  if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
}

double AnswerWatch::sinceStartMs() const {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 / static_cast<double>(frequency_.QuadPart);
}

double AnswerWatch::longestAnswerMs(double fromMs, double toMs) const {
  std::lock_guard<std::mutex> lock(lock_);
  double longest = 0;
  for (const Probe& probe : probes_)
    if (probe.sentMs >= fromMs && probe.sentMs < toMs) longest = std::max(longest, probe.answerMs);
  return longest;
}

std::vector<AnswerWatch::Probe> AnswerWatch::probes() const {
  std::lock_guard<std::mutex> lock(lock_);
  return probes_;
}

DWORD WINAPI AnswerWatch::threadMain(LPVOID watch) noexcept {
  static_cast<AnswerWatch*>(watch)->run();
  return 0;
}

void AnswerWatch::run() {
  while (!stop_.load(std::memory_order_acquire)) {
    const double sent = sinceStartMs();
    DWORD_PTR result = 0;
    // Abort-if-hung is not asked for: a busy thread is what is measured.
    // A probe is sent in 200 ms pieces so that a stop ends the watch; the
    // sent messages are answered in order, so the piece answered last
    // marks the end of the whole wait.
    const LRESULT answered = ::SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, 200, &result);
    if (answered == 0 && stop_.load(std::memory_order_acquire)) break;
    if (answered != 0) {
      std::lock_guard<std::mutex> lock(lock_);
      probes_.push_back({sent, sinceStartMs() - sent});
    } else {
      for (;;) {
        if (::SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, 200, &result) != 0) {
          std::lock_guard<std::mutex> lock(lock_);
          probes_.push_back({sent, sinceStartMs() - sent});
          break;
        }
        if (stop_.load(std::memory_order_acquire) || !::IsWindow(window_)) return;
      }
    }
    ::Sleep(20);
  }
}

}  // namespace fyrel::test
