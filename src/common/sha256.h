// SHA-256: the digests that tie what runs from the shared game folder to
// what this account installed. On the processor's SHA extensions where it
// has them (every installed start hashes every runnable member, so this is
// on the path of a start); through CryptoAPI's AES provider otherwise.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <utility>

#include "common/file_digest.h"
#include "common/sha256_extensions.h"
#include "common/unique_handle.h"

namespace fyrel {

// One digest, fed piece by piece. A failure anywhere makes finish() fail.
class Sha256 {
 public:
  enum class Engine { fastest, platform };

  explicit Sha256(Engine engine = Engine::fastest) noexcept {
    if (engine == Engine::fastest && processorHasSha256Extensions()) {
      onProcessor_ = true;
      failed_ = false;
      return;
    }
    HCRYPTPROV provider = 0;
    // Verify-only context: no key container is created or opened.
    if (::CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
      provider_.reset(provider);
    HCRYPTHASH hash = 0;
    if (provider_ && ::CryptCreateHash(provider_.get(), CALG_SHA_256, 0, 0, &hash)) hash_.reset(hash);
    failed_ = !hash_;
  }
  Sha256(Sha256&&) noexcept = default;
  // The hash goes before the provider that made it.
  Sha256& operator=(Sha256&& other) noexcept {
    hash_.reset();
    provider_ = std::move(other.provider_);
    hash_ = std::move(other.hash_);
    processor_ = other.processor_;
    onProcessor_ = other.onProcessor_;
    failed_ = other.failed_;
    other.failed_ = true;
    return *this;
  }

  void update(const void* bytes, std::size_t size) noexcept {
    if (failed_ || size == 0) return;
    if (onProcessor_) {
      processor_.update(bytes, size);
      return;
    }
    failed_ = !::CryptHashData(hash_.get(), static_cast<const BYTE*>(bytes), static_cast<DWORD>(size), 0);
  }
  bool finish(Sha256Digest& digest) noexcept {
    if (onProcessor_ && !failed_) {
      digest = processor_.finish();
      failed_ = true;  // a finished hash takes no more data
      return true;
    }
    DWORD size = static_cast<DWORD>(digest.size());
    if (failed_ || !::CryptGetHashParam(hash_.get(), HP_HASHVAL, digest.data(), &size, 0) || size != digest.size())
      return false;
    failed_ = true;  // a finished hash takes no more data
    return true;
  }

 private:
  UniqueCryptProvider provider_;  // declared first: the hash goes before it
  UniqueCryptHash hash_;
  Sha256Extensions processor_;
  bool onProcessor_ = false;
  bool failed_ = true;
};

// The digest of the whole file behind handle, read from its first byte;
// the file position is left at its end.
inline bool sha256OfFile(HANDLE file, Sha256Digest& digest) noexcept {
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
  Sha256 hash;
  static constexpr DWORD kChunk = 64 * 1024;
  unsigned char buffer[kChunk];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file, buffer, kChunk, &read, nullptr)) return false;
    if (read == 0) break;
    hash.update(buffer, read);
  }
  return hash.finish(digest);
}

}  // namespace fyrel
