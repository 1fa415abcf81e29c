// The publisher's public key, compiled in from the blob file the build was
// configured with (FYREL_PUBLIC_KEY_BLOB).
#pragma once

#include <cstddef>

namespace fyrel {

constexpr std::size_t kBuiltInPublicKeySize = 148;
extern const unsigned char kBuiltInPublicKey[kBuiltInPublicKeySize];

}  // namespace fyrel
