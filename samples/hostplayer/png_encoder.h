// A minimal PNG writer: 8-bit RGB, no filtering, zlib stream of stored
// (uncompressed) deflate blocks. Snapshots are for looking at, not for
// shipping, so size does not matter and no library is needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fyrel::hostplayer {

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);
std::uint32_t adler32(const std::uint8_t* data, std::size_t size, std::uint32_t adler = 1);

// rgb holds height rows of width pixels, 3 bytes each, top row first.
// Returns an empty vector when rgb has the wrong size.
std::vector<std::uint8_t> encodePng(int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace fyrel::hostplayer
