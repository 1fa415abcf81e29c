// The proxy settings of the system, as WinINet reads them for this user
// (the ones a user sets in the Internet options).
#pragma once

#include <string>

namespace fyrel {

struct SystemProxy {
  std::string servers;  // the proxy list; empty: no proxy
  std::string bypass;   // servers reached straight ("<local>;*.example.com"); may be empty
};

// Asked on every call: a setting changed while the player runs counts from
// the next attempt on. No proxy when WinINet cannot tell.
SystemProxy systemProxy();

}  // namespace fyrel
