#include "player_host.h"

#include <windows.h>

#include <cstdio>
#include <utility>

namespace fyrel::hostplayer {

PlayerHost::PlayerHost(NamedValues values, std::string until, bool times, std::uint64_t startTick)
    : values_(std::move(values)), until_(std::move(until)), times_(times), startTick_(startTick) {}

void PlayerHost::Notify(const char* first, const char* second) {
  const std::string a = first != nullptr ? first : "";
  const std::string b = second != nullptr ? second : "";
  std::lock_guard<std::mutex> lock(mutex_);
  // Flushed line by line: whoever reads the pipe sees each state as it happens.
  if (times_) std::printf("%.3f\t", static_cast<double>(::GetTickCount64() - startTick_) / 1000.0);
  std::printf("%s\t%s\n", a.c_str(), b.c_str());
  std::fflush(stdout);

  if (ending_ == Ending::None) ending_ = endingOf(a, b, until_);
  if (isStateReport(a) && b == "STATE_GAME_STARTED") gameStarted_ = true;
  snapshotLabels_.push_back(snapshotLabel(a, b));
}

int PlayerHost::GetValue(const char* name, std::string* value) {
  return values_.answer(name != nullptr ? name : "", value);
}

Ending PlayerHost::ending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ending_;
}

bool PlayerHost::gameStarted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return gameStarted_;
}

std::vector<std::string> PlayerHost::takeSnapshotLabels() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(snapshotLabels_, {});
}

}  // namespace fyrel::hostplayer
