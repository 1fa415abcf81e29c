#include "png_encoder.h"

#include <algorithm>
#include <array>

namespace fyrel::hostplayer {
namespace {

const std::array<std::uint32_t, 256>& crcTable() {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

void putBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 24));
  out.push_back(static_cast<std::uint8_t>(value >> 16));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

// Length, type, data, then the CRC over type and data.
void putChunk(std::vector<std::uint8_t>& out, const char type[4], const std::vector<std::uint8_t>& data) {
  putBigEndian32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  putBigEndian32(out, crc32(out.data() + typeAt, 4 + data.size()));
}

// A zlib stream whose deflate blocks are all "stored": each holds at most
// 65,535 bytes, introduced by its length and the length's complement
// (little-endian, unlike the rest of PNG).
std::vector<std::uint8_t> storedZlib(const std::vector<std::uint8_t>& raw) {
  constexpr std::size_t kMaxBlock = 65535;
  std::vector<std::uint8_t> out = {0x78, 0x01};
  std::size_t at = 0;
  do {
    const std::size_t n = std::min(kMaxBlock, raw.size() - at);
    const bool last = at + n == raw.size();
    out.push_back(last ? 1 : 0);
    out.push_back(static_cast<std::uint8_t>(n));
    out.push_back(static_cast<std::uint8_t>(n >> 8));
    out.push_back(static_cast<std::uint8_t>(~n));
    out.push_back(static_cast<std::uint8_t>(~n >> 8));
    out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
               raw.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
  } while (at < raw.size());
  putBigEndian32(out, adler32(raw.data(), raw.size()));
  return out;
}

}  // namespace

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
  const auto& table = crcTable();
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t adler32(const std::uint8_t* data, std::size_t size, std::uint32_t adler) {
  constexpr std::uint32_t kModulus = 65521;
  std::uint32_t a = adler & 0xFFFF, b = adler >> 16;
  for (std::size_t i = 0; i < size; ++i) {
    a = (a + data[i]) % kModulus;
    b = (b + a) % kModulus;
  }
  return (b << 16) | a;
}

std::vector<std::uint8_t> encodePng(int width, int height, const std::vector<std::uint8_t>& rgb) {
  if (width <= 0 || height <= 0) return {};
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  if (rgb.size() != rowBytes * static_cast<std::size_t>(height)) return {};

  std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

  std::vector<std::uint8_t> header;
  putBigEndian32(header, static_cast<std::uint32_t>(width));
  putBigEndian32(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, no interlace
  putChunk(out, "IHDR", header);

  // Every scanline starts with its filter type; 0 leaves the bytes as they are.
  std::vector<std::uint8_t> raw;
  raw.reserve((rowBytes + 1) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(rowBytes * static_cast<std::size_t>(y));
    raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(rowBytes));
  }
  putChunk(out, "IDAT", storedZlib(raw));
  putChunk(out, "IEND", {});
  return out;
}

}  // namespace fyrel::hostplayer
