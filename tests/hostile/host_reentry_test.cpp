// A host that hands over unsafe values and calls back into the extension
// from inside the extension's own calls: deleting it from Notify, sending
// notifications down while one comes up, running a message loop in Notify,
// releasing the game and going on sending messages. The real DLL, a real
// window, real packages.
#include <gtest/gtest.h>

#include <algorithm>

#include "extension/loader_fixture.h"

namespace fyrel::test {
namespace {

using NotifyHostHook = void(__cdecl*)(const char*, const char*);
constexpr UINT kGameReleasesItself = WM_APP + 7;  // the test game's own message

class HostileHost : public LoaderTest {
 protected:
  HostileHost() : LoaderTest("127.90") {}

  void startGame() {
    startServer().enqueue(Response::file(fixture("game.pkg")));
    ASSERT_TRUE(create());
    ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  }
  bool send(UINT msg, WPARAM wParam = 0) {
    LRESULT result = 0;
    return library.processMsg(extension, msg, wParam, 0, &result);
  }
  void offerFromGame(const char* first, const char* second) {
    gameHook<NotifyHostHook>("TestGameNotifyHost")(first, second);
  }
  // Deletes the extension the way a host does it from inside a call.
  void deleteNow() {
    window.detach();
    library.destroy(extension);
    extension = nullptr;
  }
  std::size_t count(const Pair& pair) const {
    const std::vector<Pair> all = host.notifications();
    return static_cast<std::size_t>(std::count(all.begin(), all.end(), pair));
  }
};

TEST_F(HostileHost, NamesWithControlCharactersAreRefusedBeforeAnythingIsWritten) {
  // Win32 ends a name at its first NUL: "..\0" would pass a check of the
  // whole text and then name the player folder's parent.
  static const struct {
    const char* what;
    const char* name;
    std::string value;
  } cases[] = {
      {"partner climbs after NUL", "partnername", std::string("..\0", 3)},
      {"game climbs after NUL", "gamename", std::string("..\0x", 4)},
      {"partner with line feed", "partnername", "acme\n"},
      {"country with escape", "country", "us\x1b"},
      {"package name climbs after NUL", "gamecab", std::string("http://h/g/..\0.pkg", 18)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    host.clear();
    EXPECT_FALSE(create({{c.name, c.value}, {"language", "en"}, {"country", "us"}}));
    destroy();
    EXPECT_FALSE(fileExists(partnerFolder()));
    const std::vector<Pair> reports = host.notifications();
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports[0], (Pair{"FE_ERROR", "STATE_INVALID_PARAMS"}));
    EXPECT_EQ(reports[1], (Pair{"FE_STATE", ""}));
  }
}

TEST_F(HostileHost, NotificationsFromInsideNotifyArriveAfterItInOrder) {
  // What the host does inside its Notify for the game's first pair. Each
  // makes the game offer a second pair on the window thread while the first
  // is being delivered.
  static const struct {
    const char* what;
    bool sendsDown;  // else: runs a message loop in which the game offers
  } cases[] = {
      {"host sends down, the game answers up at once", true},
      {"host runs a message loop, the game offers meanwhile", false},
  };
  startGame();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    bool inside = false;
    bool secondInside = false;
    host.onNotify([&](const Pair& pair) {
      if (pair.first == "echoed") secondInside = inside;
      if (pair.first != "first") return;
      inside = true;
      if (c.sendsDown) {
        library.sendUp(extension, "echo", "2");  // the game answers with ("echoed", "2")
      } else {
        offerFromGame("echoed", "2");
        pumpFor(100);  // window messages come through the extension meanwhile
      }
      inside = false;
    });
    host.clear();
    offerFromGame("first", "1");
    send(WM_MOUSEMOVE);
    send(WM_MOUSEMOVE);
    host.onNotify(nullptr);
    EXPECT_EQ(host.notifications(), (std::vector<Pair>{{"first", "1"}, {"echoed", "2"}}));
    EXPECT_FALSE(secondInside);
  }
}

TEST_F(HostileHost, DeletingFromInsideNotifyTakesEffectWhenTheCallReturns) {
  static const struct {
    const char* when;    // the pair whose Notify deletes
    bool failingServer;  // 404: the report comes from a timer step
    bool gameLoaded;
  } cases[] = {
      {"STATE_GAME_DOWNLOAD_FAILED", true, false},
      {"STATE_EXTRACTING", false, false},
      {"STATE_GAME_READY", false, false},
      {"STATE_GAME_CREATE_SUCCEEDED", false, true},
      {"STATE_GAME_STARTED", false, true},
      {"score", false, true},
      {"", false, true},  // the closing report: deleting again
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("deleted on \"") + c.when + "\"");
    removeTree(partnerFolder());
    clearGameCalls();
    host.clear();
    bool deleted = false;
    bool closedInside = false;
    host.onNotify([&](const Pair& pair) {
      if ((pair.first != c.when && pair.second != c.when) || deleted) return;
      deleted = true;
      if (extension == nullptr) return;
      deleteNow();
      closedInside = host.received("") && *c.when != '\0';
    });
    startServer().enqueue(c.failingServer ? Response::status(404) : Response::file(fixture("game.pkg")));
    ASSERT_TRUE(create());
    if (std::string(c.when) == "score") {
      ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
      offerFromGame("score", "1");
      const std::size_t gameCallsBefore = gameCalls().size();
      send(WM_KEYDOWN, 'K');                               // carries the pair; must not reach the game after the delete
      EXPECT_EQ(gameCalls().size(), gameCallsBefore + 1);  // only "Release"
    } else if (*c.when == '\0') {
      ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
      destroy();
    }
    EXPECT_TRUE(pumpUntil([&] { return deleted && extension == nullptr; }, 20000)) << installLogText();
    host.onNotify(nullptr);
    EXPECT_FALSE(closedInside);
    EXPECT_EQ(count({"FE_STATE", ""}), 1u);
    EXPECT_EQ(host.notifications().back(), (Pair{"FE_STATE", ""}));
    const std::vector<std::string> calls = gameCalls();
    if (c.gameLoaded) {
      EXPECT_EQ(std::count(calls.begin(), calls.end(), "Release"), 1);
      ASSERT_FALSE(calls.empty());
      EXPECT_EQ(calls.back(), "Release");
    } else {
      EXPECT_TRUE(calls.empty());
    }
    server.reset();
  }
}

