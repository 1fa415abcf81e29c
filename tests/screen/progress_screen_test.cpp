// The screen and its refresh thread on a real window, with the tick count
// replaced by a clock the test moves, so each animation state is exact.
#include "screen/progress_screen.h"

#include <gtest/gtest.h>

#include <limits>

#include "screen/screen_rig.h"
#include "support/test_window.h"

namespace fyrel {
namespace {

using test::FakeClock;
using test::ScreenRig;

TEST(ProgressScreen, CaptionsFollowTheLanguageCode) {
  static const struct {
    const char* code;
    const char* download;
    const char* extraction;
  } cases[] = {
      {"nl", "Downloaden", "Uitpakken"},
      {"en", "Downloading", "Extracting"},
      {"fr", "Chargement", "Extraction en cours "},
      {"de", "Download bei", "Extraktion bei"},
      {"sv", "H\xE4mtar hem", "Packar upp"},
      {"es", "Descargando", "Extrayendo"},
      {"it", "Scaricamento", "Estrazione"},
      {"EN", "Downloading", "Extracting"},
      {"en-us", "Downloading", "Extracting"},
      {"", "Downloading", "Extracting"},
      {"xx", "Downloading", "Extracting"},
  };
  test::TestWindow& window = test::sharedWindow();
  for (const auto& c : cases) {
    ProgressScreen screen(::GetModuleHandleA(nullptr), window.hwnd());
    screen.setLanguage(c.code);
    EXPECT_EQ(screen.downloadCaption(), c.download) << c.code;
    EXPECT_EQ(screen.extractionCaption(), c.extraction) << c.code;
  }
}

TEST(ProgressScreen, UnknownLanguageAfterAKnownOneKeepsTheCaptions) {
  test::TestWindow& window = test::sharedWindow();
  ProgressScreen screen(::GetModuleHandleA(nullptr), window.hwnd());
  screen.setLanguage("de");
  screen.setLanguage("EN");
  EXPECT_EQ(screen.downloadCaption(), "Download bei");
}

TEST(ProgressScreen, CaptionMissingFromTheModuleLeavesTheDefault) {
  test::TestWindow& window = test::sharedWindow();
  // A module without the string table: the system's own kernel32.
  ProgressScreen screen(::GetModuleHandleA("kernel32.dll"), window.hwnd());
  screen.setLanguage("de");
  EXPECT_EQ(screen.downloadCaption(), "Downloading");
  EXPECT_EQ(screen.extractionCaption(), "Extracting");
  EXPECT_EQ(screen.logo(), nullptr);
}

TEST(ProgressScreen, CaptionLineShowsTheTruncatedPercentage) {
  enum Stage { Download, Extraction };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  static const struct {
    const char* language;
    Stage stage;
    float percent;
    const char* line;
  } cases[] = {
      {"en", Download, 45.0f, "Downloading : 45%"},    {"en", Download, 99.9f, "Downloading : 99%"},
      {"de", Download, 100.0f, "Download bei : 100%"}, {"fr", Extraction, 7.0f, "Extraction en cours  : 7%"},
      {"sv", Download, 3.5f, "H\xE4mtar hem : 3%"},    {"en", Extraction, nan, "Extracting : 0%"},
      {"en", Extraction, inf, "Extracting : 100%"},    {"en", Download, -inf, "Downloading : 0%"},
      {"en", Download, 3.0e9f, "Downloading : 100%"},  // never above 100
  };
  for (const auto& c : cases) {
    ScreenRig rig;
    ProgressScreen& screen = rig.screen();
    screen.setLanguage(c.language);
    if (c.stage == Extraction) {
      screen.markDownloadDone();
      screen.setExtractionPercent(c.percent);
    } else {
      screen.setDownloadPercent(c.percent);
    }
    rig.start();
    FakeClock::advance(1000);
    const auto line = [&] { return screen.caption() + screen.percentText(); };
    rig.settle([&] { return line() == c.line; });
    EXPECT_EQ(line(), c.line) << c.language << " " << c.percent;
  }
}

TEST(ProgressScreen, InstalledGameSlidesInPassesBothStagesAtOnceAndHolds) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  screen.markDownloadDone();
  screen.markExtractionDone();
  rig.start();
  ASSERT_TRUE(rig.settle([&] { return screen.phase() == ScreenPhase::Intro; }));

  FakeClock::advance(999);
  ASSERT_TRUE(rig.settle([&] { return screen.introProgress() > 99.0f; }));
  EXPECT_EQ(screen.phase(), ScreenPhase::Intro);

  FakeClock::advance(1);
  ASSERT_TRUE(rig.settle([&] { return screen.phase() != ScreenPhase::Intro; }));
  EXPECT_EQ(screen.phase(), ScreenPhase::Hold) << "Downloading and Extracting passed in the same step";
  EXPECT_EQ(screen.introProgress(), 100.0f);
  EXPECT_EQ(screen.caption(), "");

