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
//   (measured by tests/soak/module_reload_test.cpp).
//
// Call fyrel::releaseStaticCppRuntime() from the module's DllMain on
// DLL_PROCESS_DETACH when the module is being unloaded (reserved is null),
// on whichever thread unloads it. The unloading thread need not be one that
// loaded or used the module (a worker that held the last reference, say):
// the records winpthreads keeps for the other threads of the process are
// released as well.
//
// What it cannot give back: winpthreads keeps the memory of every record it
// ends in a list for reuse, and the function that would free that list at
// unload returns at once (free_pthread_mem in winpthreads' thread.c). A load
// therefore leaves a record for each thread that used winpthreads in the
// module (184 bytes on i686, 480 on x86_64) and a lock or two of its own (20
// or 24 bytes each) in the heap: a few hundred bytes a load.
//
// The runtime runs the module's static destructors after DllMain returns,
// so they run after this call: they must not start or join a thread, throw,
// or touch a thread_local, since the record any of these makes then keeps
// its thread handle and event for the life of the process.
#pragma once

#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstddef>  // defines __GLIBCXX__ when the runtime is libstdc++

#if defined(__MINGW32__) && __has_include(<pthread.h>)
#include <pthread.h>
#define FYREL_HAS_WINPTHREADS 1
#endif

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
void __freeres() noexcept;
}
#endif

#if defined(FYREL_HAS_WINPTHREADS)
// winpthreads' TLS callback, present when winpthreads is linked into this
// module (weak: null when it is not, or when it comes from its DLL).
extern "C" PIMAGE_TLS_CALLBACK __xl_f __attribute__((weak));
extern "C" IMAGE_DOS_HEADER __ImageBase;  // this module
#endif

namespace fyrel {

#if defined(FYREL_HAS_WINPTHREADS)
namespace unload_detail {

constexpr DWORD kTlsSlots = 64 + 1024;  // TLS_MINIMUM_AVAILABLE + expansion slots

// Where another thread of this process keeps the value of a TLS slot: its
// TEB, as winternl.h lays it out. Null when it cannot be told.
inline void** otherThreadTlsCell(HANDLE thread, DWORD slot) noexcept {
  struct BasicInformation {
    LONG exitStatus;
    TEB* teb;
    void* clientId[2];
    ULONG_PTR affinityMask;
    LONG priority;
    LONG basePriority;
  };
  using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  constexpr int kThreadBasicInformation = 0;
  auto query = reinterpret_cast<QueryThread>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
  BasicInformation info = {};
  if (query == nullptr || query(thread, kThreadBasicInformation, &info, sizeof info, nullptr) != 0 ||
      info.teb == nullptr)
    return nullptr;
  if (slot < 64) return &info.teb->TlsSlots[slot];
  auto** expansion = static_cast<void**>(info.teb->TlsExpansionSlots);
  return expansion != nullptr ? &expansion[slot - 64] : nullptr;
}

// Ends the record winpthreads keeps in slot for every other thread of the
// process, as it would when that thread ends: each record is put in this
// thread's cell for the callback to find.
inline void releaseOtherThreadsRecords(DWORD slot) noexcept {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  const DWORD process = ::GetCurrentProcessId();
  const DWORD self = ::GetCurrentThreadId();
  for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != process || entry.th32ThreadID == self) continue;
    HANDLE thread = ::OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
    if (thread == nullptr) continue;
    void** cell = otherThreadTlsCell(thread, slot);
    ::CloseHandle(thread);
    void* record = cell != nullptr ? *cell : nullptr;
    if (record == nullptr) continue;
    *cell = nullptr;  // that thread no longer holds it
    ::TlsSetValue(slot, record);
    __xl_f(&__ImageBase, DLL_THREAD_DETACH, nullptr);
  }
  ::CloseHandle(snapshot);
}

}  // namespace unload_detail
#endif

inline void releaseStaticCppRuntime() noexcept {
#if defined(__GLIBCXX__)
  __gnu_cxx::__freeres();
#endif
#if defined(FYREL_HAS_WINPTHREADS)
  if (&__xl_f != nullptr && __xl_f != nullptr) {
    // winpthreads does not say which TLS slot is its own: it is the one
    // that held a value before this thread's record ends and is empty
    // after. This thread is given a record first, so that there is one.
    pthread_self();
    bool held[unload_detail::kTlsSlots] = {};
    for (DWORD slot = 0; slot < unload_detail::kTlsSlots; ++slot) held[slot] = ::TlsGetValue(slot) != nullptr;
    // Ends this thread's record as winpthreads does when a thread ends,
    // which closes its handle and event and clears its cell.
    __xl_f(&__ImageBase, DLL_THREAD_DETACH, nullptr);
    for (DWORD slot = 0; slot < unload_detail::kTlsSlots; ++slot) {
      if (!held[slot] || ::TlsGetValue(slot) != nullptr) continue;
      // The threads still running keep their records in that slot too: the
      // thread that loaded the module, and those that called into it. None
      // runs the module's code now, or unloading it would be their end.
      unload_detail::releaseOtherThreadsRecords(slot);
      // Nothing of this module will use the slot again.
      ::TlsFree(slot);
    }
  }
#endif
}

}  // namespace fyrel
