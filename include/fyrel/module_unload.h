// For modules built with MinGW-w64 g++ and the C++ runtime linked in
// statically (-static -static-libgcc -static-libstdc++), as the extension and
// the sample game are. A game module is loaded and unloaded once for every
// game the host shows, and that runtime keeps two things for the life of the
// process unless asked to give them back:
//
// - libstdc++ sets aside a pool for exceptions thrown while memory is short
//   (about 70 KB on x86_64, less on i686): one pool left in the host's heap
//   per load.
// - winpthreads (the threads library under libstdc++ and libgcc) keeps a
//   record of every thread that used it, with a duplicate of the thread's
//   handle, an event and a TLS slot of its own, and gives the record back
//   only when that thread ends. The i686 runtime makes such a record for the
//   thread that loads the module (its emulated thread-locals are set up
//   then); the host's window thread loads every game and lives on, so each
//   load left a thread handle, an event and a TLS slot behind, and the
//   process ran out of TLS slots and aborted after about 1,000 loads
//   (measured by tests/soak/module_reload_probe.cpp).
//
// Call fyrel::releaseStaticCppRuntime() from the module's DllMain on
// DLL_PROCESS_DETACH when the module is being unloaded (reserved is null),
// on the thread that unloads it; none of the module's C++ code runs after
// that.
#pragma once

#include <windows.h>

#include <cstddef>  // defines __GLIBCXX__ when the runtime is libstdc++

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
void __freeres() noexcept;
}
#endif

#if defined(__MINGW32__)
// winpthreads' TLS callback, present when winpthreads is linked into this
// module (weak: null when it is not, or when it comes from its DLL).
extern "C" PIMAGE_TLS_CALLBACK __xl_f __attribute__((weak));
extern "C" IMAGE_DOS_HEADER __ImageBase;  // this module
#endif

namespace fyrel {

inline void releaseStaticCppRuntime() noexcept {
#if defined(__GLIBCXX__)
  __gnu_cxx::__freeres();
#endif
#if defined(__MINGW32__)
  if (&__xl_f != nullptr && __xl_f != nullptr) {
    // Ends this thread's record as winpthreads does when a thread ends,
    // which closes its handle and event and clears the record's TLS slot.
    // winpthreads does not say which slot is its own: it is the one that
    // held a value before and is empty after, and it is freed here since
    // nothing of this module will use it again.
    constexpr DWORD kTlsSlots = 64 + 1024;  // TLS_MINIMUM_AVAILABLE + expansion slots
    bool held[kTlsSlots] = {};
    for (DWORD slot = 0; slot < kTlsSlots; ++slot) held[slot] = ::TlsGetValue(slot) != nullptr;
    __xl_f(&__ImageBase, DLL_THREAD_DETACH, nullptr);
    for (DWORD slot = 0; slot < kTlsSlots; ++slot) {
      if (held[slot] && ::TlsGetValue(slot) == nullptr) ::TlsFree(slot);
    }
  }
#endif
}

}  // namespace fyrel
