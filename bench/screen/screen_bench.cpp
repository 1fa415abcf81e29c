// What the loading screen's animation costs in CPU per second of animation,
// at two window sizes: the refresh thread (animation, percent text and the
// frames it draws through the window's DC), which is the screen's cost, and
// apart from it the window thread: the host's message loop with the
// loader's 10 ms timer and the paint messages. Frames are counted, and timed from GetDC to ReleaseDC,
// through this program's import table; the screen code is linked in.
//   fyrel_bench_screen [seconds per size]   (default 10: the system counts thread time in steps of
//   10 to 16 ms, too coarse for a few frames a second over 3 s)
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "cpu_time.h"
#include "screen/progress_screen.h"
#include "support/import_patch.h"

namespace {

using fyrel::bench::processCpuMs;
using fyrel::bench::threadCpuMs;

fyrel::ProgressScreen* gScreen = nullptr;
// Written by the refresh thread only, read after it has been measured.
long gFrames = 0;
LARGE_INTEGER gFrameTicks{};
LARGE_INTEGER gFrameStart{};
long gPaintMessages = 0;

using GetDcFn = HDC(WINAPI*)(HWND);
using ReleaseDcFn = int(WINAPI*)(HWND, HDC);
GetDcFn gRealGetDc = nullptr;
ReleaseDcFn gRealReleaseDc = nullptr;

HDC WINAPI countedGetDc(HWND window) {
  ::QueryPerformanceCounter(&gFrameStart);
  return gRealGetDc(window);
}

int WINAPI countedReleaseDc(HWND window, HDC dc) {
  const int result = gRealReleaseDc(window, dc);
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  gFrameTicks.QuadPart += now.QuadPart - gFrameStart.QuadPart;
  ++gFrames;
  return result;
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT && gScreen != nullptr) {
    gScreen->paint();
    ++gPaintMessages;
    return 0;
  }
  return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

// The percentage goes from 0 to 100 over sweepMs: over the measured time
// itself (some 33 new percentages a second, a fast link), or over minutes
// (a slow link: one new percentage every second or two).
DWORD gSweepMs = 0;

// The host's loop with the loader's 10 ms window timer (set in measure()):
// it sleeps until its next message, and each timer step hands the screen
// the current percentage, as the controller's does.
void pumpFor(DWORD milliseconds, fyrel::ProgressScreen& screen) {
  const DWORD start = ::GetTickCount();
  const DWORD sweep = gSweepMs != 0 ? gSweepMs : milliseconds;
  MSG msg;
  while (::GetTickCount() - start<milliseconds&& ::GetMessageA(&msg, nullptr, 0, 0)> 0) {
    if (msg.message == WM_TIMER)
      screen.setDownloadPercent(static_cast<float>(::GetTickCount() - start) * 100.0f / static_cast<float>(sweep));
    ::DispatchMessageA(&msg);
  }
}

void measure(int width, int height, DWORD seconds) {
  RECT rect = {0, 0, width, height};
  const DWORD style = WS_POPUP | WS_VISIBLE;
  ::AdjustWindowRect(&rect, style, FALSE);
  HWND window = ::CreateWindowExA(0, "FyrelScreenBench", "bench", style, 0, 0, rect.right - rect.left,
                                  rect.bottom - rect.top, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  ::UpdateWindow(window);
  ::SetTimer(window, 0, 10, nullptr);

  fyrel::ProgressScreen screen(::GetModuleHandleA(nullptr), window);
  gScreen = &screen;
  // Past the slide-in, so every frame carries the logo, the caption with a
  // changing percentage and the address line.
  screen.startRefreshThread();
  pumpFor(1100, screen);

  const long framesBefore = gFrames;
  const LARGE_INTEGER frameTicksBefore = gFrameTicks;
  const long paintMessagesBefore = gPaintMessages;
  const double refreshBefore = threadCpuMs(screen.refreshThreadHandle());
  const double windowBefore = threadCpuMs();
  const double processBefore = processCpuMs();
  const DWORD start = ::GetTickCount();
  pumpFor(seconds * 1000, screen);
  const double elapsedS = (::GetTickCount() - start) / 1000.0;
  const double refreshMs = threadCpuMs(screen.refreshThreadHandle()) - refreshBefore;
  const double windowMs = threadCpuMs() - windowBefore;
  const double processMs = processCpuMs() - processBefore;
  const long frames = gFrames - framesBefore;
  const long paintMessages = gPaintMessages - paintMessagesBefore;
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  const double frameMs = static_cast<double>(gFrameTicks.QuadPart - frameTicksBefore.QuadPart) * 1000.0 /
                         static_cast<double>(frequency.QuadPart);

  std::printf("%5dx%-4d %6s  %7.1f  %9.1f  %9.1f  %9.1f  %8.1f  %8.3f  %8ld\n", width, height,
              gSweepMs != 0 ? "slow" : "fast", refreshMs / elapsedS, windowMs / elapsedS,
              (refreshMs + windowMs) / elapsedS, processMs / elapsedS, frames / elapsedS,
              frames > 0 ? frameMs / frames : 0.0, paintMessages);

  screen.requestStop();
  while (!screen.hasFinished()) pumpFor(10, screen);
  gScreen = nullptr;
  ::KillTimer(window, 0);
  ::DestroyWindow(window);
}

}  // namespace

int main(int argc, char** argv) {
  const DWORD seconds = argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 10;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "FyrelScreenBench";
  ::RegisterClassA(&windowClass);

  HMODULE user32 = ::GetModuleHandleA("user32.dll");
  gRealGetDc = reinterpret_cast<GetDcFn>(reinterpret_cast<void*>(::GetProcAddress(user32, "GetDC")));
  gRealReleaseDc = reinterpret_cast<ReleaseDcFn>(reinterpret_cast<void*>(::GetProcAddress(user32, "ReleaseDC")));
  fyrel::test::ImportPatch getDc(::GetModuleHandleA(nullptr), "user32.dll", "GetDC",
                                 reinterpret_cast<void*>(&countedGetDc));
  fyrel::test::ImportPatch releaseDc(::GetModuleHandleA(nullptr), "user32.dll", "ReleaseDC",
                                     reinterpret_cast<void*>(&countedReleaseDc));
  if (!getDc.applied() || !releaseDc.applied()) {
    std::fprintf(stderr, "could not count frames: GetDC/ReleaseDC not in the import table\n");
    return 1;
  }

  std::printf("Loading screen: CPU per second of animation (ms of CPU per s), %lu s per size\n",
              static_cast<unsigned long>(seconds));
  std::printf("%-10s %6s  %7s  %9s  %9s  %9s  %8s  %8s  %8s\n", "size", "link", "refresh", "window", "together",
              "process", "frames/s", "ms/frame", "WM_PAINT");
  measure(640, 480, seconds);
  measure(1280, 720, seconds);
  gSweepMs = 100 * 1000;  // a new percentage every second
  measure(640, 480, seconds);
  measure(1280, 720, seconds);
  std::printf(
      "fast: the percentage goes from 0 to 100 over the measured time; slow: one step a second, as on a paced link\n"
      "refresh: the screen's own thread; window: the host's loop woken by the 10 ms timer (Wine's delivery of\n"
      "  100 timer messages a second), and the paint messages (counted under WM_PAINT)\n");
  std::printf(
      "before (every step drew and copied a frame): 640x480 33.3 ms per s at 96.7 frames/s; "
      "goal <= 5 ms per s (refresh) while only the percentage changes\n");
  return 0;
}
