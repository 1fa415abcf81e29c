// The host's top-level window. Its window procedure hands every message to
// the extension through EXT_ProcessMsg and returns the extension's result
// when the extension handled it.
#pragma once

#include <fyrel/extension_api.h>

#include "common/unique_handle.h"

namespace fyrel::hostplayer {

class HostWindow {
 public:
  HostWindow(int clientWidth, int clientHeight, const char* title);

  HWND hwnd() const { return window_.get(); }
  // Messages go to the extension between attach and detach.
  void attach(Generic::GenericExtension* extension, EXT_ProcessMsgFn processMsg);
  void detach();
  // The user asked to close the window; the host ends its run, deletes the
  // extension and only then destroys the window.
  bool closeRequested() const { return closeRequested_; }
  // Call only as the process is about to end. Under Wine without a window
  // manager (Xvfb) destroying a shown window stalls for 2 s waiting for an
  // unmap nobody sends; the process exit takes the window down at once.
  // On Windows the window is destroyed as usual.
  void leaveToProcessExitUnderWine();

  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  Generic::GenericExtension* extension_ = nullptr;
  EXT_ProcessMsgFn processMsg_ = nullptr;
  bool closeRequested_ = false;
  UniqueWindow window_;  // last: destroyed first, while the fields above still exist
};

}  // namespace fyrel::hostplayer
