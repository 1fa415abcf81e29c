#include "download/body_limit.h"

#include <limits>

namespace fyrel {

bool parseContentLength(const std::string& text, std::uint64_t& length) noexcept {
  std::string::size_type i = 0;
  const std::string::size_type end = text.size();
  while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::uint64_t value = 0;
  bool digits = false;
  for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
    digits = true;
    const auto digit = static_cast<std::uint64_t>(text[i] - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
      value = std::numeric_limits<std::uint64_t>::max();
    else
      value = value * 10 + digit;
  }
  while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (!digits || i != end) return false;
  length = value;
  return true;
}

}  // namespace fyrel
