#include "download/url_parts.h"

#include "common/ascii_case.h"

namespace fyrel {
namespace {

bool equalsIgnoringCase(const std::string& text, std::size_t from, std::size_t length, const char* word) noexcept {
  std::size_t i = 0;
  for (; i < length && word[i] != '\0'; ++i) {
    if (from + i >= text.size() || lowerAscii(text[from + i]) != word[i]) return false;
  }
  return i == length && word[i] == '\0';
}

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) noexcept { return isDigit(c) || (lowerAscii(c) >= 'a' && lowerAscii(c) <= 'f'); }

// Decimal 1 to 65535, digits only: "08080" is fine, "+80", " 80" and "" are not.
bool parsePort(const std::string& text, std::uint16_t& port) noexcept {
  if (text.empty()) return false;
  std::uint32_t value = 0;
  for (char c : text) {
    if (!isDigit(c)) return false;
    value = value * 10u + static_cast<std::uint32_t>(c - '0');
    if (value > 65535u) return false;
  }
  if (value == 0) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

// A server name or IPv4 address as the HTTP client is handed it. "@" is the user
// information's end, ":" a port's start, "[" and "]" belong to IPv6
// literals only; the rest could never name a server and would only reach
// the request's Host line.
bool isPlainServerName(const std::string& name) noexcept {
  if (name.empty()) return false;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return false;
    if (c == '@' || c == ':' || c == '[' || c == ']' || c == '\\' || c == '?' || c == '#' || c == '%') return false;
  }
  return true;
}

// The inside of "[...]": hex digits, ":" and the dots of an embedded IPv4
// tail, with at least one ":". No zone ("%eth0"): it names an interface of
// this machine, never a package server.
bool isIpv6Literal(const std::string& inside) noexcept {
  if (inside.size() < 2) return false;
  bool colon = false;
  for (char c : inside) {
    if (c == ':') {
      colon = true;
    } else if (!isHexDigit(c) && c != '.') {
      return false;
    }
  }
  return colon;
}

// "server", "server:port", "[v6]" or "[v6]:port".
bool splitServer(const std::string& server, UrlParts& parts) {
  std::string host;
  std::string portText;
  bool portGiven = false;
  if (!server.empty() && server[0] == '[') {
    const std::size_t close = server.find(']');
    if (close == std::string::npos || !isIpv6Literal(server.substr(1, close - 1))) return false;
    host = server.substr(0, close + 1);
    if (close + 1 < server.size()) {
      if (server[close + 1] != ':') return false;
      portGiven = true;
      portText = server.substr(close + 2);
    }
  } else {
    const std::size_t colon = server.find(':');
    host = server.substr(0, colon);
    if (colon != std::string::npos) {
      portGiven = true;
      portText = server.substr(colon + 1);
    }
    if (!isPlainServerName(host)) return false;
  }
  std::uint16_t port = parts.secure ? kHttpsPort : kHttpPort;
  if (portGiven && !parsePort(portText, port)) return false;
  parts.host = host;
  parts.port = port;
  return true;
}

// "//server[:port]/path" (what follows the scheme's ":") with `secure` already known.
bool splitAfterScheme(const std::string& rest, bool secure, UrlParts& parts) {
  if (rest.compare(0, 2, "//") != 0) return false;
  const std::size_t slash = rest.find('/', 2);
  if (slash == std::string::npos) return false;
  const std::string server = rest.substr(2, slash - 2);
  // "user:password@server": refused as a whole, never passed on.
  if (server.find('@') != std::string::npos) return false;
  UrlParts result;
  result.secure = secure;
  if (!splitServer(server, result)) return false;
  result.path = rest.substr(slash);
  parts = result;
  return true;
}

// "//server[:port]" followed by "?query", "#fragment" or nothing: the
// path of such an address is "/", written out.
std::string withRootPath(const std::string& rest) {
  const std::size_t end = rest.find_first_of("/?#", 2);
  if (end != std::string::npos && rest[end] == '/') return rest;
  std::string full = rest;
  full.insert(end == std::string::npos ? full.size() : end, "/");
  return full;
}

}  // namespace

bool splitUrl(const std::string& url, UrlParts& parts) {
  // The first "://" anywhere counts, as it always has; what stands before
  // it is the scheme, and only "https" changes the road.
  const std::size_t marker = url.find("://");
  if (marker == std::string::npos) return false;
  const bool secure = equalsIgnoringCase(url, 0, marker, "https");
  return splitAfterScheme(url.substr(marker + 1), secure, parts);
}

bool redirectTarget(const UrlParts& from, const std::string& location, UrlParts& to) {
  if (location.empty()) return false;
  UrlParts next;
  if (location.compare(0, 2, "//") == 0) {
    if (!splitAfterScheme(withRootPath(location), from.secure, next)) return false;
  } else if (location[0] == '/') {
    next = from;
    next.path = location;
  } else {
    const std::size_t colon = location.find(':');
    const std::size_t slash = location.find_first_of("/?#");
    if (colon != std::string::npos && colon < slash) {
      // An absolute address: only the two web schemes lead anywhere.
      bool secure = false;
      if (equalsIgnoringCase(location, 0, colon, "https")) {
        secure = true;
      } else if (!equalsIgnoringCase(location, 0, colon, "http")) {
        return false;
      }
      if (!splitAfterScheme(withRootPath(location.substr(colon + 1)), secure, next)) return false;
    } else {
      // Relative to the current path: beside its last segment, or the same
      // path with another query.
      next = from;
      const std::string base = from.path.substr(0, from.path.find('?'));
      next.path = location[0] == '?' ? base + location : base.substr(0, base.rfind('/') + 1) + location;
    }
  }
  if (from.secure && !next.secure) return false;  // no step down from TLS
  to = next;
  return true;
}

std::string requestTarget(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string target;
  target.reserve(path.size());
  // A fragment names a place inside what comes back; it is never sent.
  for (char c : path.substr(0, path.find('#'))) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) {
      target += '%';
      target += kHex[byte >> 4];
      target += kHex[byte & 0x0F];
    } else {
      target += c;
    }
  }
  return target;
}

std::string hostHeaderValue(const UrlParts& target) {
  const std::uint16_t schemePort = target.secure ? kHttpsPort : kHttpPort;
  return target.port == schemePort ? target.host : target.host + ":" + std::to_string(target.port);
}

std::string connectName(const UrlParts& target) {
  const std::string& host = target.host;
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
  return host;
}

}  // namespace fyrel
