#include "storage/player_folder.h"

#include <algorithm>

#include "common/unique_handle.h"
#include "storage/folder_paths.h"

namespace fyrel {

void readShellFolder(HKEY root, const char* valueName, std::string& output) {
  UniqueRegKey key;
  if (::RegOpenKeyExA(root, kShellFoldersKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  char buffer[260];
  DWORD length = sizeof buffer;
  // The type is not examined: the shell writes these as REG_SZ, but an
  // expandable or binary value is taken as its bytes all the same.
  if (::RegQueryValueExA(key.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &length) !=
      ERROR_SUCCESS) {
    return;
  }
  const char* begin = buffer;
  const char* end = std::find(begin, begin + std::min<DWORD>(length, sizeof buffer), '\0');
  output.assign(begin, end);
}

std::string resolveMakerFolder() {
  std::string dataFolder;
  readShellFolder(HKEY_LOCAL_MACHINE, "Common AppData", dataFolder);
  if (dataFolder.empty()) readShellFolder(HKEY_CURRENT_USER, "AppData", dataFolder);
  if (dataFolder.empty()) {
    char temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return {};
    dataFolder.assign(temp, length);
  }
  return makerFolderBelow(dataFolder);
}

std::string resolvePlayerFolder() { return playerFolderBelow(resolveMakerFolder()); }

void createFolderChain(const std::string& path) {
  // Existing levels, drive parts such as "C:" and the empty piece before a
  // leading "\" all fail harmlessly.
  for (const std::string& level : folderChainLevels(path)) ::CreateDirectoryA(level.c_str(), nullptr);
}

}  // namespace fyrel
