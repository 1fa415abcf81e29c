// Resuming a package: which bytes to ask for, which validator to send, and
// whether an answer continues the bytes already on disk. Pure byte logic:
// no Windows header.
#pragma once

#include <cstdint>
#include <string>

#include "download/url_parts.h"

namespace fyrel {

// Where a partial package can go on from: the answer that began the bytes
// on disk, as far as a resumed request needs it.
struct ResumePoint {
  UrlParts source;              // the address (after redirects) that answered
  std::string validator;        // the If-Range value; empty: nothing can be resumed
  std::uint32_t total = 0;      // the whole package's length, as first announced
  std::uint32_t onDisk = 0;     // bytes of it on disk, as far as the owner knows
  bool rangesAccepted = false;  // the answer said "Accept-Ranges: bytes"

  bool resumable() const noexcept { return !validator.empty() && total != 0; }
};

// "bytes FIRST-LAST/TOTAL" of a Content-Range header.
struct ContentRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::uint64_t total = 0;
};

// False for anything but a satisfied byte range with a known total:
// "bytes */TOTAL", "bytes 5-3/9", a last byte at or past the total, a
// missing total ("/*"), signs, blanks inside numbers or numbers beyond 64
// bits.
bool parseContentRange(const std::string& text, ContentRange& range) noexcept;

// What a resumed request sends as If-Range: the answer's ETag when it is a
// strong one, else its Last-Modified date; empty when there is neither (a
// weak ETag alone cannot vouch that the bytes are the same).
// hasEtag/hasLastModified: whether the answer had the header at all.
std::string resumeValidator(bool hasEtag, const std::string& etag, bool hasLastModified,
                            const std::string& lastModified);

// A strong entity tag: a quoted string without the weak prefix "W/".
bool isStrongEtag(const std::string& etag) noexcept;

// The Range value asking for everything from byte `from` on.
std::string rangeFrom(std::uint32_t from);

// Whether a 206 answer's Content-Range continues the file: it starts at the
// byte after the ones on disk, runs to the end and states the same total
// as the answer that began the file.
bool rangeContinues(const ContentRange& range, std::uint32_t onDisk, std::uint32_t total) noexcept;

// An Accept-Ranges header that offers byte ranges ("bytes", in a list or
// alone, any letter case).
bool offersByteRanges(const std::string& acceptRanges);

// Two targets naming the same resource: scheme, server (letter case
// ignored), port and path (byte for byte).
bool sameTarget(const UrlParts& a, const UrlParts& b);

// The address of a target as text again: "http[s]://server[:port]/path",
// the port only where it is not the scheme's own. splitUrl reads it back
// to the same target.
std::string formatUrl(const UrlParts& target);

}  // namespace fyrel
