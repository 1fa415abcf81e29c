#include "extract/extract_paths.h"

namespace fyrel {

CabinetLocation splitCabinetPath(const std::string& path) {
  std::string::size_type slash = path.find_last_of('\\');
  if (slash == std::string::npos) return {std::string(), path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

std::string asFolderPath(std::string folder) {
  if (!folder.empty() && folder.back() != '\\') folder.push_back('\\');
  return folder;
}

std::vector<std::string> enclosingFolders(const std::string& path) {
  std::vector<std::string> folders;
  for (std::string::size_type i = path.find('\\'); i != std::string::npos; i = path.find('\\', i + 1)) {
    folders.push_back(path.substr(0, i));
  }
  return folders;
}

}  // namespace fyrel
