// Path composition for the extractor: where FDI finds the cabinet and where
// each member lands. Folder paths end with a backslash unless empty.
#pragma once

#include <string>
#include <vector>

namespace fyrel {

// FDI takes a cabinet as a folder (with its trailing backslash) and a name.
// Only backslashes separate; a path without one names a file in the
// current folder.
struct CabinetLocation {
  std::string folder;
  std::string name;
};
CabinetLocation splitCabinetPath(const std::string& path);

// Appends the backslash a folder path needs before file names go on it. An
// empty folder stays empty: files then go to the current folder.
std::string asFolderPath(std::string folder);

// Every folder that has to exist before the file at `path` can be made: the
// part of the path before each backslash, outermost first.
std::vector<std::string> enclosingFolders(const std::string& path);

}  // namespace fyrel
