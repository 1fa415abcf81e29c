// Reading one marker line from a real stdio stream (plain standard C++).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "storage/version_marker_text.h"

namespace fyrel {
namespace {

std::string readLineOf(const std::string& bytes) {
  const std::string path = "version_marker_text_test.bin";
  std::FILE* out = std::fopen(path.c_str(), "wb");
  EXPECT_TRUE(out != nullptr);
  if (out == nullptr) return "<no file>";
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
  std::FILE* in = std::fopen(path.c_str(), "rb");
  EXPECT_TRUE(in != nullptr);
  if (in == nullptr) return "<no file>";
  const std::string line = readVersionMarkerLine(in);
  std::fclose(in);
  std::remove(path.c_str());
  return line;
}

TEST(VersionMarkerText, ReadsAtMost255BytesUpToAndWithTheFirstLineFeed) {
  static const struct {
    const char* label;
    std::string bytes;
    std::string line;
  } cases[] = {
      {"whole short name", "puzzle_12.cab", "puzzle_12.cab"},
      {"line feed kept, rest dropped", "a.cab\nb.cab", "a.cab\n"},
      {"carriage return is an ordinary byte", "a.cab\r", "a.cab\r"},
      {"NUL is an ordinary byte", std::string("a\0b", 3), std::string("a\0b", 3)},
      {"255 bytes", std::string(255, 'x'), std::string(255, 'x')},
      {"256 bytes cut to 255", std::string(256, 'x'), std::string(255, 'x')},
      {"line feed as byte 256 is not read", std::string(255, 'x') + "\n", std::string(255, 'x')},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(readLineOf(c.bytes), c.line);
  }
}

TEST(VersionMarkerText, EmptyContentNeverMatches) {
  EXPECT_TRUE(versionMarkerContentMatches("a.cab", "a.cab"));
  EXPECT_FALSE(versionMarkerContentMatches("", ""));
  EXPECT_FALSE(versionMarkerContentMatches("a.cab", "A.cab"));
}

}  // namespace
}  // namespace fyrel
