#include "support/debug_channel.h"

#include <windows.h>

#include <mutex>

namespace fyrel::test {
namespace {

std::mutex linesLock;
std::vector<std::string> collected;

LONG CALLBACK collect(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  if (record->ExceptionCode != DBG_PRINTEXCEPTION_C || record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  const auto length = static_cast<std::size_t>(record->ExceptionInformation[0]);
  const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
  if (text != nullptr && length > 0) {
    std::lock_guard<std::mutex> guard(linesLock);
    collected.emplace_back(text, length - 1);  // the length counts the NUL
  }
  return EXCEPTION_CONTINUE_EXECUTION;  // as a debugger that has shown it
}

}  // namespace

DebugChannelCapture::DebugChannelCapture() {
  {
    std::lock_guard<std::mutex> guard(linesLock);
    collected.clear();
  }
  handler_ = ::AddVectoredExceptionHandler(1, collect);
}

DebugChannelCapture::~DebugChannelCapture() {
  if (handler_ != nullptr) ::RemoveVectoredExceptionHandler(handler_);
}

std::vector<std::string> DebugChannelCapture::lines() const {
  std::lock_guard<std::mutex> guard(linesLock);
  return collected;
}

std::string DebugChannelCapture::text() const {
  std::string all;
  for (const std::string& line : lines()) all += line;
  return all;
}

}  // namespace fyrel::test
