#include "host_window.h"

#include "common/proc_address.h"

namespace fyrel::hostplayer {
namespace {
constexpr char kClassName[] = "FyrelHostPlayer";
// A fixed size: the extension sizes its loading screen and the game to the
// client area once, at creation.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
}  // namespace

HostWindow::HostWindow(int clientWidth, int clientHeight, const char* title) {
  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &HostWindow::windowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kClassName;
  ::RegisterClassExA(&wc);  // fails harmlessly when the class exists already

  RECT rect = {0, 0, clientWidth, clientHeight};
  ::AdjustWindowRect(&rect, kStyle, FALSE);
  window_.reset(::CreateWindowExA(0, kClassName, title, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, rect.right - rect.left,
                                  rect.bottom - rect.top, nullptr, nullptr, instance, this));
  if (window_) {
    ::ShowWindow(window_.get(), SW_SHOW);
    ::UpdateWindow(window_.get());
  }
}

void HostWindow::attach(Generic::GenericExtension* extension, EXT_ProcessMsgFn processMsg) {
  extension_ = extension;
  processMsg_ = processMsg;
}

void HostWindow::detach() {
  extension_ = nullptr;
  processMsg_ = nullptr;
}

void HostWindow::leaveToProcessExitUnderWine() {
  using WineVersionFn = const char*(__cdecl*)();
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  if (ntdll != nullptr && procAddress<WineVersionFn>(ntdll, "wine_get_version") != nullptr) window_.release();
}

LRESULT CALLBACK HostWindow::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<HostWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self != nullptr && self->extension_ != nullptr) {
    LRESULT result = 0;
    if (self->processMsg_(self->extension_, msg, wParam, lParam, &result)) return result;
    if (msg == WM_CLOSE) {
      // DefWindowProc would destroy the window under the running extension.
      self->closeRequested_ = true;
      return 0;
    }
  }
  return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace fyrel::hostplayer
