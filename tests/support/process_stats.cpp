#include "support/process_stats.h"

#include <windows.h>
// after windows.h, which they rely on
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "common/proc_address.h"
#include "common/thread_start.h"
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

namespace {

struct ThreadInfo {
  DWORD id;
  std::string module;  // where the thread started; "?" when unknown
};

// The file of the module whose code the thread started in; "?" when unknown.
std::string startModule(HANDLE thread) {
  void* start = threadStartAddress(thread);
  char module[MAX_PATH] = "?";
  HMODULE owner = nullptr;
  if (start &&
      ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(start), &owner))
    ::GetModuleFileNameA(owner, module, MAX_PATH);
  return module;
}

std::vector<ThreadInfo> processThreads() {
  std::vector<ThreadInfo> threads;
  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return threads;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  const DWORD self = ::GetCurrentProcessId();
  for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID != self) continue;
    UniqueKernelHandle thread(::OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
    threads.push_back({entry.th32ThreadID, startModule(thread.get())});
  }
  return threads;
}

}  // namespace

std::string describeThreads() {
  std::string text;
  for (const ThreadInfo& thread : processThreads())
    text += "thread " + std::to_string(thread.id) + " started in " + thread.module + "\n";
  return text;
}

int threadCountOutsideSystem() {
  char system[MAX_PATH] = {};
  ::GetSystemDirectoryA(system, MAX_PATH);
  const std::string prefix = system;
  const std::string runtime = prefix + "\\msvcrt.dll";
  int count = 0;
  for (const ThreadInfo& thread : processThreads()) {
    // Threads started with the C runtime's _beginthreadex (the extraction
    // worker) begin in msvcrt.dll: they run our code and count.
    const bool inSystem = _strnicmp(thread.module.c_str(), prefix.c_str(), prefix.size()) == 0;
    count += !inSystem || _stricmp(thread.module.c_str(), runtime.c_str()) == 0;
  }
  return count;
}

namespace {

// The handles of this process, from the system-wide handle list. Wine
// answers GetProcessHandleCount with 0; the list, filtered by our process
// id, holds the same handles there.
std::vector<HANDLE> processHandles() {
  std::vector<HANDLE> handles;
  struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    void* object;
    ULONG access;
  };
  struct HandleList {
    ULONG count;
    HandleEntry entries[1];
  };
  using QuerySystemInformation = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
  constexpr int kSystemHandleInformation = 16;
  auto query = procAddress<QuerySystemInformation>(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
  if (query == nullptr) return handles;
  std::vector<unsigned char> buffer(1 << 16);
  ULONG needed = 0;
  LONG status;
  while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
         static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) return handles;
  const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
  const DWORD self = ::GetCurrentProcessId();
  for (ULONG i = 0; i < list->count; ++i) {
    if (list->entries[i].ownerPid == self)
      handles.push_back(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(list->entries[i].value)));
  }
  return handles;
}

// NtQueryObject's answer for one handle: a UNICODE_STRING at the start of
// the buffer (the type's or the object's name).
std::string objectText(HANDLE handle, int infoClass) {
  using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto query = procAddress<QueryObject>(::GetModuleHandleA("ntdll.dll"), "NtQueryObject");
  if (query == nullptr) return "?";
  alignas(8) unsigned char buffer[4096] = {};
  if (query(handle, infoClass, buffer, sizeof buffer - 2, nullptr) != 0) return "?";
  const auto* text = reinterpret_cast<const UNICODE_STRING*>(buffer);
  if (text->Buffer == nullptr || text->Length == 0) return "";
  char narrow[1024] = {};
  ::WideCharToMultiByte(CP_UTF8, 0, text->Buffer, text->Length / 2, narrow, sizeof narrow - 1, nullptr, nullptr);
  return narrow;
}

// Where the thread behind a thread handle started, and whether it has ended.
std::string threadOrigin(HANDLE thread) {
  const std::string module = startModule(thread);
  const std::size_t base = module.rfind('\\');
  DWORD exitCode = 0;
  const bool ended = ::GetExitCodeThread(thread, &exitCode) && exitCode != STILL_ACTIVE;
  return std::string("started in ") + (base == std::string::npos ? module : module.substr(base + 1)) +
         (ended ? ", ended" : ", running");
}

}  // namespace

