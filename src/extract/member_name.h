// Which member names of a cabinet may be written below the target folder.
#pragma once

namespace fyrel {

// A member name is appended to the target folder as it stands, so a name
// that is rooted, names a drive or a stream, or climbs with ".." would put
// the file somewhere else. Only plain relative names, separated by
// backslashes (or forward slashes), pass.
bool isSafeMemberName(const char* name) noexcept;

}  // namespace fyrel
