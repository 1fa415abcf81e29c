// FyrelExtension.dll loaded the way any host loads it: by path, with the
// four exports bound by name.
#pragma once

#include <fyrel/extension_api.h>

#include <string>

#include "common/unique_handle.h"

namespace fyrel::hostplayer {

class ExtensionLibrary {
 public:
  // Empty on failure; error() says why.
  explicit ExtensionLibrary(const std::string& path);

  bool loaded() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  // The extension loads its logo and captions from its own module.
  HINSTANCE module() const { return module_.get(); }

  EXT_CreateExtensionFn create = nullptr;
  EXT_DeleteExtensionFn destroy = nullptr;
  EXT_ProcessMsgFn processMsg = nullptr;
  EXT_SendUpFn sendUp = nullptr;

 private:
  UniqueModule module_;
  std::string error_;
};

// FyrelExtension.dll in the folder of the running program.
std::string extensionBesideProgram();

}  // namespace fyrel::hostplayer
