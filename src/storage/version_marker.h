// The version marker "_version.bin" in a game folder: the file name of the
// package whose game last started there.
#pragma once

#include <string>

namespace fyrel {

bool versionMarkerMatches(const std::string& gameFolder, const std::string& cabFileName);
bool writeVersionMarker(const std::string& gameFolder, const std::string& cabFileName);
bool deleteVersionMarker(const std::string& gameFolder);

}  // namespace fyrel
