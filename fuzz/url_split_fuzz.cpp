// Package addresses come from the host page: any bytes at all.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "download/url_parts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string url(reinterpret_cast<const char*>(data), size);
  fyrel::UrlParts parts{"untouched", "untouched"};
  const bool split = fyrel::splitUrl(url, parts);
  const std::size_t marker = url.find("://");
  if (!split) {
    // A refused address leaves the parts alone and really lacks a piece.
    if (parts.host != "untouched" || parts.path != "untouched") std::abort();
    if (marker != std::string::npos && url.find('/', marker + 3) != std::string::npos) std::abort();
    return 0;
  }
  // The host sits right after the first "://" and holds no "/"; the path
  // starts at the next "/" and runs to the end: nothing dropped, nothing added.
  if (marker == std::string::npos) std::abort();
  if (parts.host.find('/') != std::string::npos) std::abort();
  if (parts.path.empty() || parts.path[0] != '/') std::abort();
  if (url.compare(marker + 3, std::string::npos, parts.host + parts.path) != 0) std::abort();
  return 0;
}
