// Owners for WinINet handles. Apart from unique_handle.h because WinINet's
// and WinHTTP's headers cannot be included together.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "common/unique_handle.h"

namespace fyrel {

using UniqueInternet = UniqueHandle<HINTERNET, HandleTraits<HINTERNET, nullptr, ::InternetCloseHandle>>;

}  // namespace fyrel
