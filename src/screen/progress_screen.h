// The loading screen drawn into the host window while a game is fetched:
// the logo sliding in and out, a localized caption with a percentage, the
// address line, and a red error line. Animated by its own refresh thread.
#pragma once

#include <windows.h>

#include <string>

namespace fyrel {

class ProgressScreen {
public:
  // Sizes its drawing surface to the window's client area and loads the
  // logo ("IDB_LOGO") and captions from moduleInstance.
  ProgressScreen(HINSTANCE moduleInstance, HWND window) noexcept;
  // Does not wait: the owner calls requestStop and polls hasFinished first.
  virtual ~ProgressScreen();
  ProgressScreen(const ProgressScreen&) = delete;
  ProgressScreen& operator=(const ProgressScreen&) = delete;

  void setLanguage(const std::string& languageCode);
  void setAddressText(const std::string& text);
  bool startRefreshThread();
  void setDownloadPercent(float percent);
  void setExtractionPercent(float percent);
  void markDownloadDone();
  void markExtractionDone();
  void markGameReady();
  void restartDownload();
  void showError(const char* message);
  void requestStop();
  bool hasFinished() const noexcept;
  void paint();
};

}  // namespace fyrel
