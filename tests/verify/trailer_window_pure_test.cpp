// The window of a package's last bytes, kept back while the package
// arrives in pieces of every size; plain standard C++, so it runs natively
// under the sanitizers as well as under Wine.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "verify/trailer_window.h"

namespace fyrel {
namespace {

std::string bytes(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 7 + i / 251) % 256);
  return text;
}

TEST(TrailerWindow, HandsOnEveryByteBeforeTheLastWindowAsSoonAsItLeavesIt) {
  constexpr std::size_t W = kTrailerWindow;
  static const struct {
    const char* label;
    std::size_t total;
    std::size_t piece;
  } cases[] = {
      {"shorter than the window, one piece", 5000, 5000},
      {"exactly the window, byte by byte", W, 1},
      {"one byte more than the window", W + 1, 4096},
      {"64 KiB pieces over several windows", 5 * W + 17, 64 * 1024},
      {"pieces of the window's size", 3 * W, W},
      {"pieces larger than the window", 4 * W + 3, W + 1},
      {"odd pieces", 2 * W + 999, 7777},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string input = bytes(c.total);
    TrailerWindow window;
    std::string released;
    for (std::size_t at = 0; at < input.size(); at += c.piece) {
      const std::size_t size = input.size() - at < c.piece ? input.size() - at : c.piece;
      window.add(reinterpret_cast<const unsigned char*>(input.data()) + at, size,
                 [&](const unsigned char* left, std::size_t count) {
                   released.append(reinterpret_cast<const char*>(left), count);
                 });
      // Nothing is held that could no longer be in the window.
      const std::size_t taken = at + size;
      ASSERT_EQ(released.size(), taken > W ? taken - W : 0);
      ASSERT_EQ(window.total(), taken);
      ASSERT_EQ(window.start(), released.size());
    }
    const std::string held(reinterpret_cast<const char*>(window.data()), window.size());
    EXPECT_TRUE(released + held == input);
    EXPECT_EQ(held.size(), c.total < W ? c.total : W);
  }
}

TEST(TrailerWindow, ClearedWindowStartsAgainFromTheFirstByte) {
  const std::string first = bytes(3 * kTrailerWindow);
  TrailerWindow window;
  std::size_t released = 0;
  auto count = [&](const unsigned char*, std::size_t n) { released += n; };
  window.add(reinterpret_cast<const unsigned char*>(first.data()), first.size(), count);
  window.clear();
  EXPECT_EQ(window.total(), 0u);
  EXPECT_EQ(window.size(), 0u);
  const std::string again = "again";
  window.add(reinterpret_cast<const unsigned char*>(again.data()), again.size(), count);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(window.data()), window.size()), again);
  EXPECT_EQ(window.start(), 0u);
}

}  // namespace
}  // namespace fyrel
