// Counts of what this process holds, to show that nothing is left behind.
#pragma once

#include <cstddef>
#include <set>
#include <string>

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

}  // namespace fyrel::test
