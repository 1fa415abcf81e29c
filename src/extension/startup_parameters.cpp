#include <string>

#include "extension/development_build.h"
#include "extension/game_loader_extension.h"
#include "extension/host_value.h"
#include "extension/startup_parameters_logic.h"
#include "extension/system_code_page.h"
#include "screen/progress_screen.h"
#include "storage/file_name_case.h"
#include "storage/player_folder.h"
#include "verify/built_in_key.h"
#include "verify/signature_verifier.h"

namespace fyrel {

bool (*honoursDevelopFolder)() noexcept = []() noexcept { return kDevelopmentBuild; };

namespace {

bool holdsNul(const std::string& value) noexcept { return value.find('\0') != std::string::npos; }

}  // namespace

bool GameLoaderExtension::readStartupParameters() {
  auto refuse = [this](const char* message, const char* stateName) {
    diagnose(std::string("start-up parameters refused: ") + message);
    reportState(LoaderState::Failed, message, stateName);
    return false;
  };
  // A value the host replaced while it was read is refused, never spliced.
  bool changedWhileRead = false;
  auto ask = [&](const char* name, std::string& value) {
    if (!readHostValue(host, name, value)) changedWhileRead = true;
  };

  ask("gamename", gameName_);
  ask("partnername", partnerName_);
  ask("language", language_);
  ask("country", country_);
  ask("gamecab", gameCabUrl_);
  std::string widthText;
  ask("gamewidth", widthText);
  gameWidth_ = parseDecimal(widthText);
  std::string heightText;
  ask("gameheight", heightText);
  gameHeight_ = parseDecimal(heightText);

  std::string localUrl;
  ask("localURL", localUrl);
  if (screen_) {
    switch (addressLineAction(localUrl)) {
      case AddressLineAction::Keep:
        break;
      case AddressLineAction::Clear:
        screen_->setAddressText("");
        break;
      case AddressLineAction::Replace:
        screen_->setAddressText(localUrl);
        break;
    }
  }

  if (changedWhileRead) return refuse("PARAMETER CHANGED WHILE READ", "STATE_INVALID_PARAMS");
  // Win32 reads a text only up to its first NUL, so a value holding one
  // would be used as less than the host gave (40 NULs as "developdir" would
  // be a folder given and empty). The names' own checks below refuse it
  // with their messages; this covers the other values.
  auto otherValueHoldsNul = [&] {
    for (const std::string* value : {&language_, &country_, &gameCabUrl_, &widthText, &heightText, &localUrl})
      if (holdsNul(*value)) return true;
    return false;
  };

  // The names become folder levels and the game module's file name: a value
  // such as ..\..\x or C:\x would send the download, the extraction and the
  // module load outside the player's folder. Read in a double-byte code
  // page, a name ending in a lead byte would swallow the "\" after it.
  auto isUsableLevel = [](const std::string& name) { return isSafeFolderLevel(name) && isWholeInSystemCodePage(name); };
  if (gameName_.empty()) return refuse("EMPTY GAME NAME", "STATE_INVALID_PARAMS");
  if (!isUsableLevel(gameName_)) return refuse("INVALID GAME NAME", "STATE_INVALID_PARAMS");
  if (partnerName_.empty()) return refuse("EMPTY PARTNER NAME", "STATE_INVALID_PARAMS");
  if (!isUsableLevel(partnerName_)) return refuse("INVALID PARTNER NAME", "STATE_INVALID_PARAMS");
  // Both names are sound file name parts now: the log can be named after
  // them.
  openInstallLog();
  if (!verifier_ || !verifier_->importPublicKey(kBuiltInPublicKey, kBuiltInPublicKeySize)) {
    return refuse("FAILED TO LOAD PUBLIC KEY", "STATE_INVALID_PUBLIC_KEY");
  }

  std::string developFolder;
  ask("developdir", developFolder);
  if (changedWhileRead || holdsNul(developFolder)) return refuse("INVALID DEVELOP FOLDER", "STATE_INVALID_PARAMS");
  if (!developFolder.empty()) {
    if (honoursDevelopFolder()) {
      if (otherValueHoldsNul()) return refuse("INVALID PARAMETER", "STATE_INVALID_PARAMS");
      // The developer's own folder, taken as given.
      gameFolder_ = developFolder;
      developMode_ = true;
      return true;
    }
    // An unsigned module from any folder the host names (a network share
    // among them) is code execution for whoever fills the host's values.
    ::OutputDebugStringA(
        "FyrelExtension: \"developdir\" ignored: a release build installs the game from its package\n");
  }

  if (!language_.empty()) {
    if (screen_) screen_->setLanguage(language_);
    if (!country_.empty()) {
      if (!isUsableLevel(language_)) return refuse("INVALID LANGUAGE", "STATE_INVALID_PARAMS");
      if (!isUsableLevel(country_)) return refuse("INVALID COUNTRY", "STATE_INVALID_PARAMS");
    }
  }
  gameFolder_ = composeGameFolder(resolvePlayerFolder(), partnerName_, gameName_, language_, country_);

  if (gameCabUrl_.empty()) return refuse("EMPTY CAB URL", "STATE_INVALID_PARAMS");
  std::string fileName;
  if (!isUsablePackageAddress(gameCabUrl_) || !packageFileNameFromUrl(gameCabUrl_, fileName) ||
      !isSafePackageFileName(fileName) || !isWholeInSystemCodePage(fileName) ||
      !fitsPackagePathLimit(gameFolder_ + fileName) || !gameFolderHoldsModuleAndMarker(gameFolder_, gameName_)) {
    return refuse("INCORRECT GAME CAB URL", "STATE_INVALID_PARAMS");
  }
  // The package is downloaded, and deleted on a failed check, under its own
  // name in the game folder: it must not be the installed game module or the
  // version marker.
  if (packageFileNameTakesReservedName(fileName, gameName_, sameAnsiFileName)) {
    return refuse("INCORRECT GAME CAB URL", "STATE_INVALID_PARAMS");
  }
  if (otherValueHoldsNul()) return refuse("INVALID PARAMETER", "STATE_INVALID_PARAMS");
  // Optional: the one package the host means. Absent, any package this
  // publisher signed is taken, as ever.
  std::string pinnedHash;
  ask("gamecabsha256", pinnedHash);
  if (changedWhileRead) return refuse("PARAMETER CHANGED WHILE READ", "STATE_INVALID_PARAMS");
  if (!pinnedHash.empty()) {
    if (!parsePackageSha256(pinnedHash, pinnedPackageSha256_))
      return refuse("INVALID GAME CAB HASH", "STATE_INVALID_PARAMS");
    packagePinned_ = true;
  }
  cabFileName_ = fileName;
  packagePath_ = gameFolder_ + cabFileName_;
  return true;
}

}  // namespace fyrel
