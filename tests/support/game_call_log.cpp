#include "support/game_call_log.h"

#include <mutex>

namespace fyrel::test {
namespace {
std::mutex logMutex;
std::vector<std::string>& log() {
  static std::vector<std::string> entries;
  return entries;
}
}  // namespace

std::vector<std::string> gameCalls() {
  std::lock_guard<std::mutex> lock(logMutex);
  return log();
}

void clearGameCalls() {
  std::lock_guard<std::mutex> lock(logMutex);
  log().clear();
}

}  // namespace fyrel::test

// Looked up by name in the running executable by the test game modules.
extern "C" __declspec(dllexport) void fyrelTestRecordGameCall(const char* line) {
  std::lock_guard<std::mutex> lock(fyrel::test::logMutex);
  fyrel::test::log().push_back(line);
}

extern "C" {
__declspec(dllexport) int fyrelTestGameMessageResult = 1;
}

namespace fyrel::test {
void setGameMessageResult(bool notHandled) { fyrelTestGameMessageResult = notHandled ? 1 : 0; }
}  // namespace fyrel::test
