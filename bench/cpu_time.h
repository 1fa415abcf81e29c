// CPU time (user plus kernel) in milliseconds, as the benchmarks print it.
#pragma once

#include <windows.h>

namespace fyrel::bench {

inline double cpuMsOf(const FILETIME& kernel, const FILETIME& user) {
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;  // 100 ns units
}

// Every thread of this process so far; -1 when the platform cannot tell.
inline double processCpuMs() {
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  return cpuMsOf(kernel, user);
}

// One thread so far (the calling one by default); -1 when the platform cannot tell.
inline double threadCpuMs(HANDLE thread = ::GetCurrentThread()) {
  FILETIME created, exited, kernel, user;
  if (!::GetThreadTimes(thread, &created, &exited, &kernel, &user)) return -1;
  return cpuMsOf(kernel, user);
}

}  // namespace fyrel::bench
