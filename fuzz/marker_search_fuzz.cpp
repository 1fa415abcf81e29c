// The marker search reads the downloaded package, which an attacker shapes.
// Checked against std::string::find on the same bytes, including the second
// search that resumes from the stream's real position.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "verify/pushback_reader.h"

namespace {

std::int32_t expectedOffset(const std::string& bytes, const std::string& text, std::size_t from) {
  const std::size_t at = bytes.find(text, from);
  return at == std::string::npos ? -1 : static_cast<std::int32_t>(at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fyrel::fuzz::FuzzInput input(data, size);
  // The searched text is a C string of 1 to 16 bytes; the stream holds the rest.
  const std::size_t textLength = input.byte() % 16 + 1;
  std::string text;
  for (std::size_t i = 0; i < textLength && !input.empty(); ++i) {
    const char c = static_cast<char>(input.byte());
    if (c != '\0') text += c;
  }
  if (text.empty()) return 0;
  const std::size_t skip = input.byte();
  const std::string bytes = input.rest();
  const std::size_t start = std::min(skip, bytes.size());

  fyrel::fuzz::MemoryStream stream(bytes);
  if (stream.get() == nullptr) return 0;
  if (std::fseek(stream.get(), static_cast<long>(start), SEEK_SET) != 0) return 0;

  fyrel::PushbackReader reader;
  const std::int32_t first = reader.findString(stream.get(), text.c_str());
  if (first != expectedOffset(bytes, text, start)) std::abort();
  if (first < 0) return 0;
  // After a hit the stream stands one byte past the text (or at its end).
  const std::size_t resume = std::min(static_cast<std::size_t>(first) + text.size() + 1, bytes.size());
  const std::int32_t second = reader.findString(stream.get(), text.c_str());
  if (second != expectedOffset(bytes, text, resume)) std::abort();
  return 0;
}
