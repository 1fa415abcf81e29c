// This account's word on the games it installed: one registry value per
// game folder, in the current user's hive under the player's key, which no
// other account of the machine can write. An installed game in the shared
// folder is started only when what it holds matches this record.
#pragma once

#include <string>

#include "storage/install_record_text.h"

namespace fyrel {

// HKEY_CURRENT_USER\<kInstallRecordKey>, value name: the game folder.
constexpr const char kInstallRecordKey[] = "Software\\Fyrel\\FyrelGamesPlayer\\Installed";

bool readInstallRecord(const std::string& gameFolder, InstallRecord& record);
bool writeInstallRecord(const std::string& gameFolder, const InstallRecord& record);
bool deleteInstallRecord(const std::string& gameFolder);

}  // namespace fyrel
