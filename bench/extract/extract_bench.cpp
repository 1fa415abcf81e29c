// Extracts one cabinet with CabExtractor and prints the wall time, waiting
// the way the controller does (10 ms polls of the running flag).
//   fyrel_bench_extract <cabinet> <target folder>
#include <windows.h>

#include <cstdio>

#include "extract/cab_extractor.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fyrel_bench_extract <cabinet> <target folder>\n");
    return 2;
  }
  LARGE_INTEGER frequency;
  LARGE_INTEGER begin;
  LARGE_INTEGER end;
  ::QueryPerformanceFrequency(&frequency);
  fyrel::CabExtractor extractor;
  ::QueryPerformanceCounter(&begin);
  if (!extractor.start(argv[1], argv[2])) {
    std::fprintf(stderr, "could not start the extraction\n");
    return 1;
  }
  while (extractor.isRunning()) ::Sleep(10);
  ::QueryPerformanceCounter(&end);
  if (!extractor.succeeded()) {
    std::fprintf(stderr, "extraction failed\n");
    return 1;
  }
  double seconds = static_cast<double>(end.QuadPart - begin.QuadPart) / static_cast<double>(frequency.QuadPart);
  std::printf("%.3f %lu\n", seconds, static_cast<unsigned long>(extractor.totalBytes()));
  return 0;
}
