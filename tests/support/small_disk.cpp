#include "support/small_disk.h"

#include <windows.h>

#include "common/proc_address.h"
#include "common/unique_handle.h"
#include "support/test_window.h"

namespace fyrel::test {
namespace {

constexpr std::uint64_t kLargeDisk = 64ull << 20;

void shell(const std::string& command) {
  std::string line = "/bin/sh -c \"" + command + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return;
  // Wine hands out no waitable handle for a Unix process: the callers
  // watch the disk's size instead.
  UniqueKernelHandle thread(process.hThread);
  UniqueKernelHandle child(process.hProcess);
}

}  // namespace

SmallDisk::SmallDisk(const std::string& folder, const char* size) : folder_(folder) {
  using UnixName = char*(CDECL*)(LPCWSTR);
  auto unixName = procAddress<UnixName>(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
  if (unixName == nullptr) return;
  const std::wstring wide(folder.begin(), folder.end());
  char* name = unixName(wide.c_str());
  if (name == nullptr) return;
  path_ = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  shell("/bin/umount '" + path_ + "' 2>/dev/null; /bin/mount -t tmpfs -o size=" + size + " fyrel-small-disk '" + path_ +
        "'");
  mounted_ = pumpUntil([&] { return diskSize() < kLargeDisk; }, 10000);
}

SmallDisk::~SmallDisk() {
  if (path_.empty()) return;
  // Lazily when the platform still has a file of it open.
  shell("/bin/umount '" + path_ + "' || /bin/umount -l '" + path_ + "'");
  pumpUntil([&] { return diskSize() >= kLargeDisk; }, 10000);
}

bool SmallDisk::grow(const char* size, std::uint64_t atLeast) {
  shell("/bin/mount -o remount,size=" + std::string(size) + " '" + path_ + "'");
  return pumpUntil([&] { return diskSize() >= atLeast; }, 10000);
}

std::uint64_t SmallDisk::diskSize() const {
  ULARGE_INTEGER available{}, total{}, free{};
  if (!::GetDiskFreeSpaceExA(folder_.c_str(), &available, &total, &free)) return 0;
  return total.QuadPart;
}

}  // namespace fyrel::test
