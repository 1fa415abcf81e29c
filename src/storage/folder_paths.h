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
// The levels of folder from top down, each without its trailing "\": top
// itself first (unless top is empty), then each deeper level down to folder.
// "C:\P\" and "C:\P\acme\game\" give "C:\P", "C:\P\acme",
// "C:\P\acme\game". Empty when folder does not lie below top (letter case
// ignored in ASCII) or when a level would be empty ("a\\b").
std::vector<std::string> folderLevelsFrom(const std::string& top, const std::string& folder);

}  // namespace fyrel
