#include "window_snapshot.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "common/unique_handle.h"
#include "png_encoder.h"

namespace fyrel::hostplayer {

bool makeFolders(const std::string& folder) {
  for (std::size_t at = folder.find_first_of("\\/", 1); at != std::string::npos;
       at = folder.find_first_of("\\/", at + 1)) {
    // "C:\" and "\\server\" are no folders to create.
    if (at > 0 && folder[at - 1] != ':' && folder[at - 1] != '\\' && folder[at - 1] != '/')
      ::CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
  }
  ::CreateDirectoryA(folder.c_str(), nullptr);
  const DWORD attributes = ::GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool saveClientArea(HWND window, const std::string& pngPath) {
  RECT client = {};
  if (!::GetClientRect(window, &client)) return false;
  const int width = client.right, height = client.bottom;
  if (width <= 0 || height <= 0) return false;

  // Copy the window's pixels into a top-down 32-bit DIB we can read directly.
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  WindowDC windowDc(window);
  if (windowDc.get() == nullptr) return false;
  UniqueMemoryDC memoryDc(::CreateCompatibleDC(windowDc.get()));
  UniqueBitmap bitmap(::CreateDIBSection(windowDc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memoryDc || !bitmap || bits == nullptr) return false;
  {
    SelectGuard select(memoryDc.get(), bitmap.get());
    if (!::BitBlt(memoryDc.get(), 0, 0, width, height, windowDc.get(), 0, 0, SRCCOPY)) return false;
  }
  ::GdiFlush();

  const auto* bgrx = static_cast<const std::uint8_t*>(bits);
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  for (std::size_t i = 0, n = rgb.size() / 3; i < n; ++i) {
    rgb[i * 3 + 0] = bgrx[i * 4 + 2];
    rgb[i * 3 + 1] = bgrx[i * 4 + 1];
    rgb[i * 3 + 2] = bgrx[i * 4 + 0];
  }
  const std::vector<std::uint8_t> png = encodePng(width, height, rgb);

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(pngPath.c_str(), "wb"), &std::fclose);
  if (!file) return false;
  return std::fwrite(png.data(), 1, png.size(), file.get()) == png.size();
}

}  // namespace fyrel::hostplayer
