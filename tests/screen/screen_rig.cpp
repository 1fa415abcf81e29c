#include "screen/screen_rig.h"

#include "screen/png_writer.h"
#include "support/test_paths.h"

namespace fyrel::test {

std::atomic<DWORD> FakeClock::ticks_{0};

DWORD WINAPI FakeClock::now() { return ticks_.load(); }
void FakeClock::set(DWORD ticks) { ticks_.store(ticks); }
void FakeClock::advance(DWORD milliseconds) { ticks_.fetch_add(milliseconds); }

Frame Frame::ofDc(HDC dc, int width, int height) {
  Frame frame;
  frame.width_ = width;
  frame.height_ = height;
  frame.pixels_.assign(static_cast<size_t>(width) * height, 0);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueBitmap dib(::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  UniqueMemoryDC memory(::CreateCompatibleDC(dc));
  {
    SelectGuard selected(memory.get(), dib.get());
    ::BitBlt(memory.get(), 0, 0, width, height, dc, 0, 0, SRCCOPY);
    ::GdiFlush();
  }
  const auto* source = static_cast<const std::uint32_t*>(bits);
  if (source != nullptr) {
    for (size_t i = 0; i < frame.pixels_.size(); ++i) frame.pixels_[i] = source[i] & 0xFFFFFFu;
  }
  return frame;
}

Frame Frame::ofWindow(HWND window) {
  RECT client{};
  ::GetClientRect(window, &client);
  HDC dc = ::GetDC(window);
  Frame frame = ofDc(dc, client.right, client.bottom);
  ::ReleaseDC(window, dc);
  return frame;
}

Frame Frame::ofBitmap(HBITMAP bitmap) {
  BITMAP info{};
  ::GetObjectA(bitmap, sizeof info, &info);
  HDC screen = ::GetDC(nullptr);
  UniqueMemoryDC source(::CreateCompatibleDC(screen));
  ::ReleaseDC(nullptr, screen);
  SelectGuard selected(source.get(), bitmap);
  return ofDc(source.get(), info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight);
}

bool Frame::contains(const Frame& part, int x, int y) const {
  for (int row = 0; row < part.height(); ++row) {
    if (y + row < 0 || y + row >= height_) continue;
    for (int column = 0; column < part.width(); ++column) {
      if (x + column < 0 || x + column >= width_) return false;
      if (at(x + column, y + row) != part.at(column, row)) return false;
    }
  }
  return true;
}

Frame::Extent Frame::find(std::uint32_t rgb, int firstRow, int lastRow) const {
  Extent extent;
  for (int y = firstRow; y <= lastRow && y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      if (at(x, y) != rgb) continue;
      if (extent.count++ == 0) {
        extent.top = extent.bottom = y;
        extent.left = extent.right = x;
      }
      extent.bottom = y;
      if (x < extent.left) extent.left = x;
      if (x > extent.right) extent.right = x;
    }
  }
  return extent;
}

void Frame::saveSnapshot(const std::string& name) const {
  std::string folder = binDir() + "..\\snapshots\\";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  folder += "screen\\";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  writeFile(folder + name + ".png", encodePng(width_, height_, pixels_));
}

TestWindow& sharedWindow() {
  static TestWindow* window = new TestWindow(640, 480, "fyrel screen test");  // lives as long as the process
  return *window;
}

ScreenRig::ScreenRig(DWORD startTicks) : window_(sharedWindow()) {
  FakeClock::set(startTicks);
  window_.onMessage = [this](UINT message, WPARAM, LPARAM) {
    if (message == WM_PAINT && screen_) screen_->paint();
  };
  screen_ = std::make_unique<ProgressScreen>(::GetModuleHandleA(nullptr), window_.hwnd());
  screen_->setTickSource(&FakeClock::now);
}

ScreenRig::~ScreenRig() {
  stop();
  window_.onMessage = nullptr;
  screen_.reset();
}

void ScreenRig::start() { screen_->startRefreshThread(); }

bool ScreenRig::settle(const std::function<bool()>& done) {
  const bool reached = pumpUntil(done, 5000);
  pumpFor(60);
  return reached;
}

bool ScreenRig::stop() {
  screen_->requestStop();
  return pumpUntil([this] { return screen_->hasFinished(); }, 5000);
}

}  // namespace fyrel::test
