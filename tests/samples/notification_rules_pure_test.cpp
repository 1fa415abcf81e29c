// How the host player reads notifications (which end the run, what the
// snapshots are called) and how it answers GetValue.
#include <gtest/gtest.h>

// The samples are programs, not part of the library the native build links,
// so the test compiles the sources it checks.
#include "../../samples/hostplayer/named_values.cpp"
#include "../../samples/hostplayer/notification_rules.cpp"

namespace fyrel::hostplayer {
namespace {

TEST(HostEnding, OnlyLoaderReportsEndTheRun) {
  static const struct {
    const char* first;
    const char* second;
    const char* until;
    Ending expected;
  } cases[] = {
      {"FE_STATE", "STATE_GAME_STARTED", "STATE_GAME_STARTED", Ending::UntilArrived},
      {"FE_STATE", "STATE_DOWNLOADING", "STATE_GAME_STARTED", Ending::None},
      {"FE_STATE", "", "STATE_GAME_STARTED", Ending::None},
      {"FE_ERROR", "STATE_INVALID_PARAMS", "STATE_GAME_STARTED", Ending::Failed},
      {"wrongBitDepth", "STATE_WRONG_BITH_DEPTH", "STATE_GAME_STARTED", Ending::Failed},
      // Waiting for an error on purpose is not a failure.
      {"FE_ERROR", "STATE_INVALID_PARAMS", "STATE_INVALID_PARAMS", Ending::UntilArrived},
      // A game may send any pair; it neither fails nor satisfies the wait.
      {"score", "STATE_GAME_STARTED", "STATE_GAME_STARTED", Ending::None},
      {"FE_ERRORS", "x", "STATE_GAME_STARTED", Ending::None},
  };
  for (const auto& c : cases)
    EXPECT_EQ(endingOf(c.first, c.second, c.until), c.expected) << c.first << " / " << c.second << " / " << c.until;
}

TEST(SnapshotName, NumbersInOrderAndKeepsNamesFileSafe) {
  static const struct {
    int index;
    const char* first;
    const char* second;
    const char* expected;
  } cases[] = {
      {1, "FE_STATE", "STATE_DOWNLOADING", "001-STATE_DOWNLOADING.png"},
      {12, "FE_ERROR", "STATE_INVALID_PARAMS", "012-STATE_INVALID_PARAMS.png"},
      {7, "FE_STATE", "", "007-CLOSED.png"},
      {8, "score", "3", "008-score-3.png"},
      {9, "chat", "a/b\\c:d*e?\"f<g>|h i", "009-chat-a_b_c_d_e__f_g__h_i.png"},
      {1234, "FE_STATE", "STATE_GAME_READY", "1234-STATE_GAME_READY.png"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(snapshotFileName(c.index, snapshotLabel(c.first, c.second)), c.expected) << c.first << c.second;
  EXPECT_EQ(snapshotFileName(1, std::string(500, 'x')).size(), std::string("001-.png").size() + 60);
}

TEST(HostValues, FillWithinTheGivenLengthAndReturnTheFullLength) {
  NamedValues values;
  values.set("gamename", "paddle");
  values.set("empty", "");
  static const struct {
    const char* name;
    std::size_t bufferSize;
    int expectedLength;
    const char* expectedBuffer;  // the buffer keeps its size
  } cases[] = {
      {"gamename", 16384, 6, "paddle"}, {"gamename", 6, 6, "paddle"},
      {"gamename", 3, 6, "pad"},  // too small: filled as far as it goes, full length returned
      {"gamename", 0, 6, ""},           {"empty", 16384, 0, ""},
      {"unknown", 16384, 0, ""},
  };
  for (const auto& c : cases) {
    std::string buffer(c.bufferSize, '\0');
    EXPECT_EQ(values.answer(c.name, &buffer), c.expectedLength) << c.name << " " << c.bufferSize;
    EXPECT_EQ(buffer.size(), c.bufferSize);
    EXPECT_EQ(buffer.c_str(), std::string(c.expectedBuffer)) << c.name << " " << c.bufferSize;
  }
  values.set("gamename", "memory");  // a later --set of the same name wins
  std::string buffer(6, '\0');
  EXPECT_EQ(values.answer("gamename", &buffer), 6);
  EXPECT_EQ(buffer, "memory");
}

}  // namespace
}  // namespace fyrel::hostplayer
