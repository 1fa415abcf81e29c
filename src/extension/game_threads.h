// Whether a game module may be unloaded under the threads it started.
#pragma once

#include <windows.h>

namespace fyrel {

// True when a thread of this process that started inside module's image is
// still running: unloading the module would pull its code from under that
// thread, and the host process would die with it.
bool threadStartedInModuleRuns(HMODULE module) noexcept;

}  // namespace fyrel
