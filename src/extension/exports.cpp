// The four functions the host binds. Nothing may throw past them.
#include <fyrel/extension_api.h>

#include <new>

#include "extension/game_loader_extension.h"

extern "C" {

Generic::GenericExtension* __cdecl EXT_CreateExtension(HWND window, int reserved, HINSTANCE resourceModule,
                                                       ExtensionHost* host) {
  auto* extension = new (std::nothrow) fyrel::GameLoaderExtension();
  if (extension == nullptr) return nullptr;
  extension->host = host;
  bool created = false;
  try {
    created = extension->Create(window, reserved, resourceModule);
  } catch (...) {
    created = false;  // out of memory while creating: treated like refused parameters
  }
  if (created) return extension;
  // The host already has the error report; destroying the half-made instance
  // (rather than leaking it) also sends the closing "FE_STATE" report.
  delete extension;
  return nullptr;
}

void __cdecl EXT_DeleteExtension(Generic::GenericExtension* extension) { delete extension; }

bool __cdecl EXT_ProcessMsg(Generic::GenericExtension* extension, UINT msg, WPARAM wParam, LPARAM lParam,
                            LRESULT* result) {
  try {
    return extension->ProcessMsg(msg, wParam, lParam, result) ? 1 : 0;
  } catch (...) {
    return 0;  // let the host's default handling take the message
  }
}

int __cdecl EXT_SendUp(Generic::GenericExtension* extension, const char* name, const char* value) {
  extension->SendUp(name, value);
  return 0;
}

}  // extern "C"
