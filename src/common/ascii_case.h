// Letter case as Windows folds names for the letters every code page
// shares: A to Z only. Pure: no Windows header, so the byte-level checks
// that compare names build natively too.
#pragma once

#include <string>

namespace fyrel {

inline char lowerAscii(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string lowerAscii(std::string text) {
  for (char& c : text) c = lowerAscii(c);
  return text;
}

}  // namespace fyrel
