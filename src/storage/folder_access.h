// Opening a game folder to every account of the machine.
#pragma once

#include <windows.h>

namespace fyrel {

// Replaces the access list of the folder open at handle (opened with
// WRITE_DAC) with one inheritable full-access entry for Everyone. True when
// set (or when the platform lacks the functions). Set on a handle, not by
// name: the handle is the folder that was checked, and a name could lead
// through a link to another folder.
bool grantFolderAccess(HANDLE folder);

}  // namespace fyrel
