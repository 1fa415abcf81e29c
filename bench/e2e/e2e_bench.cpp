// The host's view of a package's road, timed through the real DLL: a real
// window whose messages go through EXT_ProcessMsg, the real loopback server
// the caller started, and the process's own memory counters.
//
//   fyrel_bench_e2e.exe first URL PARTNER [unwatched]
//       one first start: removes the partner's folders, then times
//       EXT_CreateExtension -> "STATE_GAME_READY" and -> "STATE_GAME_STARTED";
//       prints the process's peak memory at "STATE_GAME_READY" and the CPU
//       time the whole process used (all its threads, and the window
//       thread's share) from creation to the download's end and to
//       "STATE_GAME_READY". "unwatched" runs it with no watchdog (below),
//       whose probes would cost the window thread CPU of their own.
//   fyrel_bench_e2e.exe interrupted URL PARTNER BYTES
//       a first start that the host deletes once the package file in the
//       game folder holds BYTES bytes, then a new start of the same game;
//       prints when the delete came and the time from the first creation
//       to the second start's "STATE_GAME_READY".
//   fyrel_bench_e2e.exe installed URL PARTNER ROUNDS
//       starts the package that a first start with URL installed ROUNDS
//       times (the server is not asked: the version marker matches) and times
//       EXT_CreateExtension -> "STATE_GAME_CREATE_SUCCEEDED" and
//       -> "STATE_GAME_STARTED".
// Both also print the longest time the window thread took to answer a
// watchdog's WM_NULL (sent every 20 ms from another thread, as a host's own
// watchdog would): the game's own load (the step that creates the game
// instance, between "STATE_GAME_READY" and "STATE_GAME_CREATE_SUCCEEDED")
// apart from the rest. The window is pumped by a host's GetMessage loop
// (hostLoopUntil), which sleeps between messages.
// Every figure goes to stdout as "name value" lines for scripts/bench.sh.
#include <windows.h>
// after windows.h, which they rely on
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/unique_handle.h"
#include "cpu_time.h"
#include "storage/player_folder.h"
#include "support/answer_watch.h"
#include "support/test_host.h"
#include "support/test_paths.h"
#include "support/test_window.h"

