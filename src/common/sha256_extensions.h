// SHA-256 on the processor's SHA extensions (x86 SHA-NI), for the digests
// taken of everything runnable in the game folder at every installed start.
// The platform's own provider hashes at a few hundred MB/s where the
// processor's instructions take a fraction of that time. No Windows header:
// it is checked natively against known digests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/file_digest.h"

namespace fyrel {

// True when this processor has the SHA extensions and the SSE levels that
// go with them; Sha256Extensions must not be used otherwise.
bool processorHasSha256Extensions() noexcept;

// One digest, fed piece by piece.
class Sha256Extensions {
 public:
  void update(const void* bytes, std::size_t size) noexcept;
  // The digest of everything fed; the object takes no more data after it.
  Sha256Digest finish() noexcept;

 private:
  std::uint32_t state_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  unsigned char pending_[64] = {};
  std::size_t pendingSize_ = 0;
  std::uint64_t totalBytes_ = 0;
};

}  // namespace fyrel
