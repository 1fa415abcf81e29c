#include "verify/signature_verifier.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <memory>

#include "common/diagnostic_text.h"
#include "common/sha256.h"
#include "storage/checked_file.h"
#include "verify/package_trailer.h"

namespace fyrel {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using UniqueStdioFile = std::unique_ptr<std::FILE, FileCloser>;

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
  // One handle from the cut to the end of the check, and beyond for the
  // extraction: the package lies in a folder every local account may write
  // to, and must not change between the check and its use, nor be a link
  // that would have the cut shorten some other file.
  UniqueFile package = openCheckedFile(filePath, heldFolder, GENERIC_READ | GENERIC_WRITE);
  failure_.clear();
  packageDigestKnown_ = false;
  if (!package)
    failure_ = "the package could not be opened as one plain file in the game folder: " + errorName(::GetLastError());
  const bool result = package && extractTrailer(package.get()) && checkSignature(package.get(), stopRequested);
  releaseTrailer();
  if (result) verifiedPackage = std::move(package);
  return result;
}

bool SignatureVerifier::extractTrailer(HANDLE package) {
  // The trailer search reads through stdio, on a duplicate of the handle
  // (closed with the stream); duplicates share the file position.
  HANDLE duplicate = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), package, ::GetCurrentProcess(), &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
    return false;
  const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(duplicate), _O_RDONLY | _O_BINARY);
  if (descriptor == -1) {
    ::CloseHandle(duplicate);
    return false;
  }
  UniqueStdioFile file(::_fdopen(descriptor, "rb"));
  if (!file) {
    ::_close(descriptor);
    return false;
  }
  PackageTrailer trailer;
  if (!readPackageTrailer(file.get(), trailer)) {
    failure_ = "no signature trailer (\"!fyrelsig!\", signature, \"!fyrelsig!\") in the package's last " +
               std::to_string(kTrailerWindow) + " bytes";
    return false;
  }
  file.reset();
  signature = std::move(trailer.signature);
  // What the cut takes off (the trailer lies in the last kTrailerWindow
  // bytes) is kept for the digest of the whole package, so the content is
  // read once for both hashes.
  LARGE_INTEGER end;
  end.QuadPart = trailer.contentLength;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(package, &size) || size.QuadPart < end.QuadPart ||
      size.QuadPart - end.QuadPart > static_cast<LONGLONG>(kTrailerWindow) ||
      !::SetFilePointerEx(package, end, nullptr, FILE_BEGIN)) {
    failure_ = "reading the signature trailer failed: " + errorName(::GetLastError());
    return false;
  }
  cutTail_.resize(static_cast<std::size_t>(size.QuadPart - end.QuadPart));
  DWORD read = 0;
  if (!cutTail_.empty() &&
      (!::ReadFile(package, cutTail_.data(), static_cast<DWORD>(cutTail_.size()), &read, nullptr) ||
       read != cutTail_.size())) {
    failure_ = "reading the signature trailer failed: " + errorName(::GetLastError());
    return false;
  }
  // Cut before checking: a package that fails is deleted by the caller
  // anyway, and one that passes must be exactly the signed content.
  if (::SetFilePointerEx(package, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(package)) return true;
  failure_ = "cutting the signature off failed: " + errorName(::GetLastError());
  return false;
}

bool SignatureVerifier::checkSignature(HANDLE package, const std::atomic<bool>* stopRequested) {
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(package, start, nullptr, FILE_BEGIN)) return false;
  UniqueCryptHash hash;
  if (!::CryptCreateHash(provider.get(), CALG_MD5, 0, 0, hash.put())) return false;
  Sha256 whole;
  // Large reads: a 64 MB package is hashed in a thousand system calls, not
  // in sixty thousand. The pieces' size does not change the hash.
  std::vector<unsigned char> piece(kReadBufferSize);
  for (;;) {
    if (stopRequested != nullptr && stopRequested->load(std::memory_order_acquire)) return false;
    DWORD read = 0;
    if (!::ReadFile(package, piece.data(), static_cast<DWORD>(piece.size()), &read, nullptr)) {
      failure_ = "reading the package failed: " + errorName(::GetLastError());
      return false;
    }
    if (read == 0) break;
    if (!::CryptHashData(hash.get(), piece.data(), read, 0)) return false;
    whole.update(piece.data(), read);
  }
  whole.update(cutTail_.data(), cutTail_.size());
  packageDigestKnown_ = whole.finish(packageDigest_);
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
  cutTail_.clear();
  cutTail_.shrink_to_fit();
}

}  // namespace fyrel
