// A real top-level window for tests, whose window procedure hands every
// message to an extension through EXT_ProcessMsg and uses its answer, and a
// message pump that runs until a condition holds or a time limit passes.
#pragma once

#include <windows.h>
#include <fyrel/extension_api.h>

#include <functional>
#include <string>

namespace fyrel::test {

// FyrelExtension.dll from the bin folder, loaded as a host would load it.
class ExtensionLibrary {
 public:
  ExtensionLibrary();
  ~ExtensionLibrary();
  ExtensionLibrary(const ExtensionLibrary&) = delete;
  ExtensionLibrary& operator=(const ExtensionLibrary&) = delete;

  HMODULE module() const { return module_; }
  EXT_CreateExtensionFn create = nullptr;
  EXT_DeleteExtensionFn destroy = nullptr;
  EXT_ProcessMsgFn processMsg = nullptr;
  EXT_SendUpFn sendUp = nullptr;

 private:
  HMODULE module_ = nullptr;
};

class TestWindow {
 public:
  TestWindow(int clientWidth = 640, int clientHeight = 480, const char* title = "fyrel test host");
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  // Messages go to processMsg(extension, ...) while attached.
  void attach(Generic::GenericExtension* extension, EXT_ProcessMsgFn processMsg);
  void detach();
  // Called for each message before it goes to the extension (may be empty).
  std::function<void(UINT, WPARAM, LPARAM)> onMessage;

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND hwnd_ = nullptr;
  Generic::GenericExtension* extension_ = nullptr;
  EXT_ProcessMsgFn processMsg_ = nullptr;
};

// Pumps this thread's messages until done() is true or timeoutMs passes.
// Returns done()'s last value.
bool pumpUntil(const std::function<bool()>& done, unsigned timeoutMs);
// Pumps for a fixed time.
void pumpFor(unsigned milliseconds);

}  // namespace fyrel::test
