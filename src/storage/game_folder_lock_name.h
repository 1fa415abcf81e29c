// The name of the lock that serializes installing one game folder. Pure
// logic: no Windows header, so it also builds natively.
#pragma once

#include <string>

namespace fyrel {

// "Global\FyrelGameFolder-" and 16 hexadecimal digits of a 64-bit FNV-1a
// hash of the folder path's UTF-16 code units, "/" taken as "\" and
// trailing separators dropped. The caller passes the folder's canonical
// long path (so an 8.3 alias of a level gives the same name), upper-cased
// as the file system folds names (storage/file_name_case.h), so every
// spelling the file system takes for this folder, "É" for "é" included,
// gives the same name. Machine-wide, so that logon sessions of other
// accounts (fast user switching, remote desktop) installing into the shared
// folder wait for each other too. A hash keeps the name within the
// platform's length limit for any path; two folders that share a hash only
// wait for each other.
std::string gameFolderLockName(const std::u16string& foldedFolder);

// The same name in the session's own namespace, for systems where a
// machine-wide object cannot be created: "Local\" in place of "Global\".
std::string sessionLockName(const std::string& lockName);

}  // namespace fyrel
