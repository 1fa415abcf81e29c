// A piece of the controller's work run on a thread of its own (the
// signature check, the steps on the game folder): the window thread starts
// it, sees on a later timer step that it has finished, and waits for it
// only at teardown. Its length depends on the disk and on the game's size,
// and the host's window must go on answering meanwhile.
#pragma once

#include <windows.h>

#include <atomic>

#include "common/unique_handle.h"

namespace fyrel {

class BackgroundStep {
 public:
  using Work = void (*)(void* context) noexcept;

  BackgroundStep() = default;
  ~BackgroundStep() { wait(); }
  BackgroundStep(const BackgroundStep&) = delete;
  BackgroundStep& operator=(const BackgroundStep&) = delete;

  // Runs work(context) on a new thread. Where the system gives no thread,
  // it runs here and now: a step that waits for a thread that never comes
  // would never end.
  void start(Work work, void* context) noexcept;
  // Started and not yet seen to finish; acquire: once false, everything
  // the work wrote is visible to the caller.
  bool running() const noexcept { return running_.load(std::memory_order_acquire); }
  // Blocks until the work has ended (teardown only).
  void wait() noexcept;

 private:
  static DWORD WINAPI threadMain(LPVOID step) noexcept;

  Work work_ = nullptr;
  void* context_ = nullptr;
  std::atomic<bool> running_{false};
  UniqueKernelHandle thread_;
};

}  // namespace fyrel
