#include "verify/package_hashes.h"

#include <new>

namespace fyrel {

void PackageHashes::restart() noexcept {
  content_.reset();
  window_.clear();
  whole_ = Sha256();
  // A verify-only context of its own: the hash does not depend on the
  // verifier's key, and the check hands it over as a value.
  if (!provider_ &&
      !::CryptAcquireContextA(provider_.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
    provider_.reset();
  failed_ = !provider_ || !::CryptCreateHash(provider_.get(), CALG_MD5, 0, 0, content_.put());
}

void PackageHashes::hashContent(const unsigned char* bytes, std::size_t size) noexcept {
  if (size != 0 && !::CryptHashData(content_.get(), bytes, static_cast<DWORD>(size), 0)) failed_ = true;
}

void PackageHashes::add(const void* bytes, std::size_t size) noexcept {
  if (failed_ || size == 0) return;
  const auto* data = static_cast<const unsigned char*>(bytes);
  whole_.update(data, size);
  try {
    window_.add(data, size, [this](const unsigned char* left, std::size_t count) { hashContent(left, count); });
  } catch (const std::bad_alloc&) {
    failed_ = true;
  }
}

bool PackageHashes::finishContent(std::uint64_t contentLength, Md5Digest& md5) noexcept {
  if (failed_ || contentLength < window_.start() || contentLength > window_.total()) return false;
  hashContent(window_.data(), static_cast<std::size_t>(contentLength - window_.start()));
  DWORD size = static_cast<DWORD>(md5.size());
  if (failed_ || !::CryptGetHashParam(content_.get(), HP_HASHVAL, md5.data(), &size, 0) || size != md5.size())
    return false;
  content_.reset();  // a finished hash takes no more bytes
  return true;
}

}  // namespace fyrel