  // The hold lasts more than 400 ms...
  FakeClock::advance(400);
  ASSERT_TRUE(rig.settle([&] { return screen.holdCountdown() == 0; }));
  screen.markGameReady();
  test::pumpFor(60);
  EXPECT_EQ(screen.phase(), ScreenPhase::Hold);

  // ...and once it has, a ready game ends it.
  FakeClock::advance(1);
  ASSERT_TRUE(rig.settle([&] { return screen.phase() == ScreenPhase::Outro; }));
  EXPECT_EQ(screen.holdCountdown(), -1);

  FakeClock::advance(500);
  ASSERT_TRUE(rig.settle([&] { return screen.outroProgress() == 50.0f; }));
  EXPECT_FALSE(screen.hasFinished());
  FakeClock::advance(500);
  ASSERT_TRUE(rig.settle([&] { return screen.hasFinished(); }));
  EXPECT_EQ(screen.phase(), ScreenPhase::Stopped);
  EXPECT_EQ(screen.outroProgress(), 100.0f);
}

TEST(ProgressScreen, HoldWaitsForTheGameAsLongAsItTakes) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  screen.markDownloadDone();
  screen.markExtractionDone();
  rig.start();
  FakeClock::advance(1000);
  ASSERT_TRUE(rig.settle([&] { return screen.phase() == ScreenPhase::Hold; }));
  FakeClock::advance(5000);
  ASSERT_TRUE(rig.settle([&] { return screen.holdCountdown() == 400 - 5000; }));
  EXPECT_EQ(screen.phase(), ScreenPhase::Hold);
  screen.markGameReady();
  ASSERT_TRUE(rig.settle([&] { return screen.phase() == ScreenPhase::Outro; }));
}

TEST(ProgressScreen, GameAlreadyReadySkipsTheHold) {
  static const struct {
    const char* what;
    bool extractionDoneFirst;
  } cases[] = {
      {"all raised before the start", true},
      {"game ready before extraction done", false},
  };
  for (const auto& c : cases) {
    ScreenRig rig;
    ProgressScreen& screen = rig.screen();
    screen.markDownloadDone();
    if (c.extractionDoneFirst) screen.markExtractionDone();
    screen.markGameReady();
    rig.start();
    FakeClock::advance(1000);
    if (!c.extractionDoneFirst) {
      ASSERT_TRUE(rig.settle([&] { return screen.phase() == ScreenPhase::Extracting; })) << c.what;
      screen.markExtractionDone();
    }
    ASSERT_TRUE(rig.settle([&] { return screen.phase() == ScreenPhase::Outro; })) << c.what;
    EXPECT_EQ(screen.holdCountdown(), 400) << c.what;
  }
}

TEST(ProgressScreen, ErrorDuringTheIntroKeepsTheLogoMovingToTheCentre) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  rig.start();
  FakeClock::advance(300);
  ASSERT_TRUE(rig.settle([&] { return screen.introProgress() == 30.0f; }));
  screen.setDownloadPercent(12.0f);
  screen.showError("ERROR: FAILED TO DOWNLOAD GAME");
  EXPECT_EQ(screen.phase(), ScreenPhase::Error);
  EXPECT_EQ(screen.caption(), "ERROR: FAILED TO DOWNLOAD GAME");
  EXPECT_EQ(screen.percentText(), "");
  EXPECT_EQ(screen.textColor(), 0xFF0000);

  FakeClock::advance(600);
  ASSERT_TRUE(rig.settle([&] { return screen.introProgress() >= 89.0f; }));
  // No limit at 100: the last step may carry it past the centre...
  FakeClock::advance(150);
  ASSERT_TRUE(rig.settle([&] { return screen.introProgress() >= 100.0f; }));
  const float stopped = screen.introProgress();
  EXPECT_NEAR(stopped, 105.0f, 0.01f);
  // ...and there it stays.
  FakeClock::advance(300);
  test::pumpFor(60);
  EXPECT_EQ(screen.introProgress(), stopped);
  EXPECT_EQ(screen.phase(), ScreenPhase::Error);
  EXPECT_EQ(screen.percentText(), "");
}

TEST(ProgressScreen, RestartDownloadGoesBackToDownloadingWithTheLogoCentred) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  screen.markDownloadDone();
  screen.markExtractionDone();
  screen.markGameReady();
  rig.start();
  FakeClock::advance(1300);
  ASSERT_TRUE(rig.settle([&] { return screen.phase() == ScreenPhase::Outro; }));
  FakeClock::advance(250);
  ASSERT_TRUE(rig.settle([&] { return screen.outroProgress() > 0.0f; }));

  screen.restartDownload();
  EXPECT_EQ(screen.phase(), ScreenPhase::Downloading);
  EXPECT_EQ(screen.caption(), "Downloading");
  EXPECT_EQ(screen.introProgress(), 100.0f);
  EXPECT_EQ(screen.outroProgress(), 0.0f);
  EXPECT_EQ(screen.holdCountdown(), 400);
  ASSERT_TRUE(rig.settle([&] { return screen.percentText() == " : 0%"; }));
  EXPECT_EQ(screen.textColor(), 0xCCFF00);
}

