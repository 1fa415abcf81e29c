#include "extension/game_threads.h"

#include <tlhelp32.h>  // after windows.h, which it relies on

#include "common/thread_start.h"
#include "common/unique_handle.h"

namespace fyrel {

bool threadStartedInModuleRuns(HMODULE module) noexcept {
  if (module == nullptr) return false;
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const unsigned char* end = base + nt->OptionalHeader.SizeOfImage;

  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return false;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  const DWORD process = ::GetCurrentProcessId();
  for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID != process || entry.th32ThreadID == ::GetCurrentThreadId()) continue;
    UniqueKernelHandle thread(::OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
    if (!thread) continue;
    const auto* start = static_cast<const unsigned char*>(threadStartAddress(thread.get()));
    if (start < base || start >= end) continue;
    DWORD exitCode = 0;
    if (::GetExitCodeThread(thread.get(), &exitCode) && exitCode == STILL_ACTIVE) return true;
  }
  return false;
}

}  // namespace fyrel
