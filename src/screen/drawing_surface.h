// An offscreen canvas of a fixed size. A whole frame is drawn into it and
// then copied into the window in one step, so the window never shows a
// half-drawn frame. Colours come in as 0xRRGGBB.
#pragma once

#include <windows.h>

#include "common/unique_handle.h"

namespace fyrel {

struct BitmapSize {
  int width = 0;
  int height = 0;
};

// Size of a bitmap whether it is stored bottom-up or top-down; (0, 0) for a
// bitmap that cannot be read, so a missing logo takes no room.
BitmapSize bitmapSize(HBITMAP bitmap) noexcept;

// 0xRRGGBB to the platform's 0x00BBGGRR.
constexpr COLORREF platformColor(int rgb) noexcept {
  const auto v = static_cast<unsigned>(rgb);
  return static_cast<COLORREF>(((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu));
}

class DrawingSurface {
 public:
  DrawingSurface() noexcept = default;
  virtual ~DrawingSurface();
  DrawingSurface(const DrawingSurface&) = delete;
  DrawingSurface& operator=(const DrawingSurface&) = delete;

  // Builds the surface for that size; an earlier one is released first. No
  // GDI failure is checked: a failed call leaves a null handle, and drawing
  // with it has no effect.
  void create(HDC windowDc, int width, int height) noexcept;
  // "Arial" bold, 16 pixels high at a fixed 96 pixels per inch, selected for
  // all text. Only once per created surface.
  void createFont() noexcept;
  void release() noexcept;

  void setTextColorRgb(int rgb) noexcept;
  void setFillColorRgb(int rgb) noexcept;
  int textWidth(const char* text, int length) const noexcept;
  void blitTo(HDC target, int x, int y) const noexcept;
  // Copies rows [top, top + rows) to the same rows of target.
  void blitRowsTo(HDC target, int top, int rows) const noexcept;
  void drawBitmap(HBITMAP bitmap, int x, int y, int sourceX, int sourceY, int width, int height) const noexcept;

  int width() const noexcept { return width_; }
  int height() const noexcept { return height_; }
  HDC drawingDc() const noexcept { return drawingDc_.get(); }
  bool fontCreated() const noexcept { return previousFont_ != nullptr; }
  HBRUSH fillBrush() const noexcept { return fillBrush_.get(); }

 private:
  int width_ = 0;
  int height_ = 0;
  UniqueMemoryDC drawingDc_;
  UniqueMemoryDC bitmapDc_;
  UniqueFont textFont_;
  UniqueBitmap surfaceBitmap_;
  UniqueBrush fillBrush_;
  UniquePen nullPen_;
  // What the drawing DC held before; the DC's own objects, never deleted.
  HGDIOBJ previousFont_ = nullptr;
  HGDIOBJ previousBitmap_ = nullptr;
  HGDIOBJ previousBrush_ = nullptr;
  HGDIOBJ previousPen_ = nullptr;
};

}  // namespace fyrel
