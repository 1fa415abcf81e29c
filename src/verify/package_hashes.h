// The package's two hashes, taken as its bytes arrive so that nothing has
// to read it again: the MD5 of the signed content (CryptoAPI), which may
// end anywhere in the last kTrailerWindow bytes and so runs that far behind
// the bytes, and the SHA-256 of the whole package as it came.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <array>
#include <cstddef>
#include <utility>

#include "common/file_digest.h"
#include "common/sha256.h"
#include "common/unique_handle.h"
#include "verify/trailer_window.h"

namespace fyrel {

using Md5Digest = std::array<unsigned char, 16>;

class PackageHashes {
 public:
  PackageHashes() noexcept { restart(); }
  // No hash yet (and no provider): a place to move hashes into, cheaply.
  struct Empty {};
  static constexpr Empty empty{};
  explicit PackageHashes(Empty) noexcept {}
  PackageHashes(PackageHashes&&) noexcept = default;
  // The content hash goes before the provider that made it.
  PackageHashes& operator=(PackageHashes&& other) noexcept {
    content_.reset();
    provider_ = std::move(other.provider_);
    content_ = std::move(other.content_);
    whole_ = std::move(other.whole_);
    window_ = std::move(other.window_);
    failed_ = other.failed_;
    other.failed_ = true;
    return *this;
  }

  // Drops everything taken so far: the package starts again from its
  // first byte.
  void restart() noexcept;
  // The package's next bytes, in order. A failure (no memory, no hash)
  // makes every later finish fail.
  void add(const void* bytes, std::size_t size) noexcept;
  bool failed() const noexcept { return failed_; }

  // The package's last bytes, where the trailer must lie.
  const TrailerWindow& window() const noexcept { return window_; }
  // Ends the content hash after contentLength bytes of the package, which
  // must not lie before the window; the MD5 value. Once only.
  bool finishContent(std::uint64_t contentLength, Md5Digest& md5) noexcept;
  // The SHA-256 of every byte taken. Once only.
  bool finishPackage(Sha256Digest& digest) noexcept { return whole_.finish(digest); }

 private:
  void hashContent(const unsigned char* bytes, std::size_t size) noexcept;

  UniqueCryptProvider provider_;  // declared first: the hash goes before it
  UniqueCryptHash content_;
  Sha256 whole_;
  TrailerWindow window_;
  bool failed_ = true;
};

}  // namespace fyrel
