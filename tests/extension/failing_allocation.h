// Makes one allocation fail, as it does when memory runs out: this test
// executable replaces the global operator new. Only the code linked into the
// executable (the extension's core library) is affected, not the DLL.
#pragma once

namespace fyrel::test {

// The next operator new on the calling thread throws std::bad_alloc.
void failNextAllocationOnThisThread();
// The nth operator new on the calling thread from now on throws (1: the
// next); 0 disarms it.
void failAllocationOnThisThread(int nth);

}  // namespace fyrel::test
