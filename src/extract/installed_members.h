// The runnable files an earlier extraction left in the shared game folder,
// checked again before they may run: anyone may have changed them since.
#pragma once

#include <string>
#include <vector>

#include "common/file_digest.h"
#include "common/unique_handle.h"

namespace fyrel {

// Opens every file below folder without write or delete sharing and keeps
// the runnable ones (runnable_member.h) open in holds, so none can change
// until the holds go. True when those are exactly the expected members
// (names in any letter case) with the expected digests: a missing member,
// another digest, a runnable file not expected, a file that cannot be held
// or a link below the folder is false.
bool installedMembersMatch(const std::string& folder, const std::vector<FileDigest>& expected,
                           std::vector<UniqueFile>& holds) noexcept;

}  // namespace fyrel
