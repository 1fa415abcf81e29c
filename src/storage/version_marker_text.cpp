#include "storage/version_marker_text.h"

namespace fyrel {

std::string readVersionMarkerLine(std::FILE* stream) {
  std::string line;
  while (line.size() < kVersionMarkerMaxRead) {
    const int byte = std::fgetc(stream);
    if (byte == EOF) break;
    line += static_cast<char>(byte);
    if (byte == '\n') break;
  }
  return line;
}

bool versionMarkerContentMatches(const std::string& content, const std::string& cabFileName) {
  return !content.empty() && content == cabFileName;
}

}  // namespace fyrel
