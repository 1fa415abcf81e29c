#include "extension/failing_allocation.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<DWORD> failingThread{0};   // 0: no allocation is to fail
std::atomic<DWORD> countingThread{0};  // failAllocationOnThisThread's thread
std::atomic<int> allocationsLeft{0};   // its countdown; the one that reaches 0 fails
}  // namespace

namespace fyrel::test {
void failNextAllocationOnThisThread() { failingThread.store(::GetCurrentThreadId()); }
void failAllocationOnThisThread(int nth) {
  countingThread.store(0);
  allocationsLeft.store(nth);
  if (nth > 0) countingThread.store(::GetCurrentThreadId());
}
}  // namespace fyrel::test

void* operator new(std::size_t size) {
  DWORD thread = ::GetCurrentThreadId();
  if (failingThread.load() == thread && failingThread.compare_exchange_strong(thread, 0)) throw std::bad_alloc();
  if (countingThread.load() == thread && --allocationsLeft == 0) {
    countingThread.store(0);
    throw std::bad_alloc();
  }
  if (size == 0) size = 1;
  for (;;) {
    if (void* memory = std::malloc(size)) return memory;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
