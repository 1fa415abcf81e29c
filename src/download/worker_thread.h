// How the download worker's thread is started. A variable rather than a
// direct call so a test can make the start fail, which the real system
// cannot be made to do on demand.
#pragma once

#include <windows.h>

namespace fyrel {

using CreateThreadFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD);
extern CreateThreadFn downloadThreadStarter;

}  // namespace fyrel
