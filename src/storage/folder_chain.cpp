#include "storage/folder_chain.h"

#include "common/diagnostic_text.h"
#include "storage/checked_file.h"
#include "storage/folder_paths.h"

namespace fyrel {
namespace {

// Opened without following a reparse point: the handle is the link itself,
// if the level is one, and its attributes say so.
constexpr DWORD kOpenFlags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
// Read sharing only: nobody renames or deletes a held level, so nobody
// swaps a link in for it, and nobody opens it for writing, which turning
// it into a mount point in place takes.
constexpr DWORD kShareMode = FILE_SHARE_READ;
// Sharing is enforced only between handles that read, write or delete
// data: a handle with attribute rights alone denies nothing, so the level
// is held listing too. Another install holding the same level lists and
// shares reading as well, and gets in.
constexpr DWORD kLevelAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

UniqueFile openLevel(const std::string& path, DWORD access) {
  return UniqueFile(::CreateFileA(path.c_str(), access, kShareMode, nullptr, OPEN_EXISTING, kOpenFlags, nullptr));
}

bool isPlainFolder(HANDLE level) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(level, &info)) return false;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace

bool isReparsePoint(const std::string& path) {
  // By name: the attributes of the last component itself. Windows also
  // shows a link this way; Wine shows a Unix symbolic link to a folder only
  // this way (a handle opened on it describes the folder it points to).
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool HeldFolderChain::open(const std::string& top, const std::string& folder) {
  close();
  refusal_.clear();
  auto refuse = [this](const std::string& why) {
    refusal_ = why;
    return false;
  };
  const std::vector<std::string> levels = folderLevelsFrom(top, folder);
  if (levels.empty()) return refuse(folder + " does not lie below " + top);
  // Above the top level (the data folder and its parents) the folders are
  // the system's: what is missing is created, nothing is checked.
  for (const std::string& above : folderChainLevels(levels.front())) {
    if (above != levels.front()) ::CreateDirectoryA(above.c_str(), nullptr);
  }
  std::vector<UniqueFile> held;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    const std::string& level = levels[i];
    // An existing level (a link included) makes this fail harmlessly; the
    // check below is what decides.
    ::CreateDirectoryA(level.c_str(), nullptr);
    if (isReparsePoint(level)) return refuse(level + " is a link or mount point");
    const bool deepest = i + 1 == levels.size();
    UniqueFile handle = deepest ? openLevel(level, kLevelAccess | READ_CONTROL | WRITE_DAC) : UniqueFile();
    // A folder another account made may not let this one change its access
    // list; it is still checked and held.
    if (!handle) handle = openLevel(level, kLevelAccess);
    if (!handle) return refuse(level + " cannot be opened: " + errorName(::GetLastError()));
    if (!isPlainFolder(handle.get())) return refuse(level + " is a link, a mount point or no folder");
    held.push_back(std::move(handle));
  }
  std::wstring deepestPath = finalPathOf(held.back().get());
  if (deepestPath.empty()) return refuse(folder + " has no final path: " + errorName(::GetLastError()));
  levels_ = std::move(held);
  deepestPath_ = std::move(deepestPath);
  return true;
}

}  // namespace fyrel
