#include "support/test_window.h"

#include "common/proc_address.h"
#include "support/test_paths.h"

namespace fyrel::test {

ExtensionLibrary::ExtensionLibrary() {
  module_ = ::LoadLibraryA((binDir() + "FyrelExtension.dll").c_str());
  if (module_ == nullptr) return;
  create = procAddress<EXT_CreateExtensionFn>(module_, "EXT_CreateExtension");
  destroy = procAddress<EXT_DeleteExtensionFn>(module_, "EXT_DeleteExtension");
  processMsg = procAddress<EXT_ProcessMsgFn>(module_, "EXT_ProcessMsg");
  sendUp = procAddress<EXT_SendUpFn>(module_, "EXT_SendUp");
}

ExtensionLibrary::~ExtensionLibrary() {
  if (module_ != nullptr) ::FreeLibrary(module_);
}

namespace {
constexpr char kClassName[] = "FyrelTestWindow";

void registerClassOnce() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;  // replaced per window below
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = kClassName;
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  ::RegisterClassA(&wc);
  registered = true;
}
}  // namespace

TestWindow::TestWindow(int clientWidth, int clientHeight, const char* title) {
  registerClassOnce();
  RECT rect = {0, 0, clientWidth, clientHeight};
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  ::AdjustWindowRect(&rect, style, FALSE);
  hwnd_ = ::CreateWindowExA(0, kClassName, title, style, 20, 20, rect.right - rect.left, rect.bottom - rect.top,
                            nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  ::SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TestWindow::windowProc));
  ::ShowWindow(hwnd_, SW_SHOW);
  ::UpdateWindow(hwnd_);
  pumpFor(20);
}

TestWindow::~TestWindow() {
  detach();
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
  pumpFor(10);
}

void TestWindow::attach(Generic::GenericExtension* extension, EXT_ProcessMsgFn processMsg) {
  extension_ = extension;
  processMsg_ = processMsg;
}

void TestWindow::detach() {
  extension_ = nullptr;
  processMsg_ = nullptr;
}

LRESULT CALLBACK TestWindow::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TestWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self != nullptr) {
    if (self->onMessage) self->onMessage(msg, wParam, lParam);
    if (self->extension_ != nullptr && self->processMsg_ != nullptr) {
      LRESULT result = 0;
      if (self->processMsg_(self->extension_, msg, wParam, lParam, &result)) return result;
    }
  }
  return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

bool pumpUntil(const std::function<bool()>& done, unsigned timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (::GetTickCount() - start >= timeoutMs) return done();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

void pumpFor(unsigned milliseconds) {
  pumpUntil([] { return false; }, milliseconds);
}

}  // namespace fyrel::test
