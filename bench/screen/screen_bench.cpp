// What the loading screen's animation costs in CPU per second of animation,
// at two window sizes: the refresh thread itself (animation, percent text,
// invalidation) and the frames it asks for, which the window's paint
// message draws on the window thread.
//   fyrel_bench_screen [seconds per size]   (default 3)
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "screen/progress_screen.h"

namespace {

fyrel::ProgressScreen* gScreen = nullptr;
long gPaints = 0;
LARGE_INTEGER gPaintTicks{};

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT && gScreen != nullptr) {
    LARGE_INTEGER before, after;
    ::QueryPerformanceCounter(&before);
    gScreen->paint();
    ::QueryPerformanceCounter(&after);
    gPaintTicks.QuadPart += after.QuadPart - before.QuadPart;
    ++gPaints;
  }
  return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

double cpuMs(HANDLE thread) {
  FILETIME created, exited, kernel, user;
  if (!::GetThreadTimes(thread, &created, &exited, &kernel, &user)) return -1.0;
  const auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
  };
  return ms(kernel) + ms(user);
}

double processCpuMs() {
  FILETIME created, exited, kernel, user;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
  };
  return ms(kernel) + ms(user);
}

void pumpFor(DWORD milliseconds, fyrel::ProgressScreen& screen) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < milliseconds) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
    // The controller hands over a new percentage on each of its 10 ms ticks.
    screen.setDownloadPercent(static_cast<float>(::GetTickCount() - start) * 100.0f / milliseconds);
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

void measure(int width, int height, DWORD seconds) {
  RECT rect = {0, 0, width, height};
  const DWORD style = WS_POPUP | WS_VISIBLE;
  ::AdjustWindowRect(&rect, style, FALSE);
  HWND window = ::CreateWindowExA(0, "FyrelScreenBench", "bench", style, 0, 0, rect.right - rect.left,
                                  rect.bottom - rect.top, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  ::UpdateWindow(window);

  fyrel::ProgressScreen screen(::GetModuleHandleA(nullptr), window);
  gScreen = &screen;
  gPaints = 0;
  gPaintTicks.QuadPart = 0;
  // Past the slide-in, so every frame carries the logo, the caption with a
  // changing percentage and the address line.
  screen.startRefreshThread();
  pumpFor(1100, screen);

  const long paintsBefore = gPaints;
  const LARGE_INTEGER paintTicksBefore = gPaintTicks;
  const double refreshBefore = cpuMs(screen.refreshThreadHandle());
  const double windowBefore = cpuMs(::GetCurrentThread());
  const double processBefore = processCpuMs();
  const DWORD start = ::GetTickCount();
  pumpFor(seconds * 1000, screen);
  const double elapsedS = (::GetTickCount() - start) / 1000.0;
  const double refreshMs = cpuMs(screen.refreshThreadHandle()) - refreshBefore;
  const double windowMs = cpuMs(::GetCurrentThread()) - windowBefore;
  const double processMs = processCpuMs() - processBefore;
  const long paints = gPaints - paintsBefore;
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  const double paintMs = static_cast<double>(gPaintTicks.QuadPart - paintTicksBefore.QuadPart) * 1000.0 /
                         static_cast<double>(frequency.QuadPart);

  std::printf("%5dx%-4d  %7.1f  %9.1f  %9.1f  %9.1f  %7.1f  %8.3f\n", width, height, refreshMs / elapsedS,
              windowMs / elapsedS, (refreshMs + windowMs) / elapsedS, processMs / elapsedS, paints / elapsedS,
              paints > 0 ? paintMs / paints : 0.0);

  screen.requestStop();
  while (!screen.hasFinished()) pumpFor(10, screen);
  gScreen = nullptr;
  ::DestroyWindow(window);
}

}  // namespace

int main(int argc, char** argv) {
  const DWORD seconds = argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 3;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "FyrelScreenBench";
  ::RegisterClassA(&windowClass);

  std::printf("Loading screen: CPU per second of animation (ms of CPU per s), %lu s per size\n",
              static_cast<unsigned long>(seconds));
  std::printf("%-10s  %7s  %9s  %9s  %9s  %7s  %8s\n", "size", "refresh", "paint-thr", "together", "process",
              "frames/s", "ms/frame");
  measure(640, 480, seconds);
  measure(1280, 720, seconds);
  return 0;
}
