// The extension module's entry point: nothing to set up, and on unload the
// statically linked C++ runtime's own pool goes back to the host's heap.
#include <windows.h>
#include <fyrel/module_unload.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // With `reserved` set the process is ending and its heap goes with it.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) fyrel::releaseStaticCppRuntime();
  return TRUE;
}
