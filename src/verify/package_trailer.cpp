#include "verify/package_trailer.h"

#include "verify/pushback_reader.h"

namespace fyrel {

bool readPackageTrailer(std::FILE* stream, PackageTrailer& trailer) {
  if (std::fseek(stream, 0, SEEK_END) != 0) return false;
  const long size = std::ftell(stream);
  if (size < 0) return false;
  const long windowStart = size > kTrailerWindow ? size - kTrailerWindow : 0;
  if (std::fseek(stream, windowStart, SEEK_SET) != 0) return false;

  PushbackReader reader;
  const int32_t first = reader.findString(stream, kSignatureMarker);
  if (first < 0) return false;
  // Continues from the stream's real position, one byte past the first
  // marker: the signature's first byte is never searched, which is harmless
  // since a signature has at least one byte.
  const int32_t second = reader.findString(stream, kSignatureMarker);
  if (second < 0) return false;
  const int32_t signatureStart = first + kSignatureMarkerLength;
  const int32_t signatureLength = second - signatureStart;
  if (signatureLength <= 0) return false;

  trailer.contentLength = first;
  trailer.signature.assign(static_cast<std::size_t>(signatureLength), 0);
  // A short read leaves zeros, which simply fail the check.
  if (std::fseek(stream, signatureStart, SEEK_SET) == 0) {
    (void)std::fread(trailer.signature.data(), 1, trailer.signature.size(), stream);
  }
  return true;
}

}  // namespace fyrel
