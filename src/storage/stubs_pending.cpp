// Placeholders until the storage subsystem lands.
#include "storage/folder_access.h"
#include "storage/player_folder.h"
#include "storage/version_marker.h"

namespace fyrel {
void readShellFolder(HKEY, const char*, std::string&) {}
std::string resolveMakerFolder() { return {}; }
std::string resolvePlayerFolder() { return {}; }
void createFolderChain(const std::string&) {}
bool versionMarkerMatches(const std::string&, const std::string&) { return false; }
bool writeVersionMarker(const std::string&, const std::string&) { return false; }
bool deleteVersionMarker(const std::string&) { return false; }
bool grantFolderAccess(const std::string&) { return true; }
}  // namespace fyrel
