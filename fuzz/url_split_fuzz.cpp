// Package addresses come from the host page, redirect targets from any
// server on the way: any bytes at all. The input is an address, then
// optionally a NUL and a Location to follow from it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "download/url_parts.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// What every accepted address must look like, however it was reached.
void checkParts(const fyrel::UrlParts& parts) {
  if (parts.host.empty() || parts.port == 0) std::abort();
  if (parts.path.empty() || parts.path[0] != '/') std::abort();
  // No user information and no port left inside the server name.
  if (parts.host.find('@') != std::string::npos || parts.host.find('/') != std::string::npos) std::abort();
  if (parts.host[0] == '[') {
    if (parts.host.back() != ']') std::abort();
  } else if (parts.host.find(':') != std::string::npos) {
    std::abort();
  }
  for (char c : parts.host) {
    if (static_cast<unsigned char>(c) <= 0x20) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::string url = input.substr(0, nul);

  fyrel::UrlParts parts{"untouched", "untouched", 7, true};
  const bool split = fyrel::splitUrl(url, parts);
  const std::size_t marker = url.find("://");
  if (!split) {
    // A refused address leaves the parts alone.
    if (parts.host != "untouched" || parts.path != "untouched" || parts.port != 7) std::abort();
    return 0;
  }
  checkParts(parts);
  if (marker == std::string::npos) std::abort();
  // The path is the address's tail byte for byte, and the port is either
  // the scheme's own or written in the address.
  if (url.size() < parts.path.size() || url.compare(url.size() - parts.path.size(), std::string::npos, parts.path) != 0)
    std::abort();
  const std::uint16_t schemePort = parts.secure ? fyrel::kHttpsPort : fyrel::kHttpPort;
  if (parts.port != schemePort && url.find(':', marker + 3) == std::string::npos) std::abort();
  if (parts.port != schemePort && !isDigit(url[url.size() - parts.path.size() - 1])) std::abort();

  if (nul == std::string::npos) return 0;
  fyrel::UrlParts next{"untouched", "untouched", 7, false};
  if (!fyrel::redirectTarget(parts, input.substr(nul + 1), next)) {
    if (next.host != "untouched" || next.path != "untouched") std::abort();
    return 0;
  }
  checkParts(next);
  if (parts.secure && !next.secure) std::abort();  // never down from TLS
  return 0;
}
