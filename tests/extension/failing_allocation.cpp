#include "extension/failing_allocation.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<DWORD> failingThread{0};  // 0: no allocation is to fail
}  // namespace

namespace fyrel::test {
void failNextAllocationOnThisThread() { failingThread.store(::GetCurrentThreadId()); }
}  // namespace fyrel::test

void* operator new(std::size_t size) {
  DWORD thread = ::GetCurrentThreadId();
  if (failingThread.load() == thread && failingThread.compare_exchange_strong(thread, 0)) throw std::bad_alloc();
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
