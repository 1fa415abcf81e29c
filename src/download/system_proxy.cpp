#include "download/system_proxy.h"

#include <windows.h>
#include <wininet.h>

#include <type_traits>
#include <vector>

#include "common/unique_internet.h"

namespace fyrel {

// What InternetQueryOptionA writes: the ANSI form of the structure.
static_assert(std::is_same_v<decltype(INTERNET_PROXY_INFO::lpszProxy), LPCSTR>, "an ANSI build");

SystemProxy systemProxy() {
  SystemProxy proxy;
  // A session opened with the system's settings answers with them.
  UniqueInternet session(::InternetOpenA("fyrel", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return proxy;
  DWORD size = 0;
  ::InternetQueryOptionA(session.get(), INTERNET_OPTION_PROXY, nullptr, &size);
  if (size < sizeof(INTERNET_PROXY_INFO)) return proxy;
  // The strings follow the structure in the same buffer.
  std::vector<char> buffer(size);
  auto* info = reinterpret_cast<INTERNET_PROXY_INFO*>(buffer.data());
  if (!::InternetQueryOptionA(session.get(), INTERNET_OPTION_PROXY, info, &size)) return proxy;
  if (info->dwAccessType != INTERNET_OPEN_TYPE_PROXY || info->lpszProxy == nullptr) return proxy;
  proxy.servers = info->lpszProxy;
  if (info->lpszProxyBypass != nullptr) proxy.bypass = info->lpszProxyBypass;
  return proxy;
}

}  // namespace fyrel
