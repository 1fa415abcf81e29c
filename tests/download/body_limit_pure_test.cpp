#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "download/body_limit.h"

namespace fyrel {
namespace {

TEST(BodyLimit, ContentLengthReadsAsA64BitNumberOrNotAtAll) {
  static const struct {
    const char* text;
    bool number;
    std::uint64_t length;
  } cases[] = {
      {"0", true, 0},
      {"1024", true, 1024},
      {" 77 ", true, 77},
      {"2147483647", true, 2147483647u},
      {"4294967296", true, 4294967296ull},  // 4 GiB: would read as 0 in 32 bits
      {"4294967297", true, 4294967297ull},
      {"99999999999999999999999", true, UINT64_MAX},
      {"", false, 0},
      {"-1", false, 0},
      {"12a", false, 0},
      {"0x10", false, 0},
      {"1 2", false, 0},
  };
  for (const auto& c : cases) {
    std::uint64_t length = 12345;
    EXPECT_EQ(parseContentLength(c.text, length), c.number) << '"' << c.text << '"';
    if (c.number) {
      EXPECT_EQ(length, c.length) << c.text;
    }
  }
  EXPECT_EQ(kMaxPackageBytes, 2147483647u);
}

}  // namespace
}  // namespace fyrel
