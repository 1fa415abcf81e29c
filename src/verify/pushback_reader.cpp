#include "verify/pushback_reader.h"

#include <cstring>

namespace fyrel {

int PushbackReader::getByte() {
  ++position;
  if (pushback.empty()) return std::fgetc(stream);
  const int byte = pushback.back();
  pushback.pop_back();
  return byte;
}

void PushbackReader::pushBack(int byte) {
  --position;
  // The end of the stream is no byte: handing it back would invent a 0xFF
  // after the last real byte. The stream's end indicator already remembers it.
  if (byte != EOF) pushback.push_back(static_cast<unsigned char>(byte));
}

bool PushbackReader::atEnd() const { return pushback.empty() && std::feof(stream) != 0; }

int32_t PushbackReader::findString(std::FILE* searched, const char* text) {
  stream = searched;
  pushback.clear();
  position = static_cast<int32_t>(std::ftell(stream));
  const std::size_t length = std::strlen(text);
  const int first = static_cast<unsigned char>(text[0]);

  while (!atEnd()) {
    if (getByte() != first) continue;
    std::size_t matched = 1;
    int last = getByte();
    while (matched < length && last == static_cast<unsigned char>(text[matched])) {
      ++matched;
      last = getByte();
    }
    // Resume right after this candidate's first byte: the bytes read past it
    // may hold the start of an overlapping occurrence.
    pushBack(last);
    for (std::size_t i = matched - 1; i >= 1; --i) pushBack(static_cast<unsigned char>(text[i]));
    if (matched == length) return position - 1;
  }
  return -1;
}

}  // namespace fyrel
