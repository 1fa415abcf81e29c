// Letter case as Windows folds names for the letters every code page
// shares: A to Z only. Pure: no Windows header, so the byte-level checks
// that compare names build natively too.
#pragma once

#include <cstddef>
#include <string>

namespace fyrel {

inline char lowerAscii(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string lowerAscii(std::string text) {
  for (char& c : text) c = lowerAscii(c);
  return text;
}

// Whether two names (bytes of the system code page, with their lengths) are
// one name to the file system. The pure name checks take one, so that the
// platform side can hand them the file system's own Unicode folding
// (storage/file_name_case.h: "Été.dll" is "été.dll"); without a platform,
// A to Z alone.
using SameNameFn = bool (*)(const char* a, std::size_t aLength, const char* b, std::size_t bLength) noexcept;

inline bool sameNameIgnoringAsciiCase(const char* a, std::size_t aLength, const char* b, std::size_t bLength) noexcept {
  if (aLength != bLength) return false;
  for (std::size_t i = 0; i < aLength; ++i) {
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace fyrel
