#include "support/process_stats.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>

#include "common/unique_handle.h"

namespace fyrel::test {

int threadCount() {
  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return -1;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  int count = 0;
  const DWORD self = ::GetCurrentProcessId();
  for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == self) ++count;
  }
  return count;
}

std::string describeThreads() {
  using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<QueryThread>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return {};
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  std::string text;
  const DWORD self = ::GetCurrentProcessId();
  for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID != self) continue;
    void* start = nullptr;
    UniqueKernelHandle thread(::OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
    if (thread && query) query(thread.get(), 9 /* ThreadQuerySetWin32StartAddress */, &start, sizeof start, nullptr);
    char module[MAX_PATH] = "?";
    HMODULE owner = nullptr;
    if (start && ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                      static_cast<LPCSTR>(start), &owner))
      ::GetModuleFileNameA(owner, module, MAX_PATH);
    char line[MAX_PATH + 64];
    std::snprintf(line, sizeof line, "thread %lu start %p in %s\n", entry.th32ThreadID, start, module);
    text += line;
  }
  return text;
}

int handleCount() {
  DWORD count = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &count);
  return static_cast<int>(count);
}

std::size_t privateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
  return counters.PrivateUsage;
}

}  // namespace fyrel::test
