#include "extract/member_name.h"

#include <cstring>

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

}  // namespace

bool isSafeMemberName(const char* name) noexcept {
  if (name == nullptr || *name == '\0') return false;
  if (std::strchr(name, ':') != nullptr) return false;  // drive letter or stream
  const char* component = name;
  for (const char* p = name;; ++p) {
    if (*p == '\0' || isSeparator(*p)) {
      // An empty component is a leading separator (rooted or UNC name), a
      // doubled one or a trailing one (a folder, not a file).
      if (p == component || isDotsAndSpacesOnly(component, p)) return false;
      if (*p == '\0') return true;
      component = p + 1;
    }
  }
}

}  // namespace fyrel
