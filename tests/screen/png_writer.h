// Writes 24-bit RGB PNG files (stored deflate blocks, no compression), so
// snapshots can be looked at without any tool of ours.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fyrel::test {

// rgb: width * height pixels as 0xRRGGBB, rows top first. Returns the file
// bytes.
std::string encodePng(int width, int height, const std::vector<std::uint32_t>& rgb);

}  // namespace fyrel::test