namespace fyrel::bench {
namespace {

using Clock = std::chrono::steady_clock;
using test::pumpUntil;

// A host's own message loop, as a player application runs it: GetMessage,
// which sleeps until the next message (the loader's 10 ms timer brings one
// at least that often), and dispatch. done() is asked after each message.
bool hostLoopUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  MSG msg;
  while (!done()) {
    if (::GetTickCount() - start >= timeoutMs || ::GetMessageA(&msg, nullptr, 0, 0) <= 0) return done();
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return true;
}

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void printMemory(const char* prefix) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
  std::printf("%s_peak_pagefile_kb %zu\n", prefix, static_cast<std::size_t>(counters.PeakPagefileUsage / 1024));
  std::printf("%s_peak_working_set_kb %zu\n", prefix, static_cast<std::size_t>(counters.PeakWorkingSetSize / 1024));
}

// Wall time the window thread spent inside EXT_ProcessMsg (the loader's
// timer steps, paints): the loader's share of that thread, as against the
// window system's cost of delivering the messages.
EXT_ProcessMsgFn gRealProcessMsg = nullptr;
LARGE_INTEGER gInLoaderTicks{};

bool __cdecl timedProcessMsg(Generic::GenericExtension* extension, UINT message, WPARAM wParam, LPARAM lParam,
                             LRESULT* result) {
  LARGE_INTEGER begin, end;
  ::QueryPerformanceCounter(&begin);
  const bool handled = gRealProcessMsg(extension, message, wParam, lParam, result);
  ::QueryPerformanceCounter(&end);
  gInLoaderTicks.QuadPart += end.QuadPart - begin.QuadPart;
  return handled;
}

double inLoaderMs() {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(gInLoaderTicks.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

class Run {
 public:
  explicit Run(const std::string& partner) : partner_(partner) {}

  // No watchdog: its probes cost the window thread CPU that is the host's,
  // not the loader's (the CPU figures of a paced link leave it out).
  void unwatched() { watched_ = false; }

  std::string partnerFolder() const { return resolvePlayerFolder() + partner_ + "\\"; }

  // Creates an extension and pumps the window until `last` is reported;
  // the times at which each of `marks` arrived go to `times` (-1 if never),
  // the process's CPU time used by then (from just before creation) to
  // cpuTimes().
  bool live(const std::string& url, const std::vector<std::string>& marks, std::vector<double>& times) {
    host_.clear();
    host_.set("gamename", "testgame");
    host_.set("partnername", partner_);
    host_.set("gamecab", url);
    host_.set("gamewidth", "320");
    host_.set("gameheight", "200");
    times.assign(marks.size(), -1.0);
    cpuTimes_.assign(marks.size(), -1.0);
    windowCpuTimes_.assign(marks.size(), -1.0);
    inLoaderTimes_.assign(marks.size(), -1.0);
    const double inLoaderStart = inLoaderMs();
    const double cpuStart = processCpuMs();
    const double windowCpuStart = threadCpuMs();
    const Clock::time_point start = Clock::now();
    std::optional<test::AnswerWatch> watch;
    if (watched_) watch.emplace(window_.hwnd());
    const auto sinceStartMs = [&] { return watch ? watch->sinceStartMs() : msSince(start); };
    double readyMs = -1, createdMs = -1;
    std::vector<std::pair<double, std::string>> reports;
    // Marks are stamped inside Notify, not when the pump gets round to it.
    host_.onNotify([&](const test::Pair& pair) {
      reports.emplace_back(sinceStartMs(), pair.second);
      if (pair.second == "STATE_GAME_READY") readyMs = sinceStartMs();
      if (pair.second == "STATE_GAME_CREATE_SUCCEEDED") createdMs = sinceStartMs();
      for (std::size_t i = 0; i < marks.size(); ++i) {
        if (times[i] < 0 && pair.second == marks[i]) {
          times[i] = msSince(start);
          cpuTimes_[i] = processCpuMs() - cpuStart;
          windowCpuTimes_[i] = threadCpuMs() - windowCpuStart;
          inLoaderTimes_[i] = inLoaderMs() - inLoaderStart;
        }
      }
    });
    Generic::GenericExtension* extension = library_.create(window_.hwnd(), 0, library_.module(), &host_);
    createdMs_ = msSince(start);
    if (extension == nullptr) return false;
    gRealProcessMsg = library_.processMsg;
    window_.attach(extension, &timedProcessMsg);
    const bool done = hostLoopUntil([&] { return times.back() >= 0 || failed(); }, 30 * 60 * 1000);
    if (watch) {
      if (readyMs >= 0 && createdMs >= readyMs) {
        longestAnswerMs_ = std::max(watch->longestAnswerMs(0, readyMs), watch->longestAnswerMs(createdMs));
        gameLoadAnswerMs_ = watch->longestAnswerMs(readyMs, createdMs);
      } else {
        longestAnswerMs_ = watch->longestAnswerMs();
        gameLoadAnswerMs_ = 0;
      }
      // The stage of the longest answer: the last report before its probe
      // was sent ("creation" before the first).
      longestAnswerStage_ = "creation";
      for (const test::AnswerWatch::Probe& probe : watch->probes()) {
        if (probe.answerMs != longestAnswerMs_) continue;
        for (const auto& report : reports)
          if (report.first <= probe.sentMs) longestAnswerStage_ = report.second;
        break;
      }
    }
    window_.detach();
    library_.destroy(extension);
    host_.onNotify(nullptr);
    return done && !failed();
  }

  // Creates an extension, pumps the window until `stop` says so (false if
  // the loader failed first), then deletes it.
  bool liveUntil(const std::string& url, const std::function<bool()>& stop) {
    host_.clear();
    host_.set("gamename", "testgame");
    host_.set("partnername", partner_);
    host_.set("gamecab", url);
    host_.set("gamewidth", "320");
    host_.set("gameheight", "200");
    Generic::GenericExtension* extension = library_.create(window_.hwnd(), 0, library_.module(), &host_);
    if (extension == nullptr) return false;
    window_.attach(extension, library_.processMsg);
    const bool done = pumpUntil([&] { return stop() || failed(); }, 30 * 60 * 1000);
    window_.detach();
    library_.destroy(extension);
    return done && !failed();
  }

  // How long the last EXT_CreateExtension call itself took.
  double createdMs() const { return createdMs_; }
  const std::vector<double>& cpuTimes() const { return cpuTimes_; }
  // The window thread's share of cpuTimes().
  const std::vector<double>& windowCpuTimes() const { return windowCpuTimes_; }
  // The window thread's wall time inside EXT_ProcessMsg by each mark.
  const std::vector<double>& inLoaderTimes() const { return inLoaderTimes_; }
  // The window thread's longest answer in the last live(), the game's own
  // load left out, and during that load.
  double longestAnswerMs() const { return longestAnswerMs_; }
  double gameLoadAnswerMs() const { return gameLoadAnswerMs_; }
  const std::string& longestAnswerStage() const { return longestAnswerStage_; }

  bool failed() const {
    for (const auto& pair : host_.notifications()) {
      if (pair.first != "FE_STATE") {
        std::fprintf(stderr, "failed: %s %s\n", pair.first.c_str(), pair.second.c_str());
        return true;
      }
    }
    return false;
  }

 private:
  std::string partner_;
  double createdMs_ = 0;
  double longestAnswerMs_ = 0;
  double gameLoadAnswerMs_ = 0;
  std::string longestAnswerStage_;
  std::vector<double> cpuTimes_;
  std::vector<double> windowCpuTimes_;
  std::vector<double> inLoaderTimes_;
  bool watched_ = true;
  test::ExtensionLibrary library_;
  test::TestWindow window_{640, 480, "fyrel e2e benchmark"};
  test::TestHost host_;
};

int firstStart(const std::string& url, const std::string& partner, bool watched) {
  Run run(partner);
  if (!watched) run.unwatched();
  test::removeTree(run.partnerFolder());
  printMemory("before");
  std::vector<double> times;
  if (!run.live(url, {"STATE_CHECKSIGNATURE", "STATE_EXTRACTING", "STATE_GAME_READY", "STATE_GAME_STARTED"}, times)) {
    return 1;
  }
  // The road to "STATE_GAME_READY" holds the download, the check and the
  // extraction: the peak of the whole run is the peak of that part plus the
  // game's own modest start.
  printMemory("run");
  std::printf("create_ms %.1f\n", run.createdMs());
  std::printf("download_ms %.1f\ncheck_ms %.1f\nextract_ms %.1f\n", times[0], times[1] - times[0], times[2] - times[1]);
  std::printf("ready_ms %.1f\nstarted_ms %.1f\n", times[2], times[3]);
  std::printf("cpu_download_ms %.1f\ncpu_ready_ms %.1f\n", run.cpuTimes()[0], run.cpuTimes()[2]);
  std::printf("cpu_download_window_ms %.1f\n", run.windowCpuTimes()[0]);
  std::printf("download_in_loader_ms %.1f\n", run.inLoaderTimes()[0]);
  if (!watched) return 0;
  std::printf("answer_longest_ms %.1f\nanswer_game_load_ms %.1f\n", run.longestAnswerMs(), run.gameLoadAnswerMs());
  std::printf("answer_longest_after %s\n", run.longestAnswerStage().c_str());
  return 0;
}

unsigned long long fileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int interruptedStart(const std::string& url, const std::string& partner, unsigned long long bytes) {
  Run run(partner);
  test::removeTree(run.partnerFolder());
  const std::string package = run.partnerFolder() + "testgame\\" + url.substr(url.rfind('/') + 1);
  const Clock::time_point start = Clock::now();
  if (!run.liveUntil(url, [&] { return fileSize(package) >= bytes; })) return 1;
  const double deletedMs = msSince(start);
  std::vector<double> times;
  if (!run.live(url, {"STATE_GAME_READY"}, times)) return 1;
  std::printf("deleted_ms %.1f\nready_ms %.1f\n", deletedMs, msSince(start));
  return 0;
}

int installedStarts(const std::string& url, const std::string& partner, int rounds) {
  Run run(partner);
  std::vector<double> created, started;
  double longestAnswer = 0, gameLoadAnswer = 0;
  for (int i = 0; i < rounds; ++i) {
    std::vector<double> times;
    if (!run.live(url, {"STATE_GAME_CREATE_SUCCEEDED", "STATE_GAME_STARTED"}, times)) {
      return 1;
    }
    longestAnswer = std::max(longestAnswer, run.longestAnswerMs());
    gameLoadAnswer = std::max(gameLoadAnswer, run.gameLoadAnswerMs());
    created.push_back(times[0]);
    started.push_back(times[1]);
  }
  std::sort(created.begin(), created.end());
  std::sort(started.begin(), started.end());
  std::printf("installed_created_median_ms %.1f\n", created[created.size() / 2]);
  std::printf("installed_started_min_ms %.1f\n", started.front());
  std::printf("installed_started_median_ms %.1f\n", started[started.size() / 2]);
  std::printf("installed_started_max_ms %.1f\n", started.back());
  std::printf("installed_answer_longest_ms %.1f\ninstalled_answer_game_load_ms %.1f\n", longestAnswer, gameLoadAnswer);
  return 0;
}

}  // namespace
}  // namespace fyrel::bench

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  int status = 2;
  if (mode == "first" && (argc == 4 || (argc == 5 && std::string(argv[4]) == "unwatched"))) {
    status = fyrel::bench::firstStart(argv[2], argv[3], argc == 4);
  } else if (mode == "interrupted" && argc == 5) {
    status = fyrel::bench::interruptedStart(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10));
  } else if (mode == "installed" && argc == 5) {
    status = fyrel::bench::installedStarts(argv[2], argv[3], std::atoi(argv[4]));
  } else {
    std::fprintf(stderr,
                 "usage: %s first URL PARTNER [unwatched] | interrupted URL PARTNER BYTES |"
                 " installed URL PARTNER ROUNDS\n",
                 argv[0]);
  }
  std::fflush(stdout);
  return status;
}
