// Splitting a package address into the server name and the object path.
// Pure byte logic: no Windows header.
#pragma once

#include <string>

namespace fyrel {

struct UrlParts {
  std::string host;  // between the first "://" and the next "/"; may be empty
  std::string path;  // from that "/" to the end, query included
};

// False when the address has no "://" or no "/" after it.
bool splitUrl(const std::string& url, UrlParts& parts);

// Where a redirect's Location leads from `from`: an address "http://host/path"
// (another host is fine; the port stays 80), or a path on the same host
// ("/other/path"). False for anything else (another scheme, a relative
// path, an empty host), which fails the attempt.
bool redirectTarget(const UrlParts& from, const std::string& location, UrlParts& to);

}  // namespace fyrel