TEST_F(HostileHost, AReleasedGameReceivesNothingMore) {
  enum class By { Host, GameInMessage, GameInNotification };
  static const struct {
    const char* what;
    By by;
    std::vector<std::string> lastCalls;  // the game's calls from the release on
  } cases[] = {
      {"the host releases it", By::Host, {"Release"}},
      {"the game releases itself in its message handler",
       By::GameInMessage,
       {"Message 32775 0 0", "Message returns", "Release"}},
      {"the game releases itself in a notification",
       By::GameInNotification,
       {"Notification release=1", "Notification returns", "Release"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    destroy();
    removeTree(partnerFolder());
    server.reset();
    host.clear();
    startGame();
    clearGameCalls();
    switch (c.by) {
      case By::Host:
        extension->ReleaseGame();
        break;
      case By::GameInMessage:
        send(kGameReleasesItself);
        break;
      case By::GameInNotification:
        library.sendUp(extension, "release", "1");
        break;
    }
    EXPECT_EQ(gameCalls(), c.lastCalls);
    // The next timer message, a key, a notification down.
    EXPECT_FALSE(send(WM_TIMER));
    EXPECT_FALSE(send(WM_KEYDOWN, 'A'));
    library.sendUp(extension, "volume", "3");
    pumpFor(50);
    destroy();
    EXPECT_EQ(gameCalls(), c.lastCalls);
  }
}

}  // namespace
}  // namespace fyrel::test
