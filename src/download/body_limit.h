// How much of a response body the download worker accepts. Pure logic: no
// Windows header.
#pragma once

#include <cstdint>
#include <string>

namespace fyrel {

// The largest package body accepted, announced or not: 2 GiB - 1. The
// progress counters are unsigned 32-bit and must never wrap, and the
// package is later cut and hashed through signed 32-bit offsets; a body
// without a length is bounded here rather than by the disk filling up.
constexpr std::uint32_t kMaxPackageBytes = 0x7FFFFFFFu;

// A Content-Length header value: decimal digits with optional blanks around
// them. False when it is no such number; a number too large for 64 bits
// reads as the largest 64-bit value (it is refused all the same).
bool parseContentLength(const std::string& text, std::uint64_t& length) noexcept;

}  // namespace fyrel
