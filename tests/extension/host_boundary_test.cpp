// The boundary between host, extension and game when host or game break
// the rules or lean on them: a host that deletes from its Notify and
// repaints on every report, a host that calls from a second thread, two
// starts of one game in one process, a game that leaves a thread running
// or sends a last pair from its release. The real DLL, real windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "common/unique_handle.h"
#include "extension/loader_fixture.h"

namespace fyrel::test {
namespace {

using HookFn = void(__cdecl*)();
using SendOnReleaseFn = void(__cdecl*)(const char*, const char*);

class HostBoundary : public LoaderTest {
 protected:
  HostBoundary() : LoaderTest("127.120") {}

  // Develop mode from a folder of this case's own holding the test game.
  std::string installGame(const std::string& scratchName = "boundary") {
    const std::string folder = scratchDir(scratchName);
    ::CopyFileA((binDir() + "games\\ok\\testgame.dll").c_str(), (folder + "testgame.dll").c_str(), FALSE);
    developFolder_ = folder;
    return folder;
  }
  std::map<std::string, std::string> developParameters() const { return {{"developdir", developFolder_}}; }
  void startDevelopGame(const std::string& scratchName = "boundary") {
    installGame(scratchName);
    ASSERT_TRUE(create(developParameters()));
    ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  }
  HMODULE developGame() const { return ::GetModuleHandleA((developFolder_ + "testgame.dll").c_str()); }
  template <typename Fn>
  Fn developHook(const char* name) const {
    return developGame() ? procAddress<Fn>(developGame(), name) : nullptr;
  }
  std::size_t count(const Pair& pair) const {
    const std::vector<Pair> all = host.notifications();
    return static_cast<std::size_t>(std::count(all.begin(), all.end(), pair));
  }
  static std::size_t callCount(const std::string& call) {
    const std::vector<std::string> calls = gameCalls();
    return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
  }

