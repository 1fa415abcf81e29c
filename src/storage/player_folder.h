// Finding the player's data folder and creating folder chains.
#pragma once

#include <windows.h>

#include <string>

namespace fyrel {

// Sets output to the named value of the shell folder key below root when it
// can be read (at most 260 bytes); leaves it unchanged otherwise.
void readShellFolder(HKEY root, const char* valueName, std::string& output);
// Data folder + "Fyrel\", or empty.
std::string resolveMakerFolder();
// Maker folder + "FyrelGamesPlayer\", or empty.
std::string resolvePlayerFolder();
// Creates every level of path; failures are ignored.
void createFolderChain(const std::string& path);

}  // namespace fyrel
