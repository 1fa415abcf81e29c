#include "download/proxy_choice.h"

#include <vector>

#include "common/ascii_case.h"

namespace fyrel {
namespace {

std::vector<std::string> entriesOf(const std::string& list) {
  std::vector<std::string> entries;
  std::string entry;
  for (char c : list + ";") {
    if (c == ';' || c == ' ' || c == '\t') {
      if (!entry.empty()) entries.push_back(entry);
      entry.clear();
    } else {
      entry += c;
    }
  }
  return entries;
}

// "host:port" from "[http://]host[:port][/]".
std::string serverOf(std::string proxy) {
  if (lowerAscii(proxy.substr(0, 7)) == "http://") proxy.erase(0, 7);
  while (!proxy.empty() && proxy.back() == '/') proxy.pop_back();
  if (proxy.empty()) return proxy;
  const std::size_t bracket = proxy.rfind(']');
  const std::size_t colon = proxy.rfind(':');
  const bool hasPort = colon != std::string::npos && (bracket == std::string::npos || colon > bracket);
  return hasPort ? proxy : proxy + ":80";
}

}  // namespace

std::string proxyFor(const std::string& list, bool secure) {
  const std::string scheme = secure ? "https" : "http";
  const std::vector<std::string> entries = entriesOf(list);
  for (const std::string& entry : entries) {
    const std::size_t equals = entry.find('=');
    if (equals != std::string::npos && lowerAscii(entry.substr(0, equals)) == scheme)
      return serverOf(entry.substr(equals + 1));
  }
  for (const std::string& entry : entries) {
    if (entry.find('=') == std::string::npos) return serverOf(entry);
  }
  return {};
}

}  // namespace fyrel
