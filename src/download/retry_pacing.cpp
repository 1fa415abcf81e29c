#include "download/retry_pacing.h"

namespace fyrel {
namespace {

constexpr std::uint32_t kGoodAttemptBytes = 1024u * 1024u;
constexpr std::uint32_t kFirstSlowPauseMs = 500;
constexpr std::uint32_t kLongestSlowPauseMs = 8000;
constexpr std::uint32_t kFirstTransientPauseMs = 1000;

}  // namespace

bool isTransientStatus(std::uint32_t status) noexcept {
  switch (status) {
    case 408:
    case 429:
    case 500:
    case 502:
    case 503:
    case 504:
      return true;
    default:
      return false;
  }
}

bool parseRetryAfter(const std::string& text, std::uint32_t& ms) noexcept {
  std::string::size_type i = 0;
  const std::string::size_type end = text.size();
  while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::uint32_t seconds = 0;
  bool digits = false;
  for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
    digits = true;
    // Anything past the cap is the cap: no need to read on exactly.
    if (seconds <= kMaxRetryAfterMs / 1000) seconds = seconds * 10 + static_cast<std::uint32_t>(text[i] - '0');
  }
  while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (!digits || i != end) return false;
  ms = seconds >= kMaxRetryAfterMs / 1000 ? kMaxRetryAfterMs : seconds * 1000;
  return true;
}

std::uint32_t transientPauseMs(int retry, bool serverAsked, std::uint32_t retryAfterMs) noexcept {
  if (serverAsked) return retryAfterMs < kMaxRetryAfterMs ? retryAfterMs : kMaxRetryAfterMs;
  if (retry < 0) retry = 0;
  if (retry > 4) retry = 4;
  return kFirstTransientPauseMs << retry;
}

std::uint32_t restartPauseMs(std::uint32_t added, int& slowInARow) noexcept {
  if (added >= kGoodAttemptBytes) {
    slowInARow = 0;
    return 0;
  }
  std::uint32_t pause = kFirstSlowPauseMs;
  for (int i = 0; i < slowInARow && pause < kLongestSlowPauseMs; ++i) pause *= 2;
  if (pause > kLongestSlowPauseMs) pause = kLongestSlowPauseMs;
  if (slowInARow < 16) ++slowInARow;
  return pause;
}

}  // namespace fyrel
