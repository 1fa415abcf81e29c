// Which of the system's proxies a request goes through. Pure byte logic:
// no Windows header.
#pragma once

#include <string>

namespace fyrel {

// From a proxy list as the system keeps it ("proxy:3128", or per scheme
// "http=a:8080;https=b:8443", entries parted by blanks or ";"): the entry
// named for the request's scheme ("https" when `secure`, else "http"),
// else the first entry with no scheme name, else none (empty: straight to
// the server). A "http://" before the server is dropped; an entry without
// a port gets 80. Names are compared without regard to letter case.
std::string proxyFor(const std::string& list, bool secure);

}  // namespace fyrel
