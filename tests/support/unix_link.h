// Unix symbolic links inside the Wine prefix, made by the Unix ln: what
// another account's junction or symbolic link looks like to the product
// under Wine (a folder link shows FILE_ATTRIBUTE_REPARSE_POINT by name).
// Wine cannot make a junction itself (FSCTL_SET_REPARSE_POINT answers
// ERROR_NOT_SUPPORTED) nor a symbolic link (CreateSymbolicLink).
#pragma once

#include <string>

namespace fyrel::test {

// Makes link (a Windows path whose folder exists) a Unix symbolic link to
// target (a Windows path); true once the link shows. Runs /bin/ln.
bool makeUnixLink(const std::string& link, const std::string& target);
// Makes link (a Windows path whose folder exists) a second name of the file
// at target, a Unix hard link (Wine shows the count in nNumberOfLinks);
// true once the name shows. Runs /bin/ln.
bool makeUnixHardLink(const std::string& link, const std::string& target);
// Removes the link itself, not what it points to; true once it is gone.
bool removeUnixLink(const std::string& link);

}  // namespace fyrel::test
