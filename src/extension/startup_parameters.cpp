#include <string>

#include "extension/game_loader_extension.h"
#include "extension/startup_parameters_logic.h"
#include "screen/progress_screen.h"
#include "storage/player_folder.h"
#include "verify/built_in_key.h"
#include "verify/signature_verifier.h"

namespace fyrel {

bool GameLoaderExtension::readStartupParameters() {
  auto refuse = [this](const char* message, const char* stateName) {
    reportState(LoaderState::Failed, message, stateName);
    return false;
  };

  GetHostValue("gamename", gameName_);
  GetHostValue("partnername", partnerName_);
  GetHostValue("language", language_);
  GetHostValue("country", country_);
  GetHostValue("gamecab", gameCabUrl_);
  std::string number;
  GetHostValue("gamewidth", number);
  gameWidth_ = parseDecimal(number);
  GetHostValue("gameheight", number);
  gameHeight_ = parseDecimal(number);

  std::string localUrl;
  GetHostValue("localURL", localUrl);
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

  // The names become folder levels and the game module's file name: a value
  // such as ..\..\x or C:\x would send the download, the extraction and the
  // module load outside the player's folder.
  if (gameName_.empty()) return refuse("EMPTY GAME NAME", "STATE_INVALID_PARAMS");
  if (!isSafeFolderLevel(gameName_)) return refuse("INVALID GAME NAME", "STATE_INVALID_PARAMS");
  if (partnerName_.empty()) return refuse("EMPTY PARTNER NAME", "STATE_INVALID_PARAMS");
  if (!isSafeFolderLevel(partnerName_)) return refuse("INVALID PARTNER NAME", "STATE_INVALID_PARAMS");
  if (!verifier_ || !verifier_->importPublicKey(kBuiltInPublicKey, kBuiltInPublicKeySize)) {
    return refuse("FAILED TO LOAD PUBLIC KEY", "STATE_INVALID_PUBLIC_KEY");
  }

  std::string developFolder;
  GetHostValue("developdir", developFolder);
  if (!developFolder.empty()) {
    // The developer's own folder, taken as given.
    gameFolder_ = developFolder;
    developMode_ = true;
    return true;
  }

  if (!language_.empty()) {
    if (screen_) screen_->setLanguage(language_);
    if (!country_.empty()) {
      if (!isSafeFolderLevel(language_)) return refuse("INVALID LANGUAGE", "STATE_INVALID_PARAMS");
      if (!isSafeFolderLevel(country_)) return refuse("INVALID COUNTRY", "STATE_INVALID_PARAMS");
    }
  }
  gameFolder_ = composeGameFolder(resolvePlayerFolder(), partnerName_, gameName_, language_, country_);

  if (gameCabUrl_.empty()) return refuse("EMPTY CAB URL", "STATE_INVALID_PARAMS");
  std::string fileName;
  if (!packageFileNameFromUrl(gameCabUrl_, fileName) || !isSafePackageFileName(fileName) ||
      !fitsPackagePathLimit(gameFolder_ + fileName) || !gameFolderHoldsModuleAndMarker(gameFolder_, gameName_)) {
    return refuse("INCORRECT GAME CAB URL", "STATE_INVALID_PARAMS");
  }
  cabFileName_ = fileName;
  packagePath_ = gameFolder_ + cabFileName_;
  return true;
}

}  // namespace fyrel
