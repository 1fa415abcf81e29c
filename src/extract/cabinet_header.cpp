#include "extract/cabinet_header.h"

namespace fyrel {
namespace {

constexpr std::uint16_t kPreviousCabinet = 0x0001;
constexpr std::uint16_t kNextCabinet = 0x0002;
// A member's folder index above these says where the rest of it lies.
constexpr std::uint16_t kContinuedFromPrevious = 0xFFFD;  // also 0xFFFE, 0xFFFF
constexpr std::size_t kFolderIndexOffset = 8;
constexpr std::size_t kMemberFixedSize = 16;

std::uint16_t le16(const unsigned char* p) noexcept {
  return static_cast<std::uint16_t>(p[0] | (static_cast<unsigned>(p[1]) << 8));
}
std::uint32_t le32(const unsigned char* p) noexcept {
  return static_cast<std::uint32_t>(le16(p)) | (static_cast<std::uint32_t>(le16(p + 2)) << 16);
}

}  // namespace

bool parseCabinetHeader(const unsigned char* bytes, std::size_t size, CabinetHeader& header) noexcept {
  if (bytes == nullptr || size < kCabinetHeaderSize) return false;
  if (bytes[0] != 'M' || bytes[1] != 'S' || bytes[2] != 'C' || bytes[3] != 'F') return false;
  header.membersOffset = le32(bytes + 16);
  header.memberCount = le16(bytes + 28);
  header.flags = le16(bytes + 30);
  return true;
}

bool namesOtherCabinets(const CabinetHeader& header) noexcept {
  return (header.flags & (kPreviousCabinet | kNextCabinet)) != 0;
}

bool membersStayInside(const CabinetHeader& header, const unsigned char* entries, std::size_t size) noexcept {
  std::size_t at = 0;
  for (std::uint32_t i = 0; i < header.memberCount; ++i) {
    if (entries == nullptr || size - at < kMemberFixedSize) return false;
    if (le16(entries + at + kFolderIndexOffset) >= kContinuedFromPrevious) return false;
    at += kMemberFixedSize;
    // The name, up to and including its NUL.
    while (at < size && entries[at] != 0) ++at;
    if (at == size) return false;
    ++at;
  }
  return true;
}

}  // namespace fyrel
