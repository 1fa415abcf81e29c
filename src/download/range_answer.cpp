#include "download/range_answer.h"

#include <cstddef>
#include <limits>

#include "common/ascii_case.h"

namespace fyrel {
namespace {

// Decimal digits at `at` into value; false when there are none or they do
// not fit 64 bits.
bool readNumber(const std::string& text, std::size_t& at, std::uint64_t& value) noexcept {
  const std::size_t start = at;
  value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    const auto digit = static_cast<std::uint64_t>(text[at] - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
    value = value * 10 + digit;
  }
  return at != start;
}

bool readChar(const std::string& text, std::size_t& at, char c) noexcept {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

void skipBlanks(const std::string& text, std::size_t& at) noexcept {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
}

}  // namespace

bool parseContentRange(const std::string& text, ContentRange& range) noexcept {
  std::size_t at = 0;
  skipBlanks(text, at);
  static const char kUnit[] = "bytes";
  for (const char* u = kUnit; *u != '\0'; ++u, ++at) {
    if (at >= text.size() || lowerAscii(text[at]) != *u) return false;
  }
  if (at >= text.size() || (text[at] != ' ' && text[at] != '\t')) return false;
  skipBlanks(text, at);
  ContentRange read;
  if (!readNumber(text, at, read.first) || !readChar(text, at, '-') || !readNumber(text, at, read.last) ||
      !readChar(text, at, '/') || !readNumber(text, at, read.total))
    return false;
  skipBlanks(text, at);
  if (at != text.size()) return false;
  if (read.first > read.last || read.last >= read.total) return false;
  range = read;
  return true;
}

bool isStrongEtag(const std::string& etag) noexcept {
  return etag.size() >= 2 && etag.front() == '"' && etag.back() == '"';
}

std::string resumeValidator(bool hasEtag, const std::string& etag, bool hasLastModified,
                            const std::string& lastModified) {
  if (hasEtag && isStrongEtag(etag)) return etag;
  if (hasLastModified && !lastModified.empty()) return lastModified;
  return {};
}

std::string rangeFrom(std::uint32_t from) { return "bytes=" + std::to_string(from) + "-"; }

bool rangeContinues(const ContentRange& range, std::uint32_t onDisk, std::uint32_t total) noexcept {
  return onDisk != 0 && onDisk < total && range.first == onDisk && range.total == total && range.last + 1 == total;
}

bool offersByteRanges(const std::string& acceptRanges) {
  std::size_t at = 0;
  while (at <= acceptRanges.size()) {
    std::size_t end = acceptRanges.find(',', at);
    if (end == std::string::npos) end = acceptRanges.size();
    std::size_t first = at;
    std::size_t last = end;
    while (first < last && (acceptRanges[first] == ' ' || acceptRanges[first] == '\t')) ++first;
    while (last > first && (acceptRanges[last - 1] == ' ' || acceptRanges[last - 1] == '\t')) --last;
    if (lowerAscii(acceptRanges.substr(first, last - first)) == "bytes") return true;
    at = end + 1;
  }
  return false;
}

bool sameTarget(const UrlParts& a, const UrlParts& b) {
  return a.secure == b.secure && a.port == b.port && a.path == b.path && lowerAscii(a.host) == lowerAscii(b.host);
}

std::string formatUrl(const UrlParts& target) {
  std::string url = target.secure ? "https://" : "http://";
  url += target.host;
  if (target.port != (target.secure ? kHttpsPort : kHttpPort)) url += ":" + std::to_string(target.port);
  return url + target.path;
}

}  // namespace fyrel
