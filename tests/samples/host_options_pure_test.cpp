// The host player's command line: what it accepts, and that every mistake is
// refused with a message instead of a silent default.
#include <gtest/gtest.h>

// The samples are programs, not part of the library the native build links,
// so the test compiles the one source it checks.
#include "../../samples/hostplayer/command_line.cpp"

namespace fyrel::hostplayer {
namespace {

using Args = std::vector<std::string>;

TEST(HostOptions, DefaultsMatchTheDocumentedOnes) {
  const ParsedCommandLine parsed = parseCommandLine({});
  ASSERT_EQ(parsed.kind, ParsedCommandLine::Kind::Run);
  EXPECT_EQ(parsed.options.width, 640);
  EXPECT_EQ(parsed.options.height, 480);
  EXPECT_EQ(parsed.options.until, "STATE_GAME_STARTED");
  EXPECT_EQ(parsed.options.lingerMs, 0);
  EXPECT_EQ(parsed.options.timeoutSeconds, 120);
  EXPECT_TRUE(parsed.options.snapshotDir.empty());
  EXPECT_TRUE(parsed.options.extensionPath.empty());
  EXPECT_FALSE(parsed.options.times);
}

TEST(HostOptions, KeepsRepeatedPairsInOrderAndSplitsAtTheFirstEquals) {
  const ParsedCommandLine parsed =
      parseCommandLine({"--set", "gamecab=http://h/p?a=b", "--set", "gamename=paddle", "--set", "localURL=", "--send",
                        "pause=1", "--send", "pause=0", "--times"});
  ASSERT_EQ(parsed.kind, ParsedCommandLine::Kind::Run) << parsed.error;
  EXPECT_EQ(parsed.options.values,
            (std::vector<NameValue>{{"gamecab", "http://h/p?a=b"}, {"gamename", "paddle"}, {"localURL", ""}}));
  EXPECT_EQ(parsed.options.sends, (std::vector<NameValue>{{"pause", "1"}, {"pause", "0"}}));
  EXPECT_TRUE(parsed.options.times);
}

TEST(HostOptions, ReadsEveryValuedOption) {
  const ParsedCommandLine parsed =
      parseCommandLine({"--width", "800", "--height", "600", "--until", "STATE_GAME_READY", "--linger-ms", "250",
                        "--timeout", "7", "--snapshot-dir", "out\\a b", "--extension", "C:\\x\\FyrelExtension.dll"});
  ASSERT_EQ(parsed.kind, ParsedCommandLine::Kind::Run) << parsed.error;
  const HostOptions& o = parsed.options;
  EXPECT_EQ(o.width, 800);
  EXPECT_EQ(o.height, 600);
  EXPECT_EQ(o.until, "STATE_GAME_READY");
  EXPECT_EQ(o.lingerMs, 250);
  EXPECT_EQ(o.timeoutSeconds, 7);
  EXPECT_EQ(o.snapshotDir, "out\\a b");
  EXPECT_EQ(o.extensionPath, "C:\\x\\FyrelExtension.dll");
}

TEST(HostOptions, HelpWinsWhereverItStands) {
  EXPECT_EQ(parseCommandLine({"--width", "5", "--help"}).kind, ParsedCommandLine::Kind::Help);
  EXPECT_EQ(parseCommandLine({"-h"}).kind, ParsedCommandLine::Kind::Help);
}

TEST(HostOptions, RefusesBadUsageWithAMessageNamingTheOption) {
  static const struct {
    Args args;
    const char* mentions;
  } cases[] = {
      {{"--bogus"}, "--bogus"},
      {{"gamename=paddle"}, "gamename=paddle"},  // a pair without --set
      {{"--set"}, "--set"},                      // value missing at the end
      {{"--set", "novalue"}, "NAME=VALUE"},
      {{"--set", "=value"}, "NAME=VALUE"},  // empty name
      {{"--send", "pause"}, "NAME=VALUE"},
      {{"--width", "0"}, "--width"},
      {{"--width", "-640"}, "--width"},
      {{"--width", "640px"}, "--width"},
      {{"--height", ""}, "--height"},
      {{"--height", "99999"}, "--height"},
      {{"--timeout", "0"}, "--timeout"},
      {{"--timeout", "99999999999"}, "--timeout"},
      {{"--linger-ms", "-1"}, "--linger-ms"},
      {{"--linger-ms", "1.5"}, "--linger-ms"},
      {{"--until", ""}, "--until"},
      {{"--snapshot-dir", ""}, "--snapshot-dir"},
      {{"--extension", ""}, "--extension"},
  };
  for (const auto& c : cases) {
    const ParsedCommandLine parsed = parseCommandLine(c.args);
    const std::string shown = ::testing::PrintToString(c.args);
    EXPECT_EQ(parsed.kind, ParsedCommandLine::Kind::Error) << shown;
    EXPECT_NE(parsed.error.find(c.mentions), std::string::npos) << shown << " -> " << parsed.error;
  }
}

}  // namespace
}  // namespace fyrel::hostplayer