TEST(ProgressScreen, RestartAfterAnErrorKeepsTheErrorInRed) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  rig.start();
  FakeClock::advance(1000);
  ASSERT_TRUE(rig.settle([&] { return screen.phase() == ScreenPhase::Downloading; }));
  screen.showError("ERROR: FAILED TO DOWNLOAD GAME");
  screen.restartDownload();
  test::pumpFor(60);
  EXPECT_EQ(screen.phase(), ScreenPhase::Error);
  EXPECT_EQ(screen.caption(), "ERROR: FAILED TO DOWNLOAD GAME");
  EXPECT_EQ(screen.textColor(), 0xFF0000);
  EXPECT_EQ(screen.introProgress(), 100.0f);
}

TEST(ProgressScreen, StopRequestedBeforeTheThreadRanStillEndsIt) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  EXPECT_TRUE(screen.startRefreshThread());
  screen.requestStop();
  ASSERT_TRUE(test::pumpUntil([&] { return screen.hasFinished(); }, 5000));
  EXPECT_EQ(screen.phase(), ScreenPhase::Stopped);
}

// The intro begins when the thread is started, not when it first runs: an
// error shown at once (a failure in the first step after creation) is what
// the screen shows, however late the new thread gets going.
TEST(ProgressScreen, ErrorShownRightAfterTheStartStays) {
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    ScreenRig rig;
    ProgressScreen& screen = rig.screen();
    EXPECT_EQ(screen.phase(), ScreenPhase::Idle);
    rig.start();
    EXPECT_EQ(screen.phase(), ScreenPhase::Intro);
    screen.showError("ERROR: FAILED TO BIND THE RELEASE FUNCTION");
    test::pumpFor(30);
    ASSERT_EQ(screen.phase(), ScreenPhase::Error);
    ASSERT_EQ(screen.caption(), "ERROR: FAILED TO BIND THE RELEASE FUNCTION");
    ASSERT_TRUE(rig.stop());
  }
}

TEST(ProgressScreen, StopEndsTheThreadFromAnError) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  rig.start();
  screen.showError("ERROR: X");
  screen.requestStop();
  ASSERT_TRUE(test::pumpUntil([&] { return screen.hasFinished(); }, 5000));
  // A report after the end (the game failed to start) still reads on the
  // screen, and the ended thread stays ended.
  screen.showError("ERROR: FAILED TO START THE GAME");
  EXPECT_EQ(screen.caption(), "ERROR: FAILED TO START THE GAME");
  test::pumpFor(30);
  EXPECT_TRUE(screen.hasFinished());
}

TEST(ProgressScreen, SecondStartWhileRunningReturnsFalse) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  EXPECT_TRUE(screen.hasFinished()) << "a screen never started has nothing to wait for";
  EXPECT_TRUE(screen.startRefreshThread());
  EXPECT_FALSE(screen.hasFinished());
  EXPECT_FALSE(screen.startRefreshThread());
  EXPECT_FALSE(screen.hasFinished());
}

TEST(ProgressScreen, TickCountWrapGivesTheTrueElapsedTime) {
  ScreenRig rig(0xFFFFFF00u);
  ProgressScreen& screen = rig.screen();
  rig.start();
  ASSERT_TRUE(rig.settle([&] { return screen.phase() == ScreenPhase::Intro; }));
  FakeClock::set(0x000000F4u);  // 500 ms later, across the wrap
  ASSERT_TRUE(rig.settle([&] { return screen.introProgress() != 0.0f; }));
  EXPECT_FLOAT_EQ(screen.introProgress(), 50.0f);
  EXPECT_EQ(screen.phase(), ScreenPhase::Intro);
}

// The owner's teardown sleeps in 10 ms polls for hasFinished without
// pumping messages. A frame and an erase pending on the window (it was
// uncovered, say) must not keep the refresh thread from ending then.
TEST(ProgressScreen, ThreadEndsWhileTheOwnerSleepsWithAFramePending) {
  ScreenRig rig;
  ProgressScreen& screen = rig.screen();
  rig.start();
  ASSERT_TRUE(rig.settle([&] { return screen.phase() == ScreenPhase::Intro; }));
  ::RedrawWindow(rig.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  ::Sleep(50);  // some refresh steps with the owner not answering messages
  screen.requestStop();
  for (int i = 0; i < 300 && !screen.hasFinished(); ++i) ::Sleep(10);
  EXPECT_TRUE(screen.hasFinished());
}

}  // namespace
}  // namespace fyrel
