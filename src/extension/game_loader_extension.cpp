#include "extension/game_loader_extension.h"

#include <new>

#include "download/http_downloader.h"
#include "extract/cab_extractor.h"
#include "screen/progress_screen.h"
#include "verify/signature_verifier.h"

namespace fyrel {

GameLoaderExtension::GameLoaderExtension() noexcept {
  downloader_ = new (std::nothrow) HttpDownloader();
  extractor_ = new (std::nothrow) CabExtractor();
  verifier_ = new (std::nothrow) SignatureVerifier();
}

GameLoaderExtension::~GameLoaderExtension() { teardown(); }

bool GameLoaderExtension::Create(HWND window, int, HINSTANCE) {
  window_ = window;
  return true;
}

void GameLoaderExtension::teardown() {
  delete downloader_;
  downloader_ = nullptr;
  delete extractor_;
  extractor_ = nullptr;
  delete verifier_;
  verifier_ = nullptr;
  delete screen_;
  screen_ = nullptr;
}

void GameLoaderExtension::ReleaseGame() {}
bool GameLoaderExtension::ProcessMsg(UINT, WPARAM, LPARAM, LRESULT*) { return false; }
void GameLoaderExtension::SendUp(const char*, const char*) {}
void GameLoaderExtension::NotifyHost(const char*, const char*) {}

}  // namespace fyrel
