#include "extract/installed_members.h"

#include <windows.h>

#include "common/sha256.h"
#include "extract/runnable_member.h"

namespace fyrel {
namespace {

struct Walk {
  const std::vector<FileDigest>& expected;
  std::vector<bool> seen;
  std::vector<UniqueFile>& holds;
};

// The entry for name: the last of that name, as the last member written
// is the one the folder holds.
std::size_t expectedIndex(const std::vector<FileDigest>& expected, const std::string& name) {
  for (std::size_t i = expected.size(); i-- > 0;) {
    if (::lstrcmpiA(expected[i].name.c_str(), name.c_str()) == 0) return i;
  }
  return expected.size();
}

bool checkFile(Walk& walk, const std::string& path, const std::string& name) {
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;  // written by someone right now, or gone
  unsigned char head[2] = {};
  DWORD headSize = 0;
  if (!::ReadFile(file.get(), head, sizeof head, &headSize, nullptr)) return false;
  if (!isRunnableMember(name, head, headSize)) return true;
  const std::size_t index = expectedIndex(walk.expected, name);
  if (index == walk.expected.size()) return false;  // not installed by this account
  Sha256Digest digest;
  if (!sha256OfFile(file.get(), digest) || digest != walk.expected[index].digest) return false;
  walk.seen[index] = true;
  try {
    walk.holds.push_back(std::move(file));
  } catch (...) {
    return false;  // out of memory
  }
  return true;
}

bool checkFolder(Walk& walk, const std::string& folder, const std::string& prefix) {
  WIN32_FIND_DATAA found;
  UniqueFind find(::FindFirstFileA((folder + "*").c_str(), &found));
  if (!find) return false;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    // A link below the game folder leads out of it; nothing of ours is one.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
    const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool ok = isFolder ? checkFolder(walk, folder + name + "\\", prefix + name + "\\")
                             : checkFile(walk, folder + name, prefix + name);
    if (!ok) return false;
  } while (::FindNextFileA(find.get(), &found));
  return ::GetLastError() == ERROR_NO_MORE_FILES;
}

}  // namespace

bool installedMembersMatch(const std::string& folder, const std::vector<FileDigest>& expected,
                           std::vector<UniqueFile>& holds) noexcept {
  holds.clear();
  try {
    Walk walk{expected, std::vector<bool>(expected.size(), false), holds};
    bool match = checkFolder(walk, folder, "");
    // Every expected name must have been met; an entry that a later one of
    // the same name replaced was never on disk.
    for (std::size_t i = 0; match && i < expected.size(); ++i)
      match = walk.seen[i] || expectedIndex(expected, expected[i].name) != i;
    if (!match) holds.clear();
    return match;
  } catch (...) {
    holds.clear();
    return false;
  }
}

}  // namespace fyrel
