// Reading a package address: the scheme, the server, the port and the
// object path, and where a redirect leads from one. Pure byte logic: no
// Windows header.
#pragma once

#include <cstdint>
#include <string>

namespace fyrel {

constexpr std::uint16_t kHttpPort = 80;
constexpr std::uint16_t kHttpsPort = 443;

struct UrlParts {
  std::string host;  // a name or IPv4 address, or an IPv6 address in brackets ("[::1]")
  std::string path;  // from the first "/" after the server to the end, query included
  std::uint16_t port = kHttpPort;
  bool secure = false;  // https: TLS with the platform's certificate checks
};

// Splits a package address "scheme://server[:port]/path".
//   - "https" (any letter case) is TLS, default port 443; "http" and any
//     other scheme text is plain HTTP, default port 80 (hosts may pass
//     other schemes, and always have been answered over HTTP).
//   - ":port" is a decimal number from 1 to 65535; an empty, zero, larger
//     or non-numeric port is refused.
//   - an IPv6 literal is written in brackets, "[::1]" or "[::1]:8080".
//   - user information ("user:password@") is refused: a password in an
//     address ends up in logs and on screen, and the loader has no use
//     for one.
//   - the server may not be empty, nor hold blanks, control characters,
//     "\", "?", "#" or "%".
// False for anything it refuses, and for an address without "://" or
// without a "/" after the server; `parts` is then left alone.
bool splitUrl(const std::string& url, UrlParts& parts);

// Where a redirect's Location leads from `from`:
//   - "http://..." or "https://..." (any letter case), split as above;
//   - "//server/path": the same scheme as `from`;
//   - "/path": the same scheme, server and port;
//   - "name" or "?query": relative to `from`'s path;
//   - an address of the first two kinds without a path ("https://mirror",
//     "//mirror?v=2") has the path "/".
// False for another scheme, an address splitUrl refuses, an empty
// Location and for a step from https down to http: a package asked for
// over TLS never comes in clear text.
bool redirectTarget(const UrlParts& from, const std::string& location, UrlParts& to);

// The path as it goes on the request line: every byte that may not stand
// there (blanks, control bytes, DEL and bytes above 0x7F) as "%XX" of that
// byte, everything else, "%" included, as it is; a fragment ("#...") is
// left out. A server decodes the same
// bytes the address held, whatever the code page; the HTTP client is never
// left to re-encode them.
std::string requestTarget(const std::string& path);

// The Host line's text for a target: the server as written (an IPv6
// address keeps its brackets), with ":port" unless the port is the
// scheme's own.
std::string hostHeaderValue(const UrlParts& target);

// The server name to connect to: an IPv6 address without its brackets.
std::string connectName(const UrlParts& target);

}  // namespace fyrel
