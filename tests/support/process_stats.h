// Counts of what this process holds, to show that nothing is left behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fyrel::test {

int threadCount();  // threads of this process
// One line per thread of this process: its id and the module its start
// address lies in, for failure messages.
std::string describeThreads();
// Threads that run our code, the test's or the game's: those that did not
// start in a system DLL, and those started through the C runtime. The
// platform's own helper threads (WinINet's connection collector, say) come
// and go on their own schedule and are not counted.
int threadCountOutsideSystem();
int handleCount();  // open kernel handles of this process
// One entry per open handle of this process: its object type and, where it
// has one, the object's name ("Key \\REGISTRY\\MACHINE\\...", "Event"), so two
// listings tell which handles a stretch of work left open.
std::multiset<std::string> describeHandles();
// What `after` holds beyond `before`, one line per kind: "+3 Event".
std::string handlesGained(const std::multiset<std::string>& before, const std::multiset<std::string>& after);
std::size_t privateBytes();  // committed private memory
// Bytes in blocks in use on every heap of the process (the process heap, the
// C runtimes' heaps, any other). It tells a leak (this grows) from a heap
// that only holds on to freed space (private memory grows, this does not).
std::size_t heapBytesInUse();

// Memory straight from the system, for records of the heaps that must not
// change the heaps they record.
void* allocatePages(std::size_t bytes);
void freePages(void* pages) noexcept;
template <class T>
struct PageAllocator {
  using value_type = T;
  PageAllocator() = default;
  template <class U>
  PageAllocator(const PageAllocator<U>&) {}
  T* allocate(std::size_t count) { return static_cast<T*>(allocatePages(count * sizeof(T))); }
  void deallocate(T* pages, std::size_t) noexcept { freePages(pages); }
  bool operator==(const PageAllocator&) const { return true; }
  bool operator!=(const PageAllocator&) const { return false; }
};

// The blocks in use on every heap of the process: address and size, in the
// order of their addresses.
using HeapBlocks =
    std::vector<std::pair<std::uintptr_t, std::size_t>, PageAllocator<std::pair<std::uintptr_t, std::size_t>>>;
HeapBlocks heapBlocksInUse();
// The blocks in `after` that `before` does not hold, by size, largest count
// first: "100 x 480 bytes, 100 x 24 bytes".
std::string heapBlocksGained(const HeapBlocks& before, const HeapBlocks& after);

}  // namespace fyrel::test
