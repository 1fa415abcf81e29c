// Whether this extension was built as a development build
// (-DFYREL_DEVELOPMENT_KEY=ON), which trusts the published development key
// and honours the host's "developdir": a game module taken unsigned from any
// folder the host names. A release build ignores "developdir".
#pragma once

namespace fyrel {

#if defined(FYREL_DEVELOPMENT_BUILD)
inline constexpr bool kDevelopmentBuild = true;
#else
inline constexpr bool kDevelopmentBuild = false;
#endif

// Asked once per start. A seam: the tests, which run a development build,
// replace it to see what a release build does.
extern bool (*honoursDevelopFolder)() noexcept;

}  // namespace fyrel
