// Finds the RSA signature appended to a package, cuts it off and checks it
// against the built-in public key with CryptoAPI (MD5, PKCS#1 v1.5).
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "common/file_digest.h"
#include "common/unique_handle.h"
#include "verify/package_hashes.h"

namespace fyrel {

class SignatureVerifier {
 public:
  SignatureVerifier() noexcept;
  virtual ~SignatureVerifier();  // destroys the key, then releases the provider
  SignatureVerifier(const SignatureVerifier&) = delete;
  SignatureVerifier& operator=(const SignatureVerifier&) = delete;

  // Imports a 148-byte PUBLICKEYBLOB; called once, at creation.
  bool importPublicKey(const unsigned char* blob, std::size_t length);
  // The check of a downloaded package: package is its file, still open
  // from its first byte (read and write access, shared for reading only),
  // and hashes took every byte of it as it was written. Finds the trailer
  // in the bytes the hashes held back, ends the content's hash there, cuts
  // the trailer off and checks the signature: the package is never read
  // again. True: the file now holds exactly the signed content and the
  // signature matched; the file stays open so, until takeVerifiedPackage's
  // handle is closed, and what was hashed is what the caller then reads.
  // False: see the trailer rules (unchanged, or cut at the first marker),
  // and the file is closed.
  bool verifyDownloaded(UniqueFile package, PackageHashes& hashes);
  // The same check for a package already on disk at filePath, opened
  // through the checked door (storage/checked_file.h: one plain file with
  // one name, landing in heldFolder, empty: in the folder filePath names)
  // and hashed in one read. A raised stopRequested (read between reads)
  // ends the check early, as failed.
  bool verify(const std::string& filePath, const std::wstring& heldFolder = {},
              const std::atomic<bool>* stopRequested = nullptr);
  // The package of the last successful verify, still open (read and write
  // access, shared for reading only); empty after a failed one.
  UniqueFile takeVerifiedPackage() noexcept { return std::move(verifiedPackage); }
  // Why the last verify failed, in words a host team can act on; empty
  // after one that passed.
  const std::string& failure() const noexcept { return failure_; }
  // The SHA-256 of the package whole, as it was downloaded (the signature
  // and anything after it included), taken with the content's hash;
  // false when the last verify did not get that far.
  bool packageSha256(Sha256Digest& digest) const noexcept {
    digest = packageDigest_;
    return packageDigestKnown_;
  }

 private:
  bool checkSignature(const Md5Digest& content);
  void releaseTrailer();

  // Declared provider first so that the key is destroyed before the provider
  // that made it is released.
  UniqueCryptProvider provider;
  UniqueCryptKey key;
  std::string filePath;
  std::vector<unsigned char> signature;
  UniqueFile verifiedPackage;
  std::string failure_;
  Sha256Digest packageDigest_{};
  bool packageDigestKnown_ = false;
};

}  // namespace fyrel
