// Whether a member's way into the target folder passes a link.
#pragma once

#include <string>

namespace fyrel {

// True when a folder the member's path names below targetFolder, or the
// member's file itself, already exists as a reparse point (a junction or a
// symbolic link): another account may have put it there to send the file
// to a folder of its choosing. targetFolder ends with a backslash;
// memberPath uses backslashes.
bool memberPathMeetsLink(const std::string& targetFolder, const std::string& memberPath);

}  // namespace fyrel
