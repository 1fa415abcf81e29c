// The threads this module runs itself (workers, the screen's refresh), so
// that a thread another module started can be told from them: a game's
// leftover thread keeps the game's module loaded, ours do not.
#pragma once

#include <windows.h>

#include <atomic>

namespace fyrel {

namespace detail {
// Far more than the workers and screens of every extension a host runs at
// once; a thread that finds no room is taken for a foreign one, which only
// keeps a game module loaded that could have gone.
constexpr int kOwnThreadRoom = 64;
inline std::atomic<DWORD> ownThreadIds[kOwnThreadRoom] = {};
}  // namespace detail

// Marks the calling thread as ours for the life of the object. Put it
// first in a thread's routine and let it go before the routine's last
// touch of its owner: a mark that is gone early only makes the thread look
// foreign.
class OwnThread {
 public:
  OwnThread() noexcept {
    const DWORD self = ::GetCurrentThreadId();
    for (auto& slot : detail::ownThreadIds) {
      DWORD empty = 0;
      if (slot.compare_exchange_strong(empty, self, std::memory_order_acq_rel)) {
        slot_ = &slot;
        return;
      }
    }
  }
  ~OwnThread() {
    if (slot_ != nullptr) slot_->store(0, std::memory_order_release);
  }
  OwnThread(const OwnThread&) = delete;
  OwnThread& operator=(const OwnThread&) = delete;

 private:
  std::atomic<DWORD>* slot_ = nullptr;
};

inline bool isOwnThread(DWORD id) noexcept {
  for (const auto& slot : detail::ownThreadIds) {
    if (slot.load(std::memory_order_acquire) == id) return true;
  }
  return false;
}

}  // namespace fyrel
