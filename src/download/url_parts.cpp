#include "download/url_parts.h"

namespace fyrel {

bool splitUrl(const std::string& url, UrlParts& parts) {
  // The scheme is never looked at, and the first "://" anywhere counts: the
  // address is taken as the host gave it, without a URL parser's opinions.
  const std::size_t marker = url.find("://");
  if (marker == std::string::npos) return false;
  const std::size_t serverStart = marker + 3;
  const std::size_t slash = url.find('/', serverStart);
  if (slash == std::string::npos) return false;
  parts.host = url.substr(serverStart, slash - serverStart);
  parts.path = url.substr(slash);
  return true;
}

bool redirectTarget(const UrlParts& from, const std::string& location, UrlParts& to) {
  if (!location.empty() && location[0] == '/') {
    if (location.size() > 1 && location[1] == '/') return false;  // "//host/path": no scheme to go by
    to.host = from.host;
    to.path = location;
    return true;
  }
  static const char kScheme[] = "http://";
  if (location.size() < sizeof kScheme - 1) return false;
  for (std::size_t i = 0; i + 1 < sizeof kScheme; ++i) {
    const char c = location[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kScheme[i]) return false;
  }
  UrlParts parts;
  if (!splitUrl(location, parts) || parts.host.empty()) return false;
  to = parts;
  return true;
}

}  // namespace fyrel
