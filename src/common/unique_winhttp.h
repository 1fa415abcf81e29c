// Owners for WinHTTP handles. Apart from unique_handle.h because WinINet's
// and WinHTTP's headers cannot be included together.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include "common/unique_handle.h"

namespace fyrel {

using UniqueWinHttp = UniqueHandle<HINTERNET, HandleTraits<HINTERNET, nullptr, ::WinHttpCloseHandle>>;

}  // namespace fyrel
