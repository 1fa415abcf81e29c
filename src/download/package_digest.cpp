#include "download/package_digest.h"

#include "common/sha256.h"

namespace fyrel {

bool packageSha256(const std::string& path, Sha256Digest& digest) noexcept {
  UniqueFile package(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  return package && sha256OfFile(package.get(), digest);
}

}  // namespace fyrel
