// Where a thread of this process started: the address its creator gave as
// the thread's start routine.
#pragma once

#include <windows.h>

#include "common/proc_address.h"

namespace fyrel {

// Null when it cannot be told. The thread handle needs
// THREAD_QUERY_INFORMATION. A thread started through the C runtime's
// _beginthreadex (std::thread, winpthreads) starts in the runtime's DLL,
// not in the module whose routine it runs.
inline void* threadStartAddress(HANDLE thread) noexcept {
  using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  constexpr int kThreadQuerySetWin32StartAddress = 9;
  static const auto query = procAddress<QueryThread>(::GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread");
  void* start = nullptr;
  if (thread == nullptr || query == nullptr ||
      query(thread, kThreadQuerySetWin32StartAddress, &start, sizeof start, nullptr) != 0)
    return nullptr;
  return start;
}

}  // namespace fyrel
