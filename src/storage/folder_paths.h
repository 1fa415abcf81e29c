// Path composition for the player's folders: plain text work, kept apart from
// the registry and file calls so it also runs in the native sanitizer build.
#pragma once

#include <string>
#include <vector>

namespace fyrel {

constexpr const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char kMakerFolderName[] = "Fyrel\\";
constexpr const char kPlayerFolderName[] = "FyrelGamesPlayer\\";

// dataFolder + "\" (unless it ends with one) + "Fyrel\"; empty stays empty.
std::string makerFolderBelow(const std::string& dataFolder);
// makerFolder + "FyrelGamesPlayer\"; empty stays empty.
std::string playerFolderBelow(const std::string& makerFolder);
// The folders to create, shallowest first: the text before each "\", then the
// whole path. "C:\A\B\" gives "C:", "C:\A", "C:\A\B", "C:\A\B\".
std::vector<std::string> folderChainLevels(const std::string& path);

}  // namespace fyrel
