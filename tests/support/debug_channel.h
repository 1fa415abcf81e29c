// What the process writes to the debug channel (OutputDebugString), seen as
// a debugger sees it: the string travels in the DBG_PRINTEXCEPTION_C the
// call raises, which a vectored handler receives first, on Windows and under
// Wine alike.
#pragma once

#include <string>
#include <vector>

namespace fyrel::test {

// Collects every debug string of the process while it lives. One at a time.
class DebugChannelCapture {
 public:
  DebugChannelCapture();
  ~DebugChannelCapture();
  DebugChannelCapture(const DebugChannelCapture&) = delete;
  DebugChannelCapture& operator=(const DebugChannelCapture&) = delete;

  std::vector<std::string> lines() const;
  // Every line collected so far, one after the other.
  std::string text() const;

 private:
  void* handler_;
};

}  // namespace fyrel::test
