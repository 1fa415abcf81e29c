// The trailer appended to a signed package: content, marker, signature,
// marker, optional tail. Locating it needs only stdio, so the arithmetic is
// shared by the product and the native sanitizer build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace fyrel {

constexpr char kSignatureMarker[] = "!fyrelsig!";
constexpr int32_t kSignatureMarkerLength = sizeof kSignatureMarker - 1;
// The first marker must begin within this many bytes of the end of the file;
// the search never reads more than that.
constexpr int32_t kTrailerWindow = 102400;

struct PackageTrailer {
  int32_t contentLength = 0;             // offset of the first marker: the file is cut here
  std::vector<unsigned char> signature;  // as stored, least significant byte first
};

// Finds both markers in the last kTrailerWindow bytes of stream and reads the
// signature between them. False when fewer than two markers follow the
// window's start or nothing lies between them. Moves the stream's position,
// never writes.
bool readPackageTrailer(std::FILE* stream, PackageTrailer& trailer);

// The same rules over the package's last bytes held in memory: window is
// the last min(package length, kTrailerWindow) bytes, and windowStart the
// offset of its first byte in the package. A package whose content would
// not fit the 32-bit offset is refused like one without a trailer.
bool findPackageTrailer(const unsigned char* window, std::size_t size, std::uint64_t windowStart,
                        PackageTrailer& trailer);

}  // namespace fyrel
