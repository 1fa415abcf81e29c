// Reading and comparing the version marker's content: stdio only, shared with
// the native sanitizer build.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace fyrel {

constexpr const char kVersionMarkerName[] = "_version.bin";
// A reader takes no more than this, so longer package names never match.
constexpr std::size_t kVersionMarkerMaxRead = 255;

// One line of the marker: at most kVersionMarkerMaxRead bytes, ending early
// after the first line feed, which stays in the result.
std::string readVersionMarkerLine(std::FILE* stream);
// True when content is exactly cabFileName; an empty content never matches.
bool versionMarkerContentMatches(const std::string& content, const std::string& cabFileName);

}  // namespace fyrel
