// Opening a game folder to every account of the machine.
#pragma once

#include <string>

namespace fyrel {

// Replaces the folder's access list with one inheritable full-access entry
// for Everyone. True when set (or when the platform lacks the functions).
bool grantFolderAccess(const std::string& folder);

}  // namespace fyrel
