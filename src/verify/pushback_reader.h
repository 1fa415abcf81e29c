// Marker search over a stdio stream with a small push-back stack, so that a
// failed candidate costs no seek and the scan resumes one byte after the
// place where the candidate began.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace fyrel {

class PushbackReader {
 public:
  // Offset of the next occurrence of text (ASCII, not empty) at or after the
  // stream's current position, or -1. Bytes held back by an earlier search
  // are dropped first, so a second search starts at the stream's real
  // position. A partial match cut short by the end of the stream is no match.
  int32_t findString(std::FILE* stream, const char* text);

 private:
  int getByte();
  void pushBack(int byte);
  bool atEnd() const;

  std::FILE* stream = nullptr;  // not owned
  int32_t position = 0;         // offset of the byte the next getByte returns
  std::vector<unsigned char> pushback;
};

}  // namespace fyrel
