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

}  // namespace fyrel
