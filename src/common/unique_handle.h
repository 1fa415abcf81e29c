// One move-only owner for every kind of Win32 handle. Each alias names the
// handle type, its "empty" value and the one call that closes it, so every
// handle is closed exactly once, on every path.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <utility>

namespace fyrel {

template <typename T, typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() noexcept = default;
  explicit UniqueHandle(T value) noexcept : value_(value) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::invalid(); }

  // Gives up ownership without closing.
  T release() noexcept { return std::exchange(value_, Traits::invalid()); }

  void reset(T value = Traits::invalid()) noexcept {
    T old = std::exchange(value_, value);
    if (old != Traits::invalid()) Traits::close(old);
  }

  // For APIs that return the handle through an out-parameter.
  T* put() noexcept {
    reset();
    return &value_;
  }

 private:
  T value_ = Traits::invalid();
};

template <typename T, T Invalid, auto Close>
struct HandleTraits {
  static constexpr T invalid() noexcept { return Invalid; }
  static void close(T value) noexcept { Close(value); }
};

namespace detail {
inline void closeFile(HANDLE h) noexcept { ::CloseHandle(h); }
inline void releaseCryptProvider(HCRYPTPROV p) noexcept { ::CryptReleaseContext(p, 0); }
inline void deleteGdiObject(HGDIOBJ h) noexcept { ::DeleteObject(h); }
inline void freeLocal(HLOCAL h) noexcept { ::LocalFree(h); }
}  // namespace detail

struct FileTraits {
  static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct KernelHandleTraits {
  static HANDLE invalid() noexcept { return nullptr; }
  static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};

struct FindTraits {
  static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) noexcept { ::FindClose(h); }
};

using UniqueFile = UniqueHandle<HANDLE, FileTraits>;                  // CreateFile: INVALID_HANDLE_VALUE is empty
using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;  // threads, events: null is empty
using UniqueModule = UniqueHandle<HMODULE, HandleTraits<HMODULE, nullptr, ::FreeLibrary>>;
using UniqueCryptProvider = UniqueHandle<HCRYPTPROV, HandleTraits<HCRYPTPROV, 0, detail::releaseCryptProvider>>;
using UniqueCryptKey = UniqueHandle<HCRYPTKEY, HandleTraits<HCRYPTKEY, 0, ::CryptDestroyKey>>;
using UniqueCryptHash = UniqueHandle<HCRYPTHASH, HandleTraits<HCRYPTHASH, 0, ::CryptDestroyHash>>;
using UniqueRegKey = UniqueHandle<HKEY, HandleTraits<HKEY, nullptr, ::RegCloseKey>>;
using UniqueMemoryDC = UniqueHandle<HDC, HandleTraits<HDC, nullptr, ::DeleteDC>>;
template <typename GdiObject>
using UniqueGdiObject = UniqueHandle<GdiObject, HandleTraits<GdiObject, nullptr, detail::deleteGdiObject>>;
using UniqueBitmap = UniqueGdiObject<HBITMAP>;
using UniqueBrush = UniqueGdiObject<HBRUSH>;
using UniquePen = UniqueGdiObject<HPEN>;
using UniqueFont = UniqueGdiObject<HFONT>;
using UniqueLocal = UniqueHandle<HLOCAL, HandleTraits<HLOCAL, nullptr, detail::freeLocal>>;
using UniqueWindow = UniqueHandle<HWND, HandleTraits<HWND, nullptr, ::DestroyWindow>>;
using UniqueFind = UniqueHandle<HANDLE, FindTraits>;  // FindFirstFile: closed with FindClose

// Selects a GDI object into a DC and puts the previous one back on scope exit.
class SelectGuard {
 public:
  SelectGuard(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~SelectGuard() {
    if (previous_ != nullptr) ::SelectObject(dc_, previous_);
  }
  SelectGuard(const SelectGuard&) = delete;
  SelectGuard& operator=(const SelectGuard&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// BeginPaint/EndPaint as one scope.
class PaintScope {
 public:
  explicit PaintScope(HWND window) noexcept : window_(window) { dc_ = ::BeginPaint(window, &paint_); }
  ~PaintScope() { ::EndPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC dc() const noexcept { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_ = nullptr;
};

// GetDC/ReleaseDC as one scope (ReleaseDC needs the window too).
class WindowDC {
 public:
  explicit WindowDC(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  ~WindowDC() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const noexcept { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

}  // namespace fyrel
