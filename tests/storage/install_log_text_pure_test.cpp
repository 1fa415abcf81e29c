#include <gtest/gtest.h>

#include "storage/install_log_text.h"

namespace fyrel {
namespace {

TEST(InstallLogText, AnEntryCarriesTimeInstanceAndOneLineEnd) {
  EXPECT_EQ(installLogFileName("acme", "paddle"), "acme-paddle.log");
  EXPECT_EQ(installLogEntry("2026-12-11 06:45:03", "1a2b.1", "FyrelExtension: x\n"),
            "2026-12-11 06:45:03 [1a2b.1] FyrelExtension: x\r\n");
  const std::string longest = installLogEntry("2026-12-11 06:45:03.123", "1a2b.1", std::string(511, 'y') + "\n");
  EXPECT_EQ(longest.size(), kMaxInstallLogEntry);
  EXPECT_EQ(longest.substr(longest.size() - 3), "y\r\n");
}

TEST(InstallLogText, TheNewestHalfKeepsWholeEntriesOnly) {
  static const struct {
    const char* log;
    const char* kept;
  } cases[] = {
      {"", ""},
      {"one\r\n", ""},                           // the half starts inside the only entry
      {"aaaa\r\nbbbb\r\ncccc\r\n", "cccc\r\n"},  // the middle falls inside the second entry
      {"aaaaaa\r\nb\r\n", "b\r\n"},
      {"a\r\nb\r\nc\r\nd\r\n", "c\r\nd\r\n"},  // the middle falls on an entry's start
      {"no line end at all", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(newestHalfOfLog(c.log), c.kept) << c.log;
}

}  // namespace
}  // namespace fyrel
