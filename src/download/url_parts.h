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

}  // namespace fyrel
