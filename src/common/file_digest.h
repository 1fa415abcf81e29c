// A file's SHA-256 under its name: no Windows header, so the record that
// keeps such digests can be read and written by pure code.
#pragma once

#include <array>
#include <string>

namespace fyrel {

using Sha256Digest = std::array<unsigned char, 32>;

struct FileDigest {
  std::string name;  // path below the game folder, backslash separators
  Sha256Digest digest;
};

}  // namespace fyrel
