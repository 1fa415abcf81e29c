// When a failed download is tried again, and after how long. Pure logic: no
// Windows header.
#pragma once

#include <cstdint>
#include <string>

namespace fyrel {

// Answers that say "not now" rather than "never": a timeout of the
// request, too many requests, and the server or a gateway failing or
// overloaded for a moment.
bool isTransientStatus(std::uint32_t status) noexcept;

// How many times a failure that added no byte is tried again.
constexpr int kMaxTransientRetries = 3;
// The longest pause a server's Retry-After may ask for.
constexpr std::uint32_t kMaxRetryAfterMs = 30000;

// A Retry-After header in delta seconds, as milliseconds, at most
// kMaxRetryAfterMs. False for anything else (a date included: the
// player's clock may be anything, and the pauses of its own are short).
bool parseRetryAfter(const std::string& text, std::uint32_t& ms) noexcept;

// The pause before the retry number `retry` (0 for the first) of a failure
// that added no byte: 1, 2 and 4 s, or what the server asked for.
std::uint32_t transientPauseMs(int retry, bool serverAsked, std::uint32_t retryAfterMs) noexcept;

// The pause before a restart after an attempt that added `added` bytes: none
// after one that moved at least 1 MB; otherwise 0.5 s, doubling with every
// such restart in a row, at most 8 s. `slowInARow` counts those restarts
// and is reset by a good one.
std::uint32_t restartPauseMs(std::uint32_t added, int& slowInARow) noexcept;

}  // namespace fyrel
