// An installed game in the shared folder starts only on this account's
// word: the folder is open to every account of the machine, so what it
// holds now is compared with what this account installed there.
#include "extension/game_loader_extension.h"
#include "extract/installed_members.h"
#include "storage/install_record.h"

namespace fyrel {

bool GameLoaderExtension::installedGameVouchedFor() {
  // No record: another account installed it, or a build that kept none.
  InstallRecord record;
  if (!readInstallRecord(gameFolder_, record) || record.packageName != cabFileName_) {
    diagnose("installed game in " + gameFolder_ + " not vouched for by this account's record: installing afresh");
    return false;
  }
  // A host that pinned its package starts only that package's install.
  if (packagePinned_ && record.packageDigest != pinnedPackageSha256_) {
    diagnose("installed package " + cabFileName_ + " is not the pinned one: installing afresh");
    return false;
  }
  // Held from here until the game module is loaded, so the members
  // compared are the ones that load.
  std::vector<UniqueFile> holds;
  if (!installedMembersMatch(gameFolder_, record.members, holds)) {
    diagnose("installed game in " + gameFolder_ + " differs from what this account installed: installing afresh");
    return false;
  }
  installedMembers_ = std::move(record.members);
  installedMembersKnown_ = true;
  installedMemberHolds_ = std::move(holds);
  return true;
}

void GameLoaderExtension::recordInstall() noexcept {
  // Without a record the next start installs afresh: costly, not unsafe.
  if (!packageDigestKnown_) return;
  try {
    InstallRecord record{cabFileName_, packageDigest_, installedMembers_};
    writeInstallRecord(gameFolder_, record);
  } catch (...) {
  }
}

}  // namespace fyrel
