// How long a window's thread takes to answer: a watchdog thread sends the
// window WM_NULL every 20 ms and times each answer, as a host's own
// watchdog would to learn that its window has stopped answering.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "common/unique_handle.h"

namespace fyrel::test {

class AnswerWatch {
 public:
  // One probe: when it was sent and how long the answer took, both in ms
  // from the watch's start.
  struct Probe {
    double sentMs;
    double answerMs;
  };

  explicit AnswerWatch(HWND window);
  ~AnswerWatch();  // stops and waits for the watchdog
  AnswerWatch(const AnswerWatch&) = delete;
  AnswerWatch& operator=(const AnswerWatch&) = delete;

  double sinceStartMs() const;
  // The longest answer to a probe sent in [fromMs, toMs); 0 when none.
  double longestAnswerMs(double fromMs = 0, double toMs = 1e300) const;
  std::vector<Probe> probes() const;

 private:
  static DWORD WINAPI threadMain(LPVOID watch) noexcept;
  void run();

  HWND window_;
  LARGE_INTEGER start_{};
  LARGE_INTEGER frequency_{};
  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  std::vector<Probe> probes_;
  UniqueKernelHandle thread_;
};

}  // namespace fyrel::test
