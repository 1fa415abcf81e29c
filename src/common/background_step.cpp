#include "common/background_step.h"

#include "common/own_threads.h"

namespace fyrel {

void BackgroundStep::start(Work work, void* context) noexcept {
  wait();  // the last step's thread may still be on its way out
  work_ = work;
  context_ = context;
  running_.store(true, std::memory_order_release);
  thread_.reset(::CreateThread(nullptr, 0, &BackgroundStep::threadMain, this, 0, nullptr));
  if (!thread_) {
    work_(context_);
    running_.store(false, std::memory_order_release);
  }
}

DWORD WINAPI BackgroundStep::threadMain(LPVOID step) noexcept {
  auto* self = static_cast<BackgroundStep*>(step);
  {
    // Ours, not a game's: a game released while a step runs is unloaded.
    const OwnThread mark;
    self->work_(self->context_);
  }
  // The last touch of this object: the window thread acts on the outcome
  // as soon as it reads this clear.
  self->running_.store(false, std::memory_order_release);
  return 0;
}

void BackgroundStep::wait() noexcept {
  if (!thread_) return;
  ::WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}

}  // namespace fyrel
