#include "screen/drawing_surface.h"

#include <cstdlib>

namespace fyrel {

BitmapSize bitmapSize(HBITMAP bitmap) noexcept {
  BITMAP info{};
  if (::GetObjectA(bitmap, sizeof info, &info) == 0) return {};
  return {std::abs(info.bmWidth), std::abs(info.bmHeight)};
}

DrawingSurface::~DrawingSurface() { release(); }

void DrawingSurface::create(HDC windowDc, int width, int height) noexcept {
  release();
  width_ = width;
  height_ = height;
  surfaceBitmap_.reset(::CreateCompatibleBitmap(windowDc, width, height));
  fillBrush_.reset(::CreateSolidBrush(0));
  nullPen_.reset(::CreatePen(PS_NULL, 0, 0));
  drawingDc_.reset(::CreateCompatibleDC(windowDc));
  bitmapDc_.reset(::CreateCompatibleDC(windowDc));
  previousBitmap_ = ::SelectObject(drawingDc_.get(), surfaceBitmap_.get());
  previousPen_ = ::SelectObject(drawingDc_.get(), nullPen_.get());
  previousBrush_ = ::SelectObject(drawingDc_.get(), fillBrush_.get());
  ::SetBkMode(drawingDc_.get(), TRANSPARENT);
}

void DrawingSurface::createFont() noexcept {
  if (!drawingDc_ || previousFont_ != nullptr) return;
  // 12 points at 96 pixels per inch whatever the display's resolution; the
  // negative height asks for the character height without internal leading.
  const int height = -::MulDiv(12, 96, 72);
  textFont_.reset(::CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                                CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, 0, "Arial"));
  previousFont_ = ::SelectObject(drawingDc_.get(), textFont_.get());
}

void DrawingSurface::release() noexcept {
  if (!drawingDc_) return;
  // Everything goes back into the DC before anything is deleted: GDI does
  // not delete an object that is still selected.
  ::SelectObject(drawingDc_.get(), previousBitmap_);
  ::SelectObject(drawingDc_.get(), previousPen_);
  ::SelectObject(drawingDc_.get(), previousBrush_);
  if (previousFont_ != nullptr) {
    ::SelectObject(drawingDc_.get(), previousFont_);
    textFont_.reset();
  }
  surfaceBitmap_.reset();
  drawingDc_.reset();
  bitmapDc_.reset();
  fillBrush_.reset();
  nullPen_.reset();
  previousFont_ = nullptr;
  previousBitmap_ = previousBrush_ = previousPen_ = nullptr;
  width_ = 0;
  height_ = 0;
}

void DrawingSurface::setTextColorRgb(int rgb) noexcept { ::SetTextColor(drawingDc_.get(), platformColor(rgb)); }

void DrawingSurface::setFillColorRgb(int rgb) noexcept {
  UniqueBrush brush(::CreateSolidBrush(platformColor(rgb)));
  ::SelectObject(drawingDc_.get(), brush.get());
  fillBrush_ = std::move(brush);  // deletes the brush it replaced, now deselected
}

int DrawingSurface::textWidth(const char* text, int length) const noexcept {
  SIZE extent{};
  ::GetTextExtentPoint32A(drawingDc_.get(), text, length, &extent);
  return extent.cx;
}

void DrawingSurface::blitTo(HDC target, int x, int y) const noexcept {
  ::BitBlt(target, x, y, width_, height_, drawingDc_.get(), 0, 0, SRCCOPY);
}

void DrawingSurface::blitRowsTo(HDC target, int top, int rows) const noexcept {
  ::BitBlt(target, 0, top, width_, rows, drawingDc_.get(), 0, top, SRCCOPY);
}

void DrawingSurface::drawBitmap(HBITMAP bitmap, int x, int y, int sourceX, int sourceY, int width,
                                int height) const noexcept {
  SelectGuard selected(bitmapDc_.get(), bitmap);
  ::BitBlt(drawingDc_.get(), x, y, width, height, bitmapDc_.get(), sourceX, sourceY, SRCCOPY);
}

}  // namespace fyrel
