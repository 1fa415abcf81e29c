// One live game per game module in this process. A game's entry points are
// global functions without an instance argument, and LoadLibrary hands two
// extensions that load the same game one and the same module: a second
// CreateFyrelGame would replace the first game under its window. So a
// module is claimed by one extension from its load until its release, and a
// second start of the same game waits until the first has let it go.
#pragma once

#include <string>

#include "common/unique_handle.h"

namespace fyrel {

enum class GameModuleClaim { Claimed, Busy, Failed };

// Whether the module at path is loaded and claimed by another extension;
// loads nothing.
bool gameModuleBusy(const std::string& path) noexcept;
// Loads the module at path into module and claims it. Busy when the module
// (under any spelling of its path) is claimed already: nothing stays
// loaded for this call. Failed when it cannot be loaded.
GameModuleClaim claimGameModule(const std::string& path, UniqueModule& module) noexcept;
// Gives the claim up and unloads the module, or, with keepLoaded, leaves
// it loaded for good (ownership is given up; nothing will unload it).
void releaseGameModuleClaim(UniqueModule& module, bool keepLoaded) noexcept;

}  // namespace fyrel
