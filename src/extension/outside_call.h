// Every call from the extension into the host's or the game's code goes
// through callOutside.
#pragma once

#include <utility>

namespace fyrel {

// Hosts and games must not let an exception out of a call across the
// interface (include/fyrel/extension_api.h). One that does ends the process
// here, through std::terminate, on every build. On i686 nothing else is
// possible: each module carries its own copy of libgcc's DWARF unwinder,
// which knows no other module's frames, so the thrower's runtime terminates
// before any frame of ours is reached. On x86_64 SEH unwinding would carry it
// into our catch (...) guards, which exist for our own allocation failures
// and would leave the interrupted step half done (a game half created, a
// timer step that never clears its busy flag, a report half sent).
template <typename Call>
decltype(auto) callOutside(Call&& call) noexcept {
  return std::forward<Call>(call)();
}

}  // namespace fyrel
