// The four functions the host binds. Nothing may throw past them.
//
// Every extension the host holds was made by EXT_CreateExtension, so the
// exports may treat it as the loader. Each call is admitted, or refused, by
// the boundary rules of host_calls.cpp: the window's thread only, nothing
// once destruction has begun, a deletion inside a call deferred.
#include <fyrel/extension_api.h>

#include <new>

#include "extension/game_loader_extension.h"

namespace {

fyrel::GameLoaderExtension* loader(Generic::GenericExtension* extension) {
  return static_cast<fyrel::GameLoaderExtension*>(extension);
}

}  // namespace

extern "C" {

Generic::GenericExtension* __cdecl EXT_CreateExtension(HWND window, int reserved, HINSTANCE resourceModule,
                                                       ExtensionHost* host) {
  if (!fyrel::GameLoaderExtension::admitsCreation(window)) return nullptr;
  auto* extension = new (std::nothrow) fyrel::GameLoaderExtension();
  if (extension == nullptr) return nullptr;
  extension->host = host;
  extension->bindWindowThread(window);
  extension->enterHostCall("EXT_CreateExtension");  // admitted: this is the window's thread
  bool created = false;
  try {
    created = extension->Create(window, reserved, resourceModule);
  } catch (...) {
    created = false;  // out of memory while creating: treated like refused parameters
  }
  // Deleted by the host from inside one of its reports: there is nothing
  // to hand back.
  if (extension->leaveHostCall()) return nullptr;
  if (created) return extension;
  // The host already has the error report; destroying the half-made instance
  // (rather than leaking it) also sends the closing "FE_STATE" report.
  delete extension;
  return nullptr;
}

void __cdecl EXT_DeleteExtension(Generic::GenericExtension* extension) {
  if (extension != nullptr) loader(extension)->requestDeletion();
}

bool __cdecl EXT_ProcessMsg(Generic::GenericExtension* extension, UINT msg, WPARAM wParam, LPARAM lParam,
                            LRESULT* result) {
  // Messages arrive before EXT_CreateExtension has returned (WM_CREATE and
  // friends) and after it returned null: there is no extension to route to.
  if (extension == nullptr) return false;
  fyrel::GameLoaderExtension* self = loader(extension);
  if (!self->enterHostCall("EXT_ProcessMsg")) return false;
  bool handled = false;
  try {
    handled = self->ProcessMsg(msg, wParam, lParam, result);
  } catch (...) {
    handled = false;  // let the host's default handling take the message
  }
  self->leaveHostCall();
  return handled ? 1 : 0;
}

int __cdecl EXT_SendUp(Generic::GenericExtension* extension, const char* name, const char* value) {
  if (extension == nullptr) return 0;
  fyrel::GameLoaderExtension* self = loader(extension);
  if (!self->enterHostCall("EXT_SendUp")) return 0;
  self->SendUp(name, value);  // catches what it may throw itself
  self->leaveHostCall();
  return 0;
}

}  // extern "C"
