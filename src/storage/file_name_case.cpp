#include "storage/file_name_case.h"

#include <windows.h>

namespace fyrel {

std::wstring widenAnsi(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, &wide[0], length);
  return wide;
}

std::wstring fileSystemUpperCase(const std::wstring& name) {
  if (name.empty()) return {};
  // Simple (one character for one) upper-casing of the invariant locale:
  // what CompareStringOrdinal and the file system fold with, never the
  // linguistic casing of the user's language.
  std::wstring upper(name.size(), L'\0');
  const int size = static_cast<int>(name.size());
  const int length = ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name.data(), size, &upper[0], size);
  if (length != size) return name;  // cannot happen for a one-to-one map; the name as it is then
  return upper;
}

std::wstring fileSystemUpperCase(const std::string& ansiName) { return fileSystemUpperCase(widenAnsi(ansiName)); }

bool sameFileSystemName(const std::wstring& a, const std::wstring& b) noexcept {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

bool sameAnsiFileName(const char* a, std::size_t aLength, const char* b, std::size_t bLength) noexcept {
  wchar_t wideA[MAX_PATH];
  wchar_t wideB[MAX_PATH];
  if (aLength == 0 || bLength == 0) return aLength == bLength;
  if (aLength > MAX_PATH || bLength > MAX_PATH) return false;
  const int lengthA = ::MultiByteToWideChar(CP_ACP, 0, a, static_cast<int>(aLength), wideA, MAX_PATH);
  const int lengthB = ::MultiByteToWideChar(CP_ACP, 0, b, static_cast<int>(bLength), wideB, MAX_PATH);
  return lengthA > 0 && lengthB > 0 && ::CompareStringOrdinal(wideA, lengthA, wideB, lengthB, TRUE) == CSTR_EQUAL;
}

}  // namespace fyrel
