// The process-wide pointer to the newest extension.
#pragma once

#include <fyrel/extension_api.h>

#include <atomic>

namespace fyrel {

// Set by every extension's construction, cleared by every destruction.
extern std::atomic<Generic::GenericExtension*> liveExtension;

}  // namespace fyrel
