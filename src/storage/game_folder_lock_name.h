// The name of the lock that serializes installing one game folder. Pure
// logic: no Windows header, so it also builds natively.
#pragma once

#include <string>

namespace fyrel {

// "Global\FyrelGameFolder-" and 16 hexadecimal digits of a 64-bit FNV-1a
// hash of the folder path with ASCII letters in lower case, "/" taken as
// "\" and trailing separators dropped: the same folder spelt in another
// letter case gets the same name. Machine-wide, so that logon sessions of
// other accounts (fast user switching, remote desktop) installing into the
// shared folder wait for each other too. A hash keeps the name within the
// platform's length limit for any path; two folders that share a hash only
// wait for each other. The caller passes the folder's canonical long path,
// so an 8.3 alias of a level gives the same name.
std::string gameFolderLockName(const std::string& gameFolder);

// The same name in the session's own namespace, for systems where a
// machine-wide object cannot be created: "Local\" in place of "Global\".
std::string sessionLockName(const std::string& lockName);

}  // namespace fyrel
