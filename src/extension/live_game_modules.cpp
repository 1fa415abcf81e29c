#include "extension/live_game_modules.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace fyrel {
namespace {

// Extensions of different windows may run on different threads.
std::mutex claimsLock;
std::vector<HMODULE> claims;  // guarded by claimsLock; reserved so adding cannot throw

bool claimed(HMODULE module) { return std::find(claims.begin(), claims.end(), module) != claims.end(); }

}  // namespace

bool gameModuleBusy(const std::string& path) noexcept {
  std::lock_guard<std::mutex> guard(claimsLock);
  HMODULE loaded = nullptr;
  return ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, path.c_str(), &loaded) && claimed(loaded);
}

GameModuleClaim claimGameModule(const std::string& path, UniqueModule& module) noexcept {
  std::lock_guard<std::mutex> guard(claimsLock);
  try {
    claims.reserve(claims.size() + 1);
  } catch (...) {
    return GameModuleClaim::Failed;  // out of memory
  }
  module.reset(::LoadLibraryA(path.c_str()));
  if (!module) return GameModuleClaim::Failed;
  if (claimed(module.get())) {
    module.reset();  // only this call's reference; the claimant's stays
    return GameModuleClaim::Busy;
  }
  claims.push_back(module.get());
  return GameModuleClaim::Claimed;
}

void releaseGameModuleClaim(UniqueModule& module, bool keepLoaded) noexcept {
  if (!module) return;
  // Unloaded before the claim goes, so a waiting start loads it afresh.
  std::lock_guard<std::mutex> guard(claimsLock);
  const HMODULE handle = module.get();
  if (keepLoaded) {
    module.release();
  } else {
    module.reset();
  }
  claims.erase(std::remove(claims.begin(), claims.end(), handle), claims.end());
}

}  // namespace fyrel
