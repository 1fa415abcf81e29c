#include <gtest/gtest.h>

#include "screen/screen_phases.h"

namespace fyrel {
namespace {

TEST(ScreenPhaseWalk, StopsAtTheFirstStageNotYetDone) {
  using P = ScreenPhase;
  static const struct {
    const char* what;
    P current;
    PhaseFlags flags;  // running, intro, download, extraction, game ready, outro
    P expected;
  } cases[] = {
      {"intro still sliding", P::Intro, {true, false, false, false, false, false}, P::Intro},
      {"intro done", P::Intro, {true, true, false, false, false, false}, P::Downloading},
      {"installed game passes both stages at once", P::Intro, {true, true, true, true, false, false}, P::Hold},
      {"game ready before extraction done", P::Extracting, {true, true, true, false, true, false}, P::Extracting},
      {"extraction done with game already ready skips the hold",
       P::Extracting,
       {true, true, true, true, true, false},
       P::Outro},
      {"outro done", P::Outro, {true, true, true, true, true, true}, P::Stopped},
      {"walk starts from the intro whatever the phase",
       P::Hold,
       {true, true, false, false, false, false},
       P::Downloading},
      {"not running keeps the phase", P::Idle, {false, true, true, true, true, true}, P::Idle},
      {"an error stays", P::Error, {true, true, true, true, true, true}, P::Error},
      {"a stop stays", P::Stopped, {true, true, false, false, false, false}, P::Stopped},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(advancePhase(c.current, c.flags), c.expected) << c.what;
  }
}

TEST(ScreenPhaseWalk, PhaseCodesAreFixed) {
  static const struct {
    ScreenPhase phase;
    int code;
  } cases[] = {
      {ScreenPhase::Idle, 1}, {ScreenPhase::Intro, 2}, {ScreenPhase::Downloading, 3}, {ScreenPhase::Extracting, 4},
      {ScreenPhase::Hold, 5}, {ScreenPhase::Outro, 6}, {ScreenPhase::Stopped, 7},     {ScreenPhase::Error, 19},
  };
  for (const auto& c : cases) EXPECT_EQ(static_cast<int>(c.phase), c.code);
}

TEST(ScreenAnimation, SlideTakesOneThousandMillisecondsInAnyStepSize) {
  float inSmallSteps = 0.0f;
  for (int i = 0; i < 100; ++i) inSmallSteps = addSlideProgress(inSmallSteps, 10);
  EXPECT_GE(inSmallSteps, 99.99f);
  EXPECT_LT(addSlideProgress(0.0f, 999), 100.0f);
  EXPECT_GE(addSlideProgress(0.0f, 1000), 100.0f);
  EXPECT_FLOAT_EQ(addSlideProgress(20.0f, 300), 50.0f);
}

TEST(ScreenAnimation, ElapsedTimeIsRightAcrossATickCountWrap) {
  static const struct {
    std::uint32_t last, now, elapsed;
  } cases[] = {
      {1000, 1010, 10},
      {0xFFFFFF00u, 0x000000F4u, 500},
      {0xFFFFFFFFu, 0, 1},
      {42, 42, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ticksBetween(c.last, c.now), c.elapsed) << c.last << " -> " << c.now;
}

}  // namespace
}  // namespace fyrel
