// The snapshot PNG writer: its checksums against published check values, and
// its stored-block zlib stream taken apart again. (The end-to-end test also
// decodes real snapshots with ImageMagick.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>

// The samples are programs, not part of the library the native build links,
// so the test compiles the source it checks.
#include "../../samples/hostplayer/png_encoder.cpp"

namespace fyrel::hostplayer {
namespace {

const std::uint8_t* bytes(const char* text) { return reinterpret_cast<const std::uint8_t*>(text); }

std::uint32_t bigEndian32(const std::vector<std::uint8_t>& v, std::size_t at) {
  return (std::uint32_t{v[at]} << 24) | (std::uint32_t{v[at + 1]} << 16) | (std::uint32_t{v[at + 2]} << 8) | v[at + 3];
}

TEST(PngChecksums, MatchTheStandardCheckValues) {
  EXPECT_EQ(crc32(bytes("123456789"), 9), 0xCBF43926u);
  EXPECT_EQ(crc32(bytes(""), 0), 0u);
  EXPECT_EQ(adler32(bytes("Wikipedia"), 9), 0x11E60398u);
  EXPECT_EQ(adler32(bytes(""), 0), 1u);
  // Large enough that the sums wrap the modulus many times.
  std::vector<std::uint8_t> ones(100000, 0xFF);
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : ones) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  EXPECT_EQ(adler32(ones.data(), ones.size()), (b << 16) | a);
}

struct Chunk {
  std::string type;
  std::vector<std::uint8_t> data;
};

// Splits a PNG into chunks, checking each chunk's CRC on the way.
std::vector<Chunk> chunksOf(const std::vector<std::uint8_t>& png) {
  std::vector<Chunk> chunks;
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::uint32_t length = bigEndian32(png, at);
    Chunk chunk;
    chunk.type.assign(png.begin() + static_cast<std::ptrdiff_t>(at + 4),
                      png.begin() + static_cast<std::ptrdiff_t>(at + 8));
    chunk.data.assign(png.begin() + static_cast<std::ptrdiff_t>(at + 8),
                      png.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    EXPECT_EQ(bigEndian32(png, at + 8 + length), crc32(png.data() + at + 4, 4 + length)) << chunk.type;
    chunks.push_back(std::move(chunk));
    at += 12 + length;
  }
  EXPECT_EQ(at, png.size());
  return chunks;
}

TEST(PngEncoder, SplitsLargeImagesIntoStoredBlocksThatReassembleTheScanlines) {
  static const struct {
    int width, height;
    std::size_t blocks;
  } cases[] = {
      {1, 1, 1},      {21844, 1, 1},  // 1 + 65,532 bytes: just under a full block
      {21845, 1, 2},                  // 1 + 65,535 bytes: one byte over a full block
      {200, 120, 2},                  // 72,120 bytes
      {640, 480, 15},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(c.width) * c.height * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    const std::vector<std::uint8_t> png = encodePng(c.width, c.height, rgb);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1A\n", 8), 0);

    const std::vector<Chunk> chunks = chunksOf(png);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(bigEndian32(chunks[0].data, 0), static_cast<std::uint32_t>(c.width));
    EXPECT_EQ(bigEndian32(chunks[0].data, 4), static_cast<std::uint32_t>(c.height));
    EXPECT_EQ(chunks[1].type, "IDAT");
    EXPECT_EQ(chunks[2].type, "IEND");

    const std::vector<std::uint8_t>& z = chunks[1].data;
    ASSERT_GE(z.size(), 2u);
    EXPECT_EQ((z[0] * 256 + z[1]) % 31, 0);  // zlib header check
    std::vector<std::uint8_t> raw;
    std::size_t at = 2, blocks = 0;
    bool last = false;
    while (!last) {
      ASSERT_LE(at + 5, z.size());
      last = z[at] == 1;
      const unsigned length = z[at + 1] | (z[at + 2] << 8);
      const unsigned complement = z[at + 3] | (z[at + 4] << 8);
      EXPECT_EQ(length ^ 0xFFFFu, complement);
      raw.insert(raw.end(), z.begin() + static_cast<std::ptrdiff_t>(at + 5),
                 z.begin() + static_cast<std::ptrdiff_t>(at + 5 + length));
      at += 5 + length;
      ++blocks;
    }
    EXPECT_EQ(blocks, c.blocks);
    ASSERT_EQ(at + 4, z.size());
    EXPECT_EQ(bigEndian32(z, at), adler32(raw.data(), raw.size()));

    std::vector<std::uint8_t> expected;
    for (int y = 0; y < c.height; ++y) {
      expected.push_back(0);
      const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(y) * c.width * 3;
      expected.insert(expected.end(), row, row + c.width * 3);
    }
    EXPECT_EQ(raw, expected);
  }
}

TEST(PngEncoder, RefusesPixelsThatDoNotFitTheSize) {
  EXPECT_TRUE(encodePng(2, 2, std::vector<std::uint8_t>(11)).empty());
  EXPECT_TRUE(encodePng(0, 2, {}).empty());
  EXPECT_TRUE(encodePng(2, -1, {}).empty());
}

}  // namespace
}  // namespace fyrel::hostplayer
