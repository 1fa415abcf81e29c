// Where window messages and notifications go, through the real DLL: to the
// loader before the game runs, to the game afterwards, and game-to-host
// pairs through the one-pair slot.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "extension/loader_fixture.h"

namespace fyrel::test {
namespace {

using NotifyHostHook = void(__cdecl*)(const char*, const char*);
using NotifyFromThreadsHook = void(__cdecl*)(int, int);
using GetHostValueHook = int(__cdecl*)(const char*, char*, int);

class Routing : public LoaderTest {
 protected:
  Routing() : LoaderTest("127.60") {}

  // Installs the package and waits until the game runs.
  void startGame() {
    startServer().enqueue(Response::file(fixture("game.pkg")));
    ASSERT_TRUE(create());
    ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  }
  LRESULT send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0, bool* handled = nullptr) {
    LRESULT result = 12345;
    bool h = library.processMsg(extension, msg, wParam, lParam, &result);
    if (handled) *handled = h;
    return result;
  }
};

TEST_F(Routing, TimerMessageOfAnyIdentifierRunsOneStep) {
  startServer().enqueue(Response::status(404).stallFirst());
  ASSERT_TRUE(create());
  // The steps up to the request run on timer messages; the answer waits
  // until none is pumped any more. Then the download ends, but only our
  // one timer message can notice.
  ASSERT_TRUE(pumpUntil([&] { return server->stallCount() >= 1; }, 5000));
  server->release();
  ::Sleep(300);
  ASSERT_FALSE(host.received("STATE_GAME_DOWNLOAD_FAILED"));
  bool handled = false;
  EXPECT_EQ(send(WM_TIMER, 1234, 0, &handled), 0);
  EXPECT_TRUE(handled);
  EXPECT_TRUE(host.received("STATE_GAME_DOWNLOAD_FAILED"));
}

TEST_F(Routing, PaintInTheFailedStateIsPaintedAndKeyDownMovesTheFocus) {
  startServer().enqueue(Response::status(404));
  ASSERT_TRUE(create());
  bool handled = false;
  TestWindow other(100, 100, "other");
  ::SetFocus(other.hwnd());
  EXPECT_EQ(send(WM_KEYDOWN, 'A', 0, &handled), 12345);  // result untouched
  EXPECT_FALSE(handled);
  EXPECT_EQ(::GetFocus(), window.hwnd());

  ASSERT_TRUE(waitFor("STATE_GAME_DOWNLOAD_FAILED"));
  EXPECT_EQ(send(WM_PAINT, 0, 0, &handled), 0);
  EXPECT_TRUE(handled);
  EXPECT_EQ(send(WM_MOUSEMOVE, 0, 0, &handled), 12345);
  EXPECT_FALSE(handled);
}

TEST_F(Routing, MessageIsHandledExactlyWhenTheGameAnswersFalse) {
  startGame();
  bool handled = true;
  setGameMessageResult(true);
  send(WM_LBUTTONDOWN, 0, 0, &handled);
  EXPECT_FALSE(handled);
  setGameMessageResult(false);
  send(WM_LBUTTONDOWN, 0, 0, &handled);
  EXPECT_TRUE(handled);
  // Once the game runs, timer messages go to the game, not to the loader.
  const std::size_t reports = host.notifications().size();
  send(WM_TIMER, 0, 0);
  EXPECT_EQ(host.notifications().size(), reports);
}

TEST_F(Routing, WaitingPairReachesTheHostBeforeTheGameSeesTheMessage) {
  startGame();
  std::size_t gameCallsAtNotify = 0;
  host.onNotify([&](const Pair&) { gameCallsAtNotify = gameCalls().size(); });
  gameHook<NotifyHostHook>("TestGameNotifyHost")("score", "42");
  const std::size_t before = gameCalls().size();
  send(WM_KEYDOWN, 'B', 0);
  EXPECT_EQ(host.notifications().back(), (Pair{"score", "42"}));
  EXPECT_EQ(gameCallsAtNotify, before);
  EXPECT_EQ(gameCalls().back(), "Message 256 66 0");
}

TEST_F(Routing, SlotHoldsOnePairAndRefusesHalfEmptyOnes) {
  startGame();
  auto notify = gameHook<NotifyHostHook>("TestGameNotifyHost");
  notify("first", "1");
  notify("second", "2");  // slot occupied: lost
  send(WM_MOUSEMOVE);
  send(WM_MOUSEMOVE);
  notify("name", "");  // refused, so it cannot block the slot
  notify("", "value");
  notify("third", "3");
  send(WM_MOUSEMOVE);
  std::vector<Pair> pairs = host.notifications();
  std::vector<Pair> game(pairs.end() - 2, pairs.end());
  EXPECT_EQ(game, (std::vector<Pair>{{"first", "1"}, {"third", "3"}}));
  EXPECT_FALSE(host.received("2"));
}

TEST_F(Routing, PairOfferedBeforeTheStartIsDeliveredAfterIt) {
  startServer().enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_CREATE_SUCCEEDED"));
  gameHook<NotifyHostHook>("TestGameNotifyHost")("early", "pair");
  ASSERT_TRUE(waitFor("pair"));
  std::vector<std::string> names = host.stateNames();
  auto started = std::find(names.begin(), names.end(), "STATE_GAME_STARTED");
  auto pair = std::find(names.begin(), names.end(), "pair");
  EXPECT_LT(started, pair);
}

TEST_F(Routing, SendUpReachesTheGameOnceBoundAndIsDroppedBefore) {
  startServer().enqueue(Response::file(fixture("game.pkg")).stallAfter(1000));
  ASSERT_TRUE(create());
  library.sendUp(extension, "pause", "1");  // no game yet
  server->release();
  ASSERT_TRUE(waitFor("STATE_GAME_CREATE_SUCCEEDED"));
  library.sendUp(extension, "volume", "7");  // bound, not started yet
  EXPECT_EQ(gameCalls().back(), "Notification volume=7");
  for (const auto& call : gameCalls()) EXPECT_EQ(call.find("Notification pause"), std::string::npos);
}

TEST_F(Routing, GameReadsHostValuesThroughTheExtension) {
  host.set("playername", std::string(20000, 'p'));
  startGame();
  char buffer[64] = {};
  EXPECT_EQ(gameHook<GetHostValueHook>("TestGameGetHostValue")("playername", buffer, sizeof buffer), 20000);
  EXPECT_EQ(std::string(buffer), std::string(63, 'p'));
}

TEST_F(Routing, EightGameThreadsOfferingPairsAtOnceNeverDeadlock) {
  startGame();
  auto offer = gameHook<NotifyFromThreadsHook>("TestGameNotifyFromThreads");
  std::atomic<bool> done{false};
  std::thread game([&] {
    offer(8, 200);
    done = true;
  });
  // The window thread keeps delivering while the game's threads offer.
  EXPECT_TRUE(pumpUntil([&] { return done.load(); }, 30000));
  game.join();
  send(WM_MOUSEMOVE);
  std::size_t delivered = 0;
  for (const auto& pair : host.notifications()) delivered += pair.first.rfind("thread", 0) == 0;
  EXPECT_GE(delivered, 1u);
}

TEST_F(Routing, TimerMessageDuringAStepDoesNothing) {
  startServer().enqueue(Response::file(fixture("game.pkg")));
  bool createdInsideTheStep = false;
  host.onNotify([&](const Pair& pair) {
    if (pair.second != "STATE_GAME_READY") return;
    // Still inside the step that finished the extraction: a nested timer
    // step would load the game (state 5) right here.
    LRESULT result = 0;
    library.processMsg(extension, WM_TIMER, 0, 0, &result);
    createdInsideTheStep = host.received("STATE_GAME_CREATE_SUCCEEDED");
  });
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_FALSE(createdInsideTheStep);
}

}  // namespace
}  // namespace fyrel::test
