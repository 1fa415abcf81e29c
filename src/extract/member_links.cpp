#include "extract/member_links.h"

#include <windows.h>

namespace fyrel {
namespace {

// The attributes of the last component itself: Windows reports a link
// there, and so does Wine for a Unix symbolic link to a folder.
bool isLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

bool memberPathMeetsLink(const std::string& targetFolder, const std::string& memberPath) {
  for (std::size_t at = memberPath.find('\\'); at != std::string::npos; at = memberPath.find('\\', at + 1)) {
    if (isLink(targetFolder + memberPath.substr(0, at))) return true;
  }
  return isLink(targetFolder + memberPath);
}

}  // namespace fyrel
