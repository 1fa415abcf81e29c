// For modules built with MinGW-w64 g++ and the C++ runtime linked in
// statically (-static-libstdc++), as the extension and the sample game are.
//
// That runtime sets aside a pool for exceptions thrown while memory is short
// (about 70 KB on x86_64, less on i686) and frees it only when asked to. A
// module that is loaded and unloaded again and again (a game module, once
// for every game the host shows) would leave one pool behind in the host's
// heap each time. Call fyrel::releaseStaticCppRuntime() from the module's
// DllMain on DLL_PROCESS_DETACH when the module is being unloaded (reserved
// is null); none of the module's C++ code runs after that.
#pragma once

#include <cstddef>  // defines __GLIBCXX__ when the runtime is libstdc++

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
void __freeres() noexcept;
}
#endif

namespace fyrel {

inline void releaseStaticCppRuntime() noexcept {
#if defined(__GLIBCXX__)
  __gnu_cxx::__freeres();
#endif
}

}  // namespace fyrel
