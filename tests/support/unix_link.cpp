#include "support/unix_link.h"

#include <windows.h>

#include <vector>

#include "common/proc_address.h"

namespace fyrel::test {
namespace {

using fyrel::procAddress;

// Wine's own export: the Unix path of a Windows path (the last component
// need not exist). Returned memory belongs to the process heap.
std::string unixPathOf(const std::string& path) {
  using UnixName = char*(CDECL*)(const WCHAR*);
  auto unixName = procAddress<UnixName>(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
  if (unixName == nullptr) return {};
  std::string trimmed = path;
  while (trimmed.size() > 3 && trimmed.back() == '\\') trimmed.pop_back();
  std::vector<WCHAR> wide(trimmed.size() + 1);
  ::MultiByteToWideChar(CP_ACP, 0, trimmed.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  char* unix = unixName(wide.data());
  if (unix == nullptr) return {};
  std::string result = unix;
  ::HeapFree(::GetProcessHeap(), 0, unix);
  return result;
}

// Wine starts a Unix program as a process of its own, but gives no handle
// to wait on: the caller watches for the program's effect instead.
bool runUnix(const char* program, const std::string& commandLine) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(program, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

bool shows(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

template <typename Done>
bool waitUntil(Done done) {
  for (int i = 0; i < 1000; ++i) {  // "does not hang" bound: 10 s
    if (done()) return true;
    ::Sleep(10);
  }
  return done();
}

}  // namespace

bool makeUnixLink(const std::string& link, const std::string& target) {
  const std::string unixLink = unixPathOf(link);
  const std::string unixTarget = unixPathOf(target);
  if (unixLink.empty() || unixTarget.empty()) return false;
  // -n -f: a link left by an earlier run is replaced, not followed.
  std::string trimmed = link;
  while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  if (!runUnix("Z:\\bin\\ln", "ln -sfn \"" + unixTarget + "\" \"" + unixLink + "\"")) return false;
  return waitUntil([&] { return shows(trimmed); });
}

bool makeUnixHardLink(const std::string& link, const std::string& target) {
  const std::string unixLink = unixPathOf(link);
  const std::string unixTarget = unixPathOf(target);
  if (unixLink.empty() || unixTarget.empty()) return false;
  if (!runUnix("Z:\\bin\\ln", "ln -f \"" + unixTarget + "\" \"" + unixLink + "\"")) return false;
  return waitUntil([&] { return shows(link); });
}

bool removeUnixLink(const std::string& link) {
  std::string trimmed = link;
  while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  const std::string unixLink = unixPathOf(trimmed);
  if (unixLink.empty() || !runUnix("Z:\\bin\\rm", "rm -f \"" + unixLink + "\"")) return false;
  return waitUntil([&] { return !shows(trimmed); });
}

}  // namespace fyrel::test
