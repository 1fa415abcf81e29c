// A module with nothing of the extension's in it, built and linked as a game
// module is (C++, static runtime), for the module reload test. With PROBE_RELEASE_RUNTIME it gives its runtime's
// per-load leftovers back on unload (include/fyrel/module_unload.h); without, it shows what the toolchain's runtime
// leaves behind by itself.
#include <fyrel/module_unload.h>

#include <string>
#include <thread>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
#ifdef PROBE_RELEASE_RUNTIME
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) fyrel::releaseStaticCppRuntime();
#else
  (void)reason;
  (void)reserved;
#endif
  return TRUE;
}

// What a game typically does with the runtime: strings, and a thread of its own.
extern "C" __declspec(dllexport) int __cdecl probeLength(const char* text) {
  int length = 0;
  std::thread worker([&] { length = static_cast<int>(std::string(text).size()); });
  worker.join();
  return length;
}
