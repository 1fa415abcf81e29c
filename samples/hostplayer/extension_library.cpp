#include "extension_library.h"

#include "common/proc_address.h"

namespace fyrel::hostplayer {

ExtensionLibrary::ExtensionLibrary(const std::string& path) : module_(::LoadLibraryA(path.c_str())) {
  if (!module_) {
    error_ = "cannot load " + path + " (error " + std::to_string(::GetLastError()) + ")";
    return;
  }
  create = procAddress<EXT_CreateExtensionFn>(module_.get(), "EXT_CreateExtension");
  destroy = procAddress<EXT_DeleteExtensionFn>(module_.get(), "EXT_DeleteExtension");
  processMsg = procAddress<EXT_ProcessMsgFn>(module_.get(), "EXT_ProcessMsg");
  sendUp = procAddress<EXT_SendUpFn>(module_.get(), "EXT_SendUp");
  if (create == nullptr || destroy == nullptr || processMsg == nullptr || sendUp == nullptr)
    error_ = path + " lacks one of the four EXT_ exports";
}

std::string extensionBesideProgram() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return "FyrelExtension.dll";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);  // truncated: try a bigger buffer
  }
  const auto slash = path.find_last_of("\\/");
  return path.substr(0, slash == std::string::npos ? 0 : slash + 1) + "FyrelExtension.dll";
}

}  // namespace fyrel::hostplayer
