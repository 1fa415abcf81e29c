// Which member names of a cabinet may be written below the target folder.
#pragma once

#include <string>
#include <vector>

#include "common/ascii_case.h"

namespace fyrel {

// A member name is appended to the target folder, so a name that is rooted,
// names a drive or a stream, or climbs with ".." would put the file
// somewhere else; a component that names a device (CON, NUL, COM1, LPT1,
// nul.txt, ...) would open the device, which may block for ever. Only plain
// relative names pass, their components separated by backslashes or
// forward slashes. reservedNames are file names that the target folder's
// owner keeps for itself (the version marker, the package being extracted):
// a member of that name at the top of the folder, or a path whose first
// folder has that name, in any letter case and with the trailing dots and
// blanks Windows drops, is refused too. sameName says which spellings are
// one name (the file system's folding, on the platform).
bool isSafeMemberName(const char* name, const std::vector<std::string>& reservedNames = {},
                      SameNameFn sameName = sameNameIgnoringAsciiCase) noexcept;

// Whether Windows opens a device for this one path component ("NUL",
// "con.txt", "COM1 .log"), whatever folder it stands in.
bool namesDevice(const std::string& component) noexcept;

// The member's path below the target folder with backslash separators, so
// that the folders it names are made like those of backslash names.
std::string memberPath(const char* name);

}  // namespace fyrel
