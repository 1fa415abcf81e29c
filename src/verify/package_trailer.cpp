#include "verify/package_trailer.h"

#include <algorithm>

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

bool findPackageTrailer(const unsigned char* window, std::size_t size, std::uint64_t windowStart,
                        PackageTrailer& trailer) {
  if (size > static_cast<std::size_t>(kTrailerWindow)) return false;
  const unsigned char* end = window + size;
  const unsigned char* marker = reinterpret_cast<const unsigned char*>(kSignatureMarker);
  const unsigned char* markerEnd = marker + kSignatureMarkerLength;
  const unsigned char* first = std::search(window, end, marker, markerEnd);
  if (first == end) return false;
  // The second search begins where the stream search stands after the
  // first: one byte past the first marker, so the signature's first byte is
  // never searched and the signature is never empty.
  const std::size_t resume = static_cast<std::size_t>(first - window) + kSignatureMarkerLength + 1;
  if (resume > size) return false;
  const unsigned char* second = std::search(window + resume, end, marker, markerEnd);
  if (second == end) return false;
  const std::uint64_t contentLength = windowStart + static_cast<std::uint64_t>(first - window);
  if (contentLength > static_cast<std::uint64_t>(INT32_MAX)) return false;
  trailer.contentLength = static_cast<int32_t>(contentLength);
  trailer.signature.assign(first + kSignatureMarkerLength, second);
  return true;
}

}  // namespace fyrel