  std::string developFolder_;
};

TEST_F(HostBoundary, AHostThatDeletesInNotifyAndRepaintsOnEveryReportDestroysItOnce) {
  // The host deletes in its Notify; its Notify also repaints on every
  // report, so the closing report, sent while the extension is being
  // destroyed, brings a paint message through EXT_ProcessMsg. The host
  // stops routing messages only once it has had the closing report.
  static const struct {
    const char* when;    // the report whose Notify deletes
    bool failingServer;  // 404: the report comes from a timer step
    bool gameLoaded;
  } cases[] = {
      {"STATE_GAME_DOWNLOAD_FAILED", true, false},
      {"STATE_GAME_CREATE_SUCCEEDED", false, true},
      {"STATE_GAME_STARTED", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.when);
    removeTree(partnerFolder());
    clearGameCalls();
    host.clear();
    bool deleted = false;
    host.onNotify([&](const Pair& pair) {
      ::InvalidateRect(window.hwnd(), nullptr, FALSE);
      ::UpdateWindow(window.hwnd());
      if (pair == kClosed) {
        window.detach();
        extension = nullptr;
        return;
      }
      if (pair.second == c.when && !deleted && extension != nullptr) {
        deleted = true;
        library.destroy(extension);  // deferred: this is inside a call into it
      }
    });
    startServer().enqueue(c.failingServer ? Response::status(404) : Response::file(fixture("game.pkg")));
    ASSERT_TRUE(create());
    EXPECT_TRUE(pumpUntil([&] { return extension == nullptr; }, 20000));
    host.onNotify(nullptr);
    EXPECT_EQ(count(kClosed), 1u);
    EXPECT_EQ(host.notifications().back(), kClosed);
    EXPECT_EQ(callCount("Release"), c.gameLoaded ? 1u : 0u);
    server.reset();
  }
}

TEST_F(HostBoundary, CallsFromAnotherThreadAreRefusedAndTheDeleteStillEndsTheGame) {
  startDevelopGame();
  clearGameCalls();
  constexpr UINT kForeignMessage = WM_APP + 21;
  std::atomic<bool> done{false};
  std::atomic<int> handled{0};
  std::thread foreign([&] {
    for (int i = 0; i < 200; ++i) {
      LRESULT result = 0;
      handled += library.processMsg(extension, kForeignMessage, 0, 0, &result) ? 1 : 0;
      library.sendUp(extension, "foreign", "1");
    }
    done = true;
  });
  // Meanwhile the window thread runs as usual, timer messages and all.
  pumpUntil([&] { return done.load(); }, 120000);
  foreign.join();
  EXPECT_EQ(handled.load(), 0);
  EXPECT_EQ(callCount("Message 32789 0 0"), 0u);
  EXPECT_EQ(callCount("Notification foreign=1"), 0u);

  destroy();
  EXPECT_EQ(gameCalls().back(), "Release");
  EXPECT_EQ(host.notifications().back(), kClosed);
  EXPECT_EQ(developGame(), nullptr);
}

TEST_F(HostBoundary, ADeleteFromAnotherThreadEndsOnTheWindowThreadOrOnTheCallersOnceThatIsGone) {
  static const struct {
    const char* what;
    bool windowThreadGone;
  } cases[] = {
      {"the window thread runs: it deletes", false},
      {"the window thread has ended: the caller deletes", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    installGame();
    clearGameCalls();
    host.clear();
    std::atomic<DWORD> closedOn{0};
    host.onNotify([&](const Pair& pair) {
      if (pair != kClosed) return;
      closedOn = ::GetCurrentThreadId();
      window.detach();  // the extension is going: no message may reach it
    });
    Generic::GenericExtension* made = nullptr;
    DWORD windowThread = 0;
    DWORD deletingThread = 0;
    if (c.windowThreadGone) {
      // A window thread of its own, which starts the game and ends.
      std::thread owner([&] {
        TestWindow ownWindow;
        for (const auto& [name, value] : parameters(developParameters())) host.set(name, value);
        made = library.create(ownWindow.hwnd(), 0, library.module(), &host);
        if (made == nullptr) return;
        ownWindow.attach(made, library.processMsg);
        pumpUntil([&] { return host.received("STATE_GAME_STARTED"); }, 20000);
        ownWindow.detach();
      });
      owner.join();
      ASSERT_NE(made, nullptr);
      ASSERT_TRUE(host.received("STATE_GAME_STARTED"));
      deletingThread = ::GetCurrentThreadId();
      library.destroy(made);
    } else {
      ASSERT_TRUE(create(developParameters()));
      ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
      windowThread = ::GetCurrentThreadId();
      made = extension;
      std::atomic<bool> returned{false};
      std::thread deleter([&] {
        library.destroy(made);
        returned = true;
      });
      // The window thread takes the deletion at its next message retrieval.
      EXPECT_TRUE(pumpUntil([&] { return returned.load(); }, 20000));
      deleter.join();
      extension = nullptr;
    }
    host.onNotify(nullptr);
    EXPECT_EQ(closedOn.load(), c.windowThreadGone ? deletingThread : windowThread);
    EXPECT_EQ(count(kClosed), 1u);
    EXPECT_EQ(callCount("Release"), 1u);
  }
}

TEST_F(HostBoundary, ASecondStartOfARunningGameWaitsUntilTheFirstHasReleasedIt) {
  startDevelopGame();
  TestWindow secondWindow;
  TestHost secondHost;
  for (const auto& [name, value] : parameters(developParameters())) secondHost.set(name, value);
  Generic::GenericExtension* second = library.create(secondWindow.hwnd(), 0, library.module(), &secondHost);
  ASSERT_NE(second, nullptr);
  secondWindow.attach(second, library.processMsg);
  int secondTimerSteps = 0;
  secondWindow.onMessage = [&](UINT msg, WPARAM, LPARAM) { secondTimerSteps += msg == WM_TIMER; };

  // Twenty timer steps of the second extension: none may create the game.
  ASSERT_TRUE(pumpUntil([&] { return secondTimerSteps >= 20; }, 20000));
  EXPECT_TRUE(secondHost.received("STATE_GAME_READY"));
  EXPECT_FALSE(secondHost.received("STATE_GAME_CREATE_SUCCEEDED"));
  EXPECT_EQ(callCount("Release"), 0u);
  const std::vector<std::string> soFar = gameCalls();
  EXPECT_EQ(
      std::count_if(soFar.begin(), soFar.end(), [](const std::string& call) { return call.find("Create ") == 0; }), 1);

  destroy();  // the first lets the game go: the second creates its own
  EXPECT_TRUE(pumpUntil([&] { return secondHost.received("STATE_GAME_STARTED"); }, 20000));
  std::vector<std::string> calls;
  for (const std::string& call : gameCalls())
    if (call.find("Message") != 0) calls.push_back(call.substr(0, call.find(' ')));
  EXPECT_EQ(calls, (std::vector<std::string>{"Create", "Start", "Release", "Create", "Start"}));
  secondWindow.detach();
  library.destroy(second);
}

TEST_F(HostBoundary, AGameThatLeavesAThreadRunningStaysLoadedAndTheHostLivesOn) {
  // A folder of its own per case: a module kept loaded by one case must
  // not keep the next one's loaded.
  static const struct {
    const char* hook;
    const char* folder;
  } cases[] = {
      {"TestGameLeaveThreadRunning", "boundary_thread"},
      {"TestGameLeaveRuntimeThreadRunning", "boundary_runtime_thread"},
      {"TestGameLeaveStdThreadRunning", "boundary_std_thread"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hook);
    clearGameCalls();
    host.clear();
    startDevelopGame(c.folder);
    auto leaveThread = developHook<HookFn>(c.hook);
    ASSERT_NE(leaveThread, nullptr);
    leaveThread();
    destroy();
    EXPECT_EQ(gameCalls().back(), "Release");
    EXPECT_EQ(host.notifications().back(), kClosed);
    EXPECT_NE(developGame(), nullptr);  // kept for the thread that still runs its code
    pumpFor(200);                       // the thread goes on running: the process lives
  }
}

TEST_F(HostBoundary, APairTheGameSendsFromItsReleaseReachesTheHostBeforeTheClosingReport) {
  startDevelopGame();
  auto sendOnRelease = developHook<SendOnReleaseFn>("TestGameSendOnRelease");
  ASSERT_NE(sendOnRelease, nullptr);
  sendOnRelease("score", "42");
  host.clear();
  destroy();
  EXPECT_EQ(host.notifications(), (std::vector<Pair>{{"score", "42"}, kClosed}));
}

TEST_F(HostBoundary, TheExtractedGameDllCannotBeReplacedBeforeItIsLoaded) {
  // Between the end of the extraction and the load, the host hears
  // "STATE_GAME_READY": another account's process tries its luck then.
  bool tried = false;
  bool overwritten = false;
  bool deleted = false;
  host.onNotify([&](const Pair& pair) {
    if (pair.second != "STATE_GAME_READY") return;
    tried = true;
    const std::string dll = gameFolder() + "testgame.dll";
    HANDLE writer = ::CreateFileA(dll.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    overwritten = writer != INVALID_HANDLE_VALUE;
    if (overwritten) ::CloseHandle(writer);
    deleted = ::DeleteFileA(dll.c_str()) != FALSE;
  });
  startServer().enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  EXPECT_TRUE(waitFor("STATE_GAME_STARTED"));
  host.onNotify(nullptr);
  EXPECT_TRUE(tried);
  EXPECT_FALSE(overwritten);
  EXPECT_FALSE(deleted);
}

TEST_F(HostBoundary, AGameDllAnotherProcessHeldAWriterOnIsNeverLoaded) {
  // Another account's process opens the DLL's name for writing while the
  // package is being extracted, sharing everything, and keeps it open past
  // the end of the extraction; then it writes a DLL of its own over it and
  // lets go just before the load.
  const std::string other = readFile(binDir() + "games\\start_false\\testgame.dll");
  ASSERT_FALSE(other.empty());
  UniqueFile writer;
  bool written = false;
  host.onNotify([&](const Pair& pair) {
    if (pair.second == "STATE_EXTRACTING") {
      writer.reset(::CreateFileA((gameFolder() + "testgame.dll").c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, 0,
                                 nullptr));
    }
    if (pair.second == "STATE_GAME_READY" && writer) {
      DWORD done = 0;
      written = ::SetFilePointer(writer.get(), 0, nullptr, FILE_BEGIN) == 0 &&
                ::WriteFile(writer.get(), other.data(), static_cast<DWORD>(other.size()), &done, nullptr) &&
                done == other.size() && ::SetEndOfFile(writer.get());
      writer.reset();
    }
  });
  startServer().enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  // Refused when the DLL is held for loading, or already when the
  // extraction meets a file that someone else has open.
  ASSERT_TRUE(pumpUntil(
      [&] {
        return host.received("STATE_GAME_CREATE_FAILED") || host.received("STATE_EXTRACT_GAME_FAILED") ||
               host.received("STATE_GAME_CREATE_SUCCEEDED");
      },
      20000));
  host.onNotify(nullptr);
  EXPECT_FALSE(host.received("STATE_GAME_CREATE_SUCCEEDED"));
  EXPECT_TRUE(gameCalls().empty());  // no code of either file ran
  if (host.received("STATE_GAME_READY")) {
    EXPECT_TRUE(written);
    EXPECT_TRUE(host.received("STATE_GAME_CREATE_FAILED"));
  }
}

}  // namespace
}  // namespace fyrel::test
