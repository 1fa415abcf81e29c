#include "verify/signature_verifier.h"

#include <cstdint>
#include <utility>

#include "common/diagnostic_text.h"
#include "storage/checked_file.h"
#include "verify/package_trailer.h"

namespace fyrel {

namespace {

constexpr std::size_t kReadBufferSize = 64 * 1024;

}  // namespace

SignatureVerifier::SignatureVerifier() noexcept = default;

SignatureVerifier::~SignatureVerifier() {
  key.reset();
  provider.reset();
}

bool SignatureVerifier::importPublicKey(const unsigned char* blob, std::size_t length) {
  key.reset();
  provider.reset();
  // A verify-only context needs no key container; the fallback covers
  // systems that refuse it but can make a fresh default container.
  if (!::CryptAcquireContextA(provider.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
      !::CryptAcquireContextA(provider.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
    return false;
  }
  if (blob == nullptr || length > MAXDWORD) return false;
  return ::CryptImportKey(provider.get(), blob, static_cast<DWORD>(length), 0, 0, key.put()) != FALSE;
}

bool SignatureVerifier::verify(const std::string& path, const std::wstring& heldFolder,
                               const std::atomic<bool>* stopRequested) {
  verifiedPackage.reset();
  filePath = path;
  failure_.clear();
  packageDigestKnown_ = false;
  // One handle from the first byte read to the end of the check, and
  // beyond for the extraction: the package lies in a folder every local
  // account may write to, and must not change between the hash and its
  // use, nor be a link that would have the cut shorten some other file.
  UniqueFile package = openCheckedFile(filePath, heldFolder, GENERIC_READ | GENERIC_WRITE);
  if (!package) {
    failure_ = "the package could not be opened as one plain file in the game folder: " + errorName(::GetLastError());
    return false;
  }
  PackageHashes hashes;
  // Large reads: a 64 MB package is hashed in a thousand system calls, not
  // in sixty thousand. The pieces' size does not change the hashes.
  std::vector<unsigned char> piece(kReadBufferSize);
  for (;;) {
    if (stopRequested != nullptr && stopRequested->load(std::memory_order_acquire)) return false;
    DWORD read = 0;
    if (!::ReadFile(package.get(), piece.data(), static_cast<DWORD>(piece.size()), &read, nullptr)) {
      failure_ = "reading the package failed: " + errorName(::GetLastError());
      return false;
    }
    if (read == 0) break;
    hashes.add(piece.data(), read);
  }
  return verifyDownloaded(std::move(package), hashes);
}

bool SignatureVerifier::verifyDownloaded(UniqueFile package, PackageHashes& hashes) {
  verifiedPackage.reset();
  failure_.clear();
  packageDigestKnown_ = false;
  const TrailerWindow& window = hashes.window();
  PackageTrailer trailer;
  if (!findPackageTrailer(window.data(), window.size(), window.start(), trailer)) {
    failure_ = "no signature trailer (\"!fyrelsig!\", signature, \"!fyrelsig!\") in the package's last " +
               std::to_string(kTrailerWindow) + " bytes";
    return false;
  }
  signature = std::move(trailer.signature);
  Md5Digest content{};
  const bool hashed = hashes.finishContent(static_cast<std::uint64_t>(trailer.contentLength), content);
  packageDigestKnown_ = hashes.finishPackage(packageDigest_);
  // The file was held against writers since its first byte; a length other
  // than the bytes hashed means it is not the package that came.
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(package.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) != window.total()) {
    failure_ = "the package on disk is not the one downloaded";
    releaseTrailer();
    return false;
  }
  // Cut before checking: a package that fails is deleted by the caller
  // anyway, and one that passes must be exactly the signed content.
  LARGE_INTEGER end{};
  end.QuadPart = trailer.contentLength;
  if (!::SetFilePointerEx(package.get(), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(package.get())) {
    failure_ = "cutting the signature off failed: " + errorName(::GetLastError());
    releaseTrailer();
    return false;
  }
  if (!hashed) failure_ = "hashing the package as it arrived failed";
  const bool result = hashed && checkSignature(content);
  releaseTrailer();
  if (result) verifiedPackage = std::move(package);
  return result;
}

bool SignatureVerifier::checkSignature(const Md5Digest& content) {
  // The content's hash was taken as the bytes came, in a context of its
  // own; the key's provider takes it as a value.
  UniqueCryptHash hash;
  if (!::CryptCreateHash(provider.get(), CALG_MD5, 0, 0, hash.put()) ||
      !::CryptSetHashParam(hash.get(), HP_HASHVAL, content.data(), 0))
    return false;
  // CryptoAPI takes signatures least significant byte first, which is how the
  // package stores them: no reordering.
  if (::CryptVerifySignatureA(hash.get(), signature.data(), static_cast<DWORD>(signature.size()), key.get(), nullptr,
                              0))
    return true;
  failure_ = "the signature does not match the package and the built-in key";
  return false;
}

void SignatureVerifier::releaseTrailer() {
  signature.clear();
  signature.shrink_to_fit();
}

}  // namespace fyrel
