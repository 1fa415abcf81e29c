// The package's SHA-256 as it was downloaded, signature included: what
// this account's install record keeps of the package.
#pragma once

#include <string>

#include "common/file_digest.h"

namespace fyrel {

// Over the whole file at path, read with no one else allowed to write it.
bool packageSha256(const std::string& path, Sha256Digest& digest) noexcept;

}  // namespace fyrel
