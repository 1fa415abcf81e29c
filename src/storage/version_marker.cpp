#include "storage/version_marker.h"

#include <windows.h>

#include <cstdio>
#include <memory>

#include "storage/checked_file.h"
#include "storage/version_marker_text.h"

namespace fyrel {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using UniqueStdioFile = std::unique_ptr<std::FILE, FileCloser>;

std::string markerPath(const std::string& gameFolder) { return gameFolder + kVersionMarkerName; }

}  // namespace

bool versionMarkerMatches(const std::string& gameFolder, const std::string& cabFileName) {
  std::string content;
  {
    UniqueStdioFile file(std::fopen(markerPath(gameFolder).c_str(), "rb"));
    if (!file) return false;
    content = readVersionMarkerLine(file.get());
  }
  return versionMarkerContentMatches(content, cabFileName);
}

bool writeVersionMarker(const std::string& gameFolder, const std::string& cabFileName) {
  // Binary mode: the marker is the name's bytes, no line end, no terminator.
  UniqueStdioFile file(std::fopen(markerPath(gameFolder).c_str(), "wb"));
  if (!file) return false;
  // Best effort: a short write shows up later as a marker that does not
  // match, which only costs a download.
  (void)std::fwrite(cabFileName.data(), 1, cabFileName.size(), file.get());
  return true;
}

bool deleteVersionMarker(const std::string& gameFolder) {
  // The name itself: a link another account left there goes, not the file
  // it points to.
  return deleteCheckedFile(markerPath(gameFolder), {});
}

}  // namespace fyrel
