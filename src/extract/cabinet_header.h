// What a cabinet's header says about the cabinets around it. Only one
// package is downloaded and verified, so a cabinet that names a previous or
// next part, or holds a member that goes on in another cabinet, would pull
// in bytes nobody signed (a file planted beside the package). Pure logic: no
// Windows header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fyrel {

// The fixed part of the header (CFHEADER), and how far the entries of its
// members (CFFILE) may reach: 16 bytes each, then a name of at most 255
// bytes and its NUL.
constexpr std::size_t kCabinetHeaderSize = 36;
constexpr std::size_t kMaxMemberEntrySize = 16 + 256;

struct CabinetHeader {
  std::uint32_t membersOffset = 0;  // from the cabinet's first byte
  std::uint16_t memberCount = 0;
  std::uint16_t flags = 0;
};

// False when the bytes do not begin with a cabinet header.
bool parseCabinetHeader(const unsigned char* bytes, std::size_t size, CabinetHeader& header) noexcept;

// The header names a previous or a next cabinet of a set.
bool namesOtherCabinets(const CabinetHeader& header) noexcept;

// True when every one of the header's member entries lies whole in
// `entries` (the cabinet's bytes from membersOffset on; what follows the
// entries is ignored) and none continues from or to another cabinet.
bool membersStayInside(const CabinetHeader& header, const unsigned char* entries, std::size_t size) noexcept;

}  // namespace fyrel
