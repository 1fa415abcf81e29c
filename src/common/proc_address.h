// GetProcAddress into a typed function pointer.
#pragma once

#include <windows.h>

namespace fyrel {

// The detour through void* tells the compiler the type change is meant:
// FARPROC is only a placeholder type for any exported function.
template <typename Fn>
Fn procAddress(HMODULE module, const char* name) noexcept {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace fyrel
