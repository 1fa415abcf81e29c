// Where a test finds the build's programs and fixtures, and scratch folders.
#pragma once

#include <string>

namespace fyrel::test {

// Folder of the running test executable (the build's bin folder), with a
// trailing backslash.
std::string binDir();
// The build's fixture folder (made at build time), with a trailing backslash.
std::string fixtureDir();
// A fresh, empty scratch folder unique to this test case, with a trailing
// backslash. Removed and made anew on each call with the same name.
std::string scratchDir(const std::string& name);
// Deletes a folder tree (read-only files too). Missing folders are fine.
void removeTree(const std::string& path);
bool fileExists(const std::string& path);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// Names of the entries of a folder (with a trailing backslash), each followed
// by ";", "." and ".." left out; "" when the folder is missing.
std::string entriesOf(const std::string& folder);

}  // namespace fyrel::test
