#include "storage/folder_paths.h"

#include "common/ascii_case.h"

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

namespace {

bool startsWithIgnoringAsciiCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (lowerAscii(text[i]) != lowerAscii(prefix[i])) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> folderLevelsFrom(const std::string& top, const std::string& folder) {
  std::string topLevel = top;
  while (!topLevel.empty() && topLevel.back() == '\\') topLevel.pop_back();
  if (!startsWithIgnoringAsciiCase(folder, topLevel)) return {};
  std::size_t at = topLevel.size();
  if (!topLevel.empty()) {
    // "C:\Pl" is no level of "C:\Player\": the prefix must end at a "\".
    if (at < folder.size() && folder[at] != '\\') return {};
    ++at;
  }
  std::vector<std::string> levels;
  if (!topLevel.empty()) levels.push_back(topLevel);
  while (at < folder.size()) {
    std::size_t end = folder.find('\\', at);
    if (end == std::string::npos) end = folder.size();
    if (end == at) return {};
    levels.push_back(folder.substr(0, end));
    at = end + 1;
  }
  return levels;
}

}  // namespace fyrel
