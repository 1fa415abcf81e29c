// The name of the lock that serializes installing one game folder. Pure
// logic: no Windows header, so it also builds natively.
#pragma once

#include <string>

namespace fyrel {

// "Local\FyrelGameFolder-" and 16 hexadecimal digits of a 64-bit FNV-1a
// hash of the folder path with ASCII letters in lower case, "/" taken as
// "\" and trailing separators dropped: the same folder spelt in another
// letter case gets the same name. A hash keeps the name within the
// platform's length limit for any path; two folders that share a hash only
// wait for each other.
std::string gameFolderLockName(const std::string& gameFolder);

}  // namespace fyrel