int handleCount() {
  DWORD count = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) return static_cast<int>(count);
  const std::vector<HANDLE> handles = processHandles();
  return handles.empty() ? -1 : static_cast<int>(handles.size());
}

std::multiset<std::string> describeHandles() {
  constexpr int kObjectNameInformation = 1;
  constexpr int kObjectTypeInformation = 2;
  std::multiset<std::string> described;
  for (HANDLE handle : processHandles()) {
    std::string line = objectText(handle, kObjectTypeInformation);
    const std::string name = objectText(handle, kObjectNameInformation);
    if (!name.empty()) line += " " + name;
    if (line == "Thread") line += " " + threadOrigin(handle);
    described.insert(line);
  }
  return described;
}

std::string handlesGained(const std::multiset<std::string>& before, const std::multiset<std::string>& after) {
  std::string text;
  for (auto it = after.begin(); it != after.end(); it = after.upper_bound(*it)) {
    const long long gained = static_cast<long long>(after.count(*it)) - static_cast<long long>(before.count(*it));
    if (gained > 0) text += "+" + std::to_string(gained) + " " + *it + "\n";
  }
  return text;
}

std::size_t privateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  if (counters.PrivateUsage != 0) return counters.PrivateUsage;
  // Wine leaves PrivateUsage at 0: add up the committed private regions of
  // the address space, which is what the counter stands for.
  std::size_t total = 0;
  MEMORY_BASIC_INFORMATION region = {};
  for (const char* address = nullptr; ::VirtualQuery(address, &region, sizeof region) == sizeof region;
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    if (static_cast<const char*>(region.BaseAddress) + region.RegionSize <= address) break;  // wrapped
  }
  return total;
}

}  // namespace fyrel::test

namespace fyrel::test {

void* allocatePages(std::size_t bytes) {
  void* pages = ::VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (pages == nullptr) throw std::bad_alloc();
  return pages;
}

void freePages(void* pages) noexcept { ::VirtualFree(pages, 0, MEM_RELEASE); }

namespace {

// Calls take(address, size) for every block in use on every heap of the
// process. Its list of heaps is kept off the heaps, so the walk sees them as
// they were.
template <class Take>
void forEachHeapBlockInUse(Take take) {
  std::vector<HANDLE, PageAllocator<HANDLE>> heaps(::GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(std::min<std::size_t>(::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()), heaps.size()));
  for (HANDLE heap : heaps) {
    if (!::HeapLock(heap)) continue;
    PROCESS_HEAP_ENTRY entry = {};
    while (::HeapWalk(heap, &entry)) {
      if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) take(entry.lpData, entry.cbData);
    }
    ::HeapUnlock(heap);
  }
}

}  // namespace

HeapBlocks heapBlocksInUse() {
  HeapBlocks blocks;
  blocks.reserve(1 << 16);
  forEachHeapBlockInUse(
      [&](void* address, std::size_t size) { blocks.emplace_back(reinterpret_cast<std::uintptr_t>(address), size); });
  std::sort(blocks.begin(), blocks.end());
  return blocks;
}

std::string heapBlocksGained(const HeapBlocks& before, const HeapBlocks& after) {
  std::map<std::size_t, int> bySize;
  for (const auto& block : after) {
    if (!std::binary_search(before.begin(), before.end(), block)) ++bySize[block.second];
  }
  std::vector<std::pair<int, std::size_t>> counted;
  for (const auto& [size, times] : bySize) counted.emplace_back(times, size);
  std::stable_sort(counted.begin(), counted.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::string text;
  for (const auto& [times, size] : counted) {
    if (!text.empty()) text += ", ";
    text += std::to_string(times) + " x " + std::to_string(size) + " bytes";
  }
  return text.empty() ? "none" : text;
}

std::size_t heapBytesInUse() {
  std::size_t total = 0;
  forEachHeapBlockInUse([&](void*, std::size_t size) { total += size; });
  return total;
}

}  // namespace fyrel::test
