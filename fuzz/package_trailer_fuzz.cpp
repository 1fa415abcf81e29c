// The trailer is read from a package fresh off the network, before its
// signature is known to be good: every byte is the sender's choice.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "verify/package_trailer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fyrel::fuzz::MemoryStream stream(bytes);
  if (stream.get() == nullptr) return 0;

  fyrel::PackageTrailer trailer;
  const bool found = fyrel::readPackageTrailer(stream.get(), trailer);

  const std::string marker = fyrel::kSignatureMarker;
  const std::size_t window = static_cast<std::size_t>(fyrel::kTrailerWindow);
  const std::size_t windowStart = bytes.size() > window ? bytes.size() - window : 0;
  const std::size_t first = bytes.find(marker, windowStart);
  std::size_t second = std::string::npos;
  if (first != std::string::npos) second = bytes.find(marker, std::min(first + marker.size() + 1, bytes.size()));
  const bool expected = second != std::string::npos && second > first + marker.size();
  if (found != expected) std::abort();
  if (!found) return 0;
  // The cut lands on the first marker and the signature is exactly the bytes
  // between the markers.
  if (trailer.contentLength != static_cast<std::int32_t>(first)) std::abort();
  const std::string between = bytes.substr(first + marker.size(), second - first - marker.size());
  if (trailer.signature.size() != between.size()) std::abort();
  if (!std::equal(trailer.signature.begin(), trailer.signature.end(), between.begin(),
                  [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); })) {
    std::abort();
  }
  return 0;
}
