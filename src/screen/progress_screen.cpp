#include "screen/progress_screen.h"

namespace fyrel {

// Placeholder until the loading screen lands.
ProgressScreen::ProgressScreen(HINSTANCE, HWND) noexcept {}
ProgressScreen::~ProgressScreen() = default;
void ProgressScreen::setLanguage(const std::string&) {}
void ProgressScreen::setAddressText(const std::string&) {}
bool ProgressScreen::startRefreshThread() { return false; }
void ProgressScreen::setDownloadPercent(float) {}
void ProgressScreen::setExtractionPercent(float) {}
void ProgressScreen::markDownloadDone() {}
void ProgressScreen::markExtractionDone() {}
void ProgressScreen::markGameReady() {}
void ProgressScreen::restartDownload() {}
void ProgressScreen::showError(const char*) {}
void ProgressScreen::requestStop() {}
bool ProgressScreen::hasFinished() const noexcept { return true; }
void ProgressScreen::paint() {}

}  // namespace fyrel
