#include "screen/progress_screen.h"

#include "screen/caption_table.h"
#include "screen/screen_layout.h"
#include "screen/screen_phases.h"

namespace fyrel {

namespace {
using Lock = std::lock_guard<std::mutex>;

constexpr float kProgressEnd = 100.0f;

// LoadStringA into a string; empty when the ID is missing.
std::string loadCaption(HINSTANCE module, unsigned id) {
  char text[100];
  const int length = ::LoadStringA(module, id, text, sizeof text);
  return length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string();
}
}  // namespace

ProgressScreen::ProgressScreen(HINSTANCE moduleInstance, HWND window) noexcept
    : window_(window), moduleInstance_(moduleInstance) {
  {
    Lock lock(textLock_);
    setPhaseLocked(ScreenPhase::Idle, std::string());
  }
  // The surface keeps this size for the screen's whole life.
  PaintScope paint(window_);
  RECT client{};
  ::GetClientRect(window_, &client);
  surface_.create(paint.dc(), client.right - client.left, client.bottom - client.top);
  surface_.createFont();
  logo_.reset(::LoadBitmapA(moduleInstance_, "IDB_LOGO"));
}

ProgressScreen::~ProgressScreen() {
  {
    Lock lock(textLock_);
    setPhaseLocked(ScreenPhase::Stopped, std::string());
  }
  // The owner has seen hasFinished, so the thread has left its loop; its
  // last instructions may still be running. Waiting for it to end here
  // means the host may unload this module right after deleting us.
  if (refreshThread_) ::WaitForSingleObject(refreshThread_.get(), INFINITE);
  refreshThread_.reset();
  surface_.release();
  logo_.reset();
}

void ProgressScreen::setLanguage(const std::string& languageCode) {
  CaptionIds ids;
  if (!captionIdsFor(languageCode, &ids)) return;
  std::string download = loadCaption(moduleInstance_, ids.download);
  std::string extraction = loadCaption(moduleInstance_, ids.extraction);
  Lock lock(textLock_);
  if (!download.empty()) downloadCaption_ = std::move(download);
  if (!extraction.empty()) extractionCaption_ = std::move(extraction);
}

void ProgressScreen::setAddressText(const std::string& text) {
  Lock lock(textLock_);
  addressText_ = text;
}

void ProgressScreen::setDownloadPercent(float percent) { downloadPercent_.store(percent, std::memory_order_release); }

void ProgressScreen::setExtractionPercent(float percent) {
  extractionPercent_.store(percent, std::memory_order_release);
}

void ProgressScreen::markDownloadDone() {
  downloadPercent_.store(kProgressEnd, std::memory_order_release);
  downloadDone_.store(true, std::memory_order_release);
}

void ProgressScreen::markExtractionDone() {
  extractionPercent_.store(kProgressEnd, std::memory_order_release);
  extractionDone_.store(true, std::memory_order_release);
}

void ProgressScreen::markGameReady() { gameReady_.store(true, std::memory_order_release); }

void ProgressScreen::restartDownload() {
  Lock lock(textLock_);
  downloadPercent_.store(0.0f, std::memory_order_release);
  introDone_.store(true, std::memory_order_release);
  introProgress_.store(kProgressEnd, std::memory_order_release);
  outroProgress_.store(0.0f, std::memory_order_release);
  downloadDone_.store(false, std::memory_order_release);
  extractionDone_.store(false, std::memory_order_release);
  gameReady_.store(false, std::memory_order_release);
  outroDone_.store(false, std::memory_order_release);
  holdCountdown_.store(kHoldMs, std::memory_order_release);
  advanceLocked();
}

void ProgressScreen::showError(const char* message) {
  textColor_.store(kErrorTextColor, std::memory_order_release);
  Lock lock(textLock_);
  setPhaseLocked(ScreenPhase::Error, message != nullptr ? std::string(message) : std::string());
}

void ProgressScreen::requestStop() {
  // Under the lock, so a phase walk already under way on the refresh thread
  // finishes before the stop and cannot overwrite it.
  Lock lock(textLock_);
  phase_.store(static_cast<int>(ScreenPhase::Stopped), std::memory_order_release);
}

bool ProgressScreen::hasFinished() const noexcept { return !running_.load(std::memory_order_acquire); }

std::string ProgressScreen::caption() const {
  Lock lock(textLock_);
  return caption_;
}

std::string ProgressScreen::percentText() const {
  Lock lock(textLock_);
  return percentText_;
}

std::string ProgressScreen::addressText() const {
  Lock lock(textLock_);
  return addressText_;
}

std::string ProgressScreen::downloadCaption() const {
  Lock lock(textLock_);
  return downloadCaption_;
}

std::string ProgressScreen::extractionCaption() const {
  Lock lock(textLock_);
  return extractionCaption_;
}

void ProgressScreen::setPhaseLocked(ScreenPhase phase, const std::string& caption) {
  phase_.store(static_cast<int>(phase), std::memory_order_release);
  caption_ = caption;
  percentText_.clear();
}

void ProgressScreen::setPercentTextLocked(int percent) { percentText_ = fyrel::percentText(percent); }

void ProgressScreen::advanceLocked() {
  percentText_.clear();
  PhaseFlags flags;
  flags.running = running_.load(std::memory_order_acquire);
  flags.introDone = introDone_.load(std::memory_order_acquire);
  flags.downloadDone = downloadDone_.load(std::memory_order_acquire);
  flags.extractionDone = extractionDone_.load(std::memory_order_acquire);
  flags.gameReady = gameReady_.load(std::memory_order_acquire);
  flags.outroDone = outroDone_.load(std::memory_order_acquire);
  const ScreenPhase current = phase();
  // An error stays until the stop. A stop requested while the refresh
  // thread was on its way here stays too, or the owner waiting for the
  // thread to end would wait for ever.
  if (!flags.running || current == ScreenPhase::Error || current == ScreenPhase::Stopped) return;
  const ScreenPhase next = advancePhase(current, flags);
  switch (next) {
    case ScreenPhase::Downloading:
      setPhaseLocked(next, downloadCaption_);
      break;
    case ScreenPhase::Extracting:
      setPhaseLocked(next, extractionCaption_);
      break;
    default:
      setPhaseLocked(next, std::string());
      break;
  }
}

void ProgressScreen::paint() {
  if (!running_.load(std::memory_order_acquire)) return;
  PaintScope paint(window_);
  drawFrame(paint.dc());
}

FrameContent ProgressScreen::frameContentLocked() const {
  FrameContent content;
  content.logoY = logoY(surface_.height(), bitmapSize(logo_.get()).height, introProgress(), outroProgress());
  content.textColor = textColor();
  content.captionLine = caption_ + percentText_;
  content.addressText = addressText_;
  return content;
}

void ProgressScreen::drawFrame(HDC windowDc) {
  Lock lock(textLock_);
  drawFrameLocked(windowDc, frameContentLocked());
}

void ProgressScreen::drawFrameLocked(HDC windowDc, FrameContent content) {
  const HDC dc = surface_.drawingDc();
  const int width = surface_.width();
  const int height = surface_.height();
  const BitmapSize logoSize = bitmapSize(logo_.get());

  // The null pen leaves no outline, so this fills exactly the surface.
  surface_.setFillColorRgb(kBackgroundColor);
  ::Rectangle(dc, 0, 0, width + 1, height + 1);

  surface_.drawBitmap(logo_.get(), logoX(width, logoSize.width), content.logoY, 0, 0, logoSize.width, logoSize.height);

  const std::string& line = content.captionLine;
  const int lineLength = static_cast<int>(line.size());
  surface_.setTextColorRgb(content.textColor);
  ::TextOutA(dc, centredTextX(width, surface_.textWidth(line.c_str(), lineLength)), captionY(height, logoSize.height),
             line.c_str(), lineLength);

  const std::string& address = content.addressText;
  const int addressLength = static_cast<int>(address.size());
  surface_.setTextColorRgb(content.textColor);
  ::TextOutA(dc, centredTextX(width, surface_.textWidth(address.c_str(), addressLength)), addressY(height),
             address.c_str(), addressLength);

  surface_.blitTo(windowDc, 0, 0);
  lastFrame_ = std::move(content);
  frameDrawn_ = true;
  framesDrawn_.fetch_add(1, std::memory_order_release);
}

void ProgressScreen::drawCaptionBandLocked(HDC windowDc, FrameContent content) {
  const HDC dc = surface_.drawingDc();
  const int width = surface_.width();
  const int top = captionY(surface_.height(), bitmapSize(logo_.get()).height);
  // The same fill and text as a whole frame's, over fewer rows: the band
  // comes out exactly as a whole frame would draw it.
  surface_.setFillColorRgb(kBackgroundColor);
  ::Rectangle(dc, 0, top, width + 1, top + kTextBandRows + 1);
  const std::string& line = content.captionLine;
  const int lineLength = static_cast<int>(line.size());
  surface_.setTextColorRgb(content.textColor);
  ::TextOutA(dc, centredTextX(width, surface_.textWidth(line.c_str(), lineLength)), top, line.c_str(), lineLength);
  surface_.blitRowsTo(windowDc, top, kTextBandRows);
  lastFrame_ = std::move(content);
  frameDrawn_ = true;
  framesDrawn_.fetch_add(1, std::memory_order_release);
}

}  // namespace fyrel
