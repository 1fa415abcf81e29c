#include "extension/game_threads.h"

#include <tlhelp32.h>  // after windows.h, which it relies on

#include <algorithm>

#include "common/own_threads.h"
#include "common/thread_start.h"
#include "common/unique_handle.h"

namespace fyrel {
namespace {

bool earlier(const FILETIME& a, const FILETIME& b) noexcept { return ::CompareFileTime(&a, &b) < 0; }

// Calls visit(id) for each thread of this process, the caller's excepted;
// false when the threads cannot be listed.
template <typename Visit>
bool forEachOtherThread(Visit visit) {
  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return false;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  const DWORD process = ::GetCurrentProcessId();
  const DWORD self = ::GetCurrentThreadId();
  for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == process && entry.th32ThreadID != self && !visit(entry.th32ThreadID)) break;
  }
  return true;
}

}  // namespace

void ThreadsBeforeGame::take() noexcept {
  ids_.clear();
  ::GetSystemTimeAsFileTime(&takenAt_);
  try {
    const bool listed = forEachOtherThread([this](DWORD id) {
      ids_.push_back(id);
      return true;
    });
    if (!listed) ids_.clear();
    std::sort(ids_.begin(), ids_.end());
  } catch (...) {
    ids_.clear();  // out of memory: every thread counts as started since
  }
}

bool ThreadsBeforeGame::existed(DWORD id, const FILETIME& created) const noexcept {
  // A thread id may be used again: one that ended before the load and a
  // game's thread started after it can share it, and the creation time
  // tells them apart.
  return std::binary_search(ids_.begin(), ids_.end(), id) && !earlier(takenAt_, created);
}

bool gameThreadRuns(HMODULE module, const ThreadsBeforeGame& before) noexcept {
  if (module == nullptr) return false;
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const unsigned char* end = base + nt->OptionalHeader.SizeOfImage;

  bool runs = false;
  const bool listed = forEachOtherThread([&](DWORD id) {
    UniqueKernelHandle thread(::OpenThread(THREAD_QUERY_INFORMATION, FALSE, id));
    // A thread that cannot be looked at may be the game's: kept, as one
    // that runs.
    DWORD exitCode = STILL_ACTIVE;
    if (thread && ::GetExitCodeThread(thread.get(), &exitCode) && exitCode != STILL_ACTIVE) return true;
    const auto* start = thread ? static_cast<const unsigned char*>(threadStartAddress(thread.get())) : nullptr;
    const bool inModule = start >= base && start < end;
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    const bool timed = thread && ::GetThreadTimes(thread.get(), &created, &exited, &kernel, &user);
    const bool startedSince = !timed || !before.existed(id, created);
    runs = inModule || (startedSince && !isOwnThread(id));
    return !runs;
  });
  // Threads that cannot be listed may include the game's.
  return runs || !listed;
}

}  // namespace fyrel
