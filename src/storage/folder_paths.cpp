#include "storage/folder_paths.h"

namespace fyrel {

std::string makerFolderBelow(const std::string& dataFolder) {
  if (dataFolder.empty()) return {};
  std::string folder = dataFolder;
  if (folder.back() != '\\') folder += '\\';
  return folder + kMakerFolderName;
}

std::string playerFolderBelow(const std::string& makerFolder) {
  if (makerFolder.empty()) return {};
  return makerFolder + kPlayerFolderName;
}

std::vector<std::string> folderChainLevels(const std::string& path) {
  std::vector<std::string> levels;
  for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1)) {
    levels.push_back(path.substr(0, at));
  }
  levels.push_back(path);
  return levels;
}

}  // namespace fyrel
