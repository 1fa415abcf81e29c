// Member names come from the cabinet, after the signature check but from
// whoever holds a signing key, and from a damaged file too. A name that
// passes must land below the target folder however Windows reads it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "extract/member_name.h"

namespace {

// Windows' own reading of a relative path: components split at either
// slash, trailing dots and spaces dropped, "." and ".." resolved.
bool staysBelowTheFolder(const std::string& name) {
  if (name.empty() || name.find(':') != std::string::npos) return false;
  if (name[0] == '\\' || name[0] == '/') return false;
  int depth = 0;
  std::string component;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && name[i] != '\\' && name[i] != '/') {
      component += name[i];
      continue;
    }
    while (!component.empty() && (component.back() == '.' || component.back() == ' ')) component.pop_back();
    if (component.empty()) return false;  // ".", "..", "...", an empty level: nothing that names a file
    ++depth;
    component.clear();
  }
  return depth > 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // FDI hands over a C string: the name ends at the first NUL.
  const std::string name(reinterpret_cast<const char*>(data), size);
  const std::string cName = name.substr(0, name.find('\0'));
  if (fyrel::isSafeMemberName(cName.c_str()) && !staysBelowTheFolder(cName)) std::abort();
  if (fyrel::isSafeMemberName(nullptr)) std::abort();
  return 0;
}
