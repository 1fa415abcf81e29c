#include "extract/member_name.h"

#include <cstring>

#include "common/ascii_case.h"

namespace fyrel {
namespace {

bool isSeparator(char c) noexcept { return c == '\\' || c == '/'; }

// Windows drops trailing dots and spaces from a path component, so ". ." or
// "..." may well resolve like ".."; a component of nothing but dots and
// spaces never names a real file of a package.
bool isDotsAndSpacesOnly(const char* begin, const char* end) noexcept {
  for (const char* p = begin; p != end; ++p) {
    if (*p != '.' && *p != ' ') return false;
  }
  return true;
}

// The end of a component as Windows uses it: trailing dots and spaces go.
const char* trimmedEnd(const char* begin, const char* end) noexcept {
  while (end != begin && (end[-1] == '.' || end[-1] == ' ')) --end;
  return end;
}

bool equalsIgnoringCase(const char* begin, const char* end, const char* text) noexcept {
  for (const char* p = begin; p != end; ++p, ++text) {
    if (*text == '\0' || lowerAscii(*p) != lowerAscii(*text)) return false;
  }
  return *text == '\0';
}

// Windows opens a device for a component whose part before the first dot,
// without trailing spaces, is a device name: "nul", "NUL.txt", "com1 .log".
// The superscript digits (code page 1252) count as port numbers too.
bool isDeviceName(const char* begin, const char* end) noexcept {
  const char* base = begin;
  while (base != end && *base != '.') ++base;
  while (base != begin && base[-1] == ' ') --base;
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* device : kDevices) {
    if (equalsIgnoringCase(begin, base, device)) return true;
  }
  if (base - begin != 4) return false;
  if (!equalsIgnoringCase(begin, begin + 3, "com") && !equalsIgnoringCase(begin, begin + 3, "lpt")) return false;
  const auto digit = static_cast<unsigned char>(begin[3]);
  return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

bool isReserved(const char* begin, const char* end, const std::vector<std::string>& reservedNames,
                SameNameFn sameName) noexcept {
  end = trimmedEnd(begin, end);
  for (const std::string& reserved : reservedNames) {
    if (!reserved.empty() && sameName(begin, static_cast<std::size_t>(end - begin), reserved.data(), reserved.size()))
      return true;
  }
  return false;
}

}  // namespace

bool isSafeMemberName(const char* name, const std::vector<std::string>& reservedNames, SameNameFn sameName) noexcept {
  if (name == nullptr || *name == '\0') return false;
  if (std::strchr(name, ':') != nullptr) return false;  // drive letter or stream
  const char* component = name;
  for (const char* p = name;; ++p) {
    if (*p == '\0' || isSeparator(*p)) {
      // An empty component is a leading separator (rooted or UNC name), a
      // doubled one or a trailing one (a folder, not a file).
      if (p == component || isDotsAndSpacesOnly(component, p)) return false;
      if (isDeviceName(component, p)) return false;
      // A reserved name is refused as the top-level file and as the first
      // folder of a path: "_version.bin\x" would make a folder where the
      // marker must be written.
      if (component == name && isReserved(component, p, reservedNames, sameName)) return false;
      if (*p == '\0') return true;
      component = p + 1;
    }
  }
}

bool namesDevice(const std::string& component) noexcept {
  return isDeviceName(component.data(), component.data() + component.size());
}

std::string memberPath(const char* name) {
  std::string path(name != nullptr ? name : "");
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace fyrel
