// The trailer is read from a package fresh off the network, before its
// signature is known to be good: every byte is the sender's choice.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "verify/package_trailer.h"
#include "verify/trailer_window.h"

namespace {

// The window the download holds back, fed in pieces whose sizes the input's
// first byte picks, must find the same trailer as the stream search.
void checkHeldWindow(const std::uint8_t* data, std::size_t size, bool found, const fyrel::PackageTrailer& expected) {
  const std::size_t piece = size == 0 ? 1 : 1 + data[0] * 997u;
  fyrel::TrailerWindow window;
  std::size_t released = 0;
  for (std::size_t at = 0; at < size; at += piece) {
    window.add(data + at, std::min(piece, size - at),
               [&](const std::uint8_t*, std::size_t count) { released += count; });
  }
  if (released != window.start() || window.total() != size) std::abort();
  fyrel::PackageTrailer inMemory;
  if (fyrel::findPackageTrailer(window.data(), window.size(), window.start(), inMemory) != found) std::abort();
  if (found && (inMemory.contentLength != expected.contentLength || inMemory.signature != expected.signature))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fyrel::fuzz::MemoryStream stream(bytes);
  if (stream.get() == nullptr) return 0;

  fyrel::PackageTrailer trailer;
  const bool found = fyrel::readPackageTrailer(stream.get(), trailer);
  checkHeldWindow(data, size, found, trailer);

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
