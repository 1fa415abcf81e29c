// Lines that explain an install: the debug channel always, the account's
// install log once the names that make its file name were accepted.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "common/diagnostic_text.h"
#include "extension/game_loader_extension.h"

namespace fyrel {
namespace {

// Tells apart the extensions of one process in a shared log.
std::atomic<unsigned> instancesMade{0};

}  // namespace

void GameLoaderExtension::openInstallLog() noexcept {
  char instance[32];
  std::snprintf(instance, sizeof instance, "%lx.%u", static_cast<unsigned long>(::GetCurrentProcessId()),
                instancesMade.fetch_add(1, std::memory_order_relaxed) + 1);
  if (!installLog_.open(partnerName_, gameName_, instance))
    diagnose("no install log for this account: its folder is unknown or a level of it is a link");
}

void GameLoaderExtension::diagnose(const std::string& text) noexcept {
  try {
    const std::string line = diagnosticLine(text);
    ::OutputDebugStringA(line.c_str());
    installLog_.write(line);
  } catch (...) {
    // A line that could not be composed (out of memory) is lost; the
    // install goes on.
  }
}

}  // namespace fyrel
