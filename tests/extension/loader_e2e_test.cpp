// The loader end to end through the real DLL: packages signed by openssl,
// cabinets made by gcab, served by the in-process HTTP server, extracted
// and started in a real window.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>

#include "common/sha256.h"
#include "common/unique_handle.h"
#include "extension/loader_fixture.h"
#include "storage/install_record.h"
#include "support/import_patch.h"
#include "support/process_stats.h"

namespace fyrel::test {
namespace {

class Loader : public LoaderTest {
 protected:
  Loader() : LoaderTest("127.50") {}
};

TEST_F(Loader, FirstStartDownloadsVerifiesExtractsAndStartsTheGame) {
  startServer().enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kCheck, kExtracting, kReady, kCreated, kStarted}));

  EXPECT_EQ(readFile(gameFolder() + "testgame.dll"), readFile(binDir() + "games\\ok\\testgame.dll"));
  EXPECT_EQ(readFile(gameFolder() + "data\\levels\\1.dat").size(), 256u * 40u);
  EXPECT_FALSE(fileExists(gameFolder() + "game.pkg"));
  EXPECT_EQ(readFile(gameFolder() + "_version.bin"), "game.pkg");
  ASSERT_EQ(server->requestCount(), 1u);
  EXPECT_EQ(server->requests()[0].target, "/games/game.pkg");

  // Messages now reach the game.
  ::SendMessageA(window.hwnd(), WM_KEYDOWN, 'A', 0);
  EXPECT_EQ(gameCalls().back(), "Message 256 65 0");
  destroy();
  EXPECT_EQ(host.notifications().back(), kClosed);
  EXPECT_EQ(gameCalls().back(), "Release");
}

TEST_F(Loader, SecondStartOfTheSamePackageGoesStraightToTheGame) {
  startServer().enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  destroy();
  host.clear();

  ASSERT_TRUE(create());
  // Nothing yet: the installed game is checked off the window thread, and
  // reported on a timer step once that check has ended.
  EXPECT_EQ(host.notifications(), States{});
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_EQ(host.notifications(), (States{kReady, kCreated, kStarted}));
  EXPECT_EQ(server->requestCount(), 1u);  // nothing asked of the server the second time
}

Sha256Digest digestOfFile(const std::string& path) {
  Sha256Digest digest{};
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(file && sha256OfFile(file.get(), digest)) << path;
  return digest;
}

TEST_F(Loader, AnInstallIsRecordedForThisAccountWithThePackageAsDownloaded) {
  startServer().enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  InstallRecord record;
  ASSERT_TRUE(readInstallRecord(gameFolder(), record));
  EXPECT_EQ(record.packageName, "game.pkg");
  EXPECT_EQ(record.packageDigest, digestOfFile(fixture("game.pkg")));  // signature and all
  ASSERT_EQ(record.members.size(), 1u);                                // the levels are data
  EXPECT_EQ(record.members[0].name, "testgame.dll");
  EXPECT_EQ(record.members[0].digest, digestOfFile(binDir() + "games\\ok\\testgame.dll"));
}

// The game folder is open to every account: what another one leaves there
// between two starts, or an install this account did not make, is not
// started; the package is installed afresh instead.
TEST_F(Loader, AnInstalledGameThisAccountCannotVouchForIsInstalledAfresh) {
  static const struct {
    const char* change;
    std::function<void(const std::string& folder)> make;
  } cases[] = {
      {"the game DLL swapped",
       [](const std::string& folder) {
         ::CopyFileA((binDir() + "games\\start_false\\testgame.dll").c_str(), (folder + "testgame.dll").c_str(), FALSE);
       }},
      {"no record of this account's", [](const std::string& folder) { deleteInstallRecord(folder); }},
      {"a DLL added",
       [](const std::string& folder) {
         ::CopyFileA((binDir() + "games\\ok\\testgame.dll").c_str(), (folder + "data\\helper.dll").c_str(), FALSE);
       }},
      {"a program image under a data name",
       [](const std::string& folder) { writeFile(folder + "data\\levels\\2.dat", "MZ\x90\x00"); }},
  };
  startServer().enqueue(Response::file(fixture("game.pkg")));
  std::size_t requests = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.change);
    host.clear();
    ASSERT_TRUE(create());
    ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
    destroy();
    EXPECT_EQ(server->requestCount(), ++requests);
    c.make(gameFolder());

    host.clear();
    ASSERT_TRUE(create());
    ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
    EXPECT_EQ(host.notifications(), (States{kDownloading, kCheck, kExtracting, kReady, kCreated, kStarted}));
    EXPECT_EQ(server->requestCount(), ++requests);
    EXPECT_EQ(readFile(gameFolder() + "testgame.dll"), readFile(binDir() + "games\\ok\\testgame.dll"));
    destroy();
    removeTree(partnerFolder());
  }
}

TEST_F(Loader, DevelopModeLoadsTheGameFromTheDevelopFolderWithoutDownloading) {
  const std::string develop = scratchDir("e2e_develop");
  ::CopyFileA((binDir() + "games\\ok\\testgame.dll").c_str(), (develop + "testgame.dll").c_str(), FALSE);
  startServer();
  ASSERT_TRUE(create({{"developdir", develop}, {"gamecab", ""}}));
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_EQ(host.notifications(), (States{kReady, kCreated, kStarted}));
  EXPECT_EQ(server->requestCount(), 0u);
  EXPECT_FALSE(fileExists(partnerFolder()));  // no folder created
  EXPECT_EQ(gameCalls().front().find("Create "), 0u);
}

TEST_F(Loader, RestartsABrokenDownloadFromTheFirstByte) {
  HttpTestServer& s = startServer();
  for (int i = 0; i < 3; ++i) s.enqueue(Response::file(fixture("game.pkg")).closeAfter(1000));
  s.enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kDownloading, kDownloading, kDownloading, kCheck, kExtracting,
                                          kReady, kCreated, kStarted}));
  EXPECT_EQ(s.requestCount(), 4u);
}

std::atomic<unsigned long long> restartClockJump{0};
ULONGLONG WINAPI jumpingRestartClock() { return ::GetTickCount64() + restartClockJump.fetch_add(60000); }

TEST_F(Loader, GivesUpAfterTwentyRestarts) {
  // Restarts after attempts that moved little wait up to 8 s each; the
  // DLL's 64-bit tick count (which only those pauses read) jumps on a
  // minute at every reading, so each pause passes at the next step.
  ImportPatch clock(library.module(), "kernel32.dll", "GetTickCount64", reinterpret_cast<void*>(&jumpingRestartClock));
  ASSERT_TRUE(clock.applied());
  startServer().enqueue(Response::file(fixture("game.pkg")).closeAfter(1000));  // repeated for every request
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_DOWNLOAD_FAILED", 60000));
  States expected(21, kDownloading);
  expected.push_back({"FE_ERROR", "STATE_GAME_DOWNLOAD_FAILED"});
  EXPECT_EQ(host.notifications(), expected);
  EXPECT_EQ(server->requestCount(), 21u);
  EXPECT_FALSE(fileExists(gameFolder() + "game.pkg"));  // the partial file is deleted
}

TEST_F(Loader, AFailureBeforeAnyByteIsFinalAtOnce) {
  startServer().enqueue(Response::status(404, "gone"));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_DOWNLOAD_FAILED"));
  EXPECT_EQ(host.notifications(), (States{kDownloading, {"FE_ERROR", "STATE_GAME_DOWNLOAD_FAILED"}}));
  EXPECT_EQ(server->requestCount(), 1u);
}

TEST_F(Loader, BadSignatureDeletesThePackage) {
  startServer().enqueue(Response::file(fixture("badsig.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_CAB_VERIFICATION_FAILED"));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kCheck, {"FE_ERROR", "STATE_CAB_VERIFICATION_FAILED"}}));
  EXPECT_FALSE(fileExists(gameFolder() + "game.pkg"));
  EXPECT_FALSE(fileExists(gameFolder() + "testgame.dll"));
}

TEST_F(Loader, DamagedCabinetFailsExtractionAndDeletesThePackage) {
  startServer().enqueue(Response::file(fixture("damaged.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_EXTRACT_GAME_FAILED"));
  EXPECT_EQ(host.notifications(),
            (States{kDownloading, kCheck, kExtracting, {"FE_ERROR", "STATE_EXTRACT_GAME_FAILED"}}));
  EXPECT_FALSE(fileExists(gameFolder() + "game.pkg"));
  EXPECT_FALSE(fileExists(gameFolder() + "_version.bin"));
}

// An installed game folder whose marker matches, holding one game variant.
void installWithMarker(const std::string& folder, const std::string& variant) {
  createFolderChain(folder);
  ::CopyFileA((binDir() + "games\\" + variant + "\\testgame.dll").c_str(), (folder + "testgame.dll").c_str(), FALSE);
  writeFile(folder + "_version.bin", "game.pkg");
  recordInstallByThisAccount(folder, "game.pkg");
}

TEST_F(Loader, GameModuleFailureDeletesTheMarker) {
  installWithMarker(gameFolder(), "create_null");
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_CREATE_FAILED"));
  EXPECT_EQ(host.notifications(), (States{kReady, {"FE_ERROR", "STATE_GAME_CREATE_FAILED"}}));
  EXPECT_FALSE(fileExists(gameFolder() + "_version.bin"));
}

BOOL WINAPI enumDisplaySettingsAt24Bits(LPCSTR, DWORD, DEVMODEA* mode) {
  mode->dmBitsPerPel = 24;
  return TRUE;
}

TEST_F(Loader, TwentyFourBitDisplayIsRefusedAndTheMarkerDeleted) {
  // Wine has no 24-bit mode: the DLL's own import of the display query is
  // answered by the test; the DLL's code path is the product's.
  ImportPatch patch(library.module(), "user32.dll", "EnumDisplaySettingsA",
                    reinterpret_cast<void*>(&enumDisplaySettingsAt24Bits));
  ASSERT_TRUE(patch.applied());
  installWithMarker(gameFolder(), "ok");
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_WRONG_BITH_DEPTH"));
  EXPECT_EQ(host.notifications(), (States{kReady, {"wrongBitDepth", "STATE_WRONG_BITH_DEPTH"}}));
  EXPECT_FALSE(fileExists(gameFolder() + "_version.bin"));
  EXPECT_TRUE(gameCalls().empty());
}

std::atomic<DWORD> tickOffset{0};
DWORD WINAPI shiftedTickCount() { return ::GetTickCount() + tickOffset.load(); }

// Two starts of the same game at once (two tabs of one host here; see
// TwoHosts for two processes): one installs, the other waits with its
// loading screen up, then starts what the first installed, or installs it
// itself if the first failed.
TEST_F(Loader, ASecondStartOfTheSameGameWaitsForTheFirstInstall) {
  enum class Then { FirstSucceeds, FirstFails, SecondDeleted, FirstTooSlow };
  static const struct {
    const char* what;
    Then then;
    const char* firstPackage;
    States secondReports;
    std::size_t requests;
  } cases[] = {
      {"first installs: second starts it",
       Then::FirstSucceeds,
       "game.pkg",
       {kDownloading, kReady, kCreated, kStarted},
       1},
      {"first fails: second installs",
       Then::FirstFails,
       "badsig.pkg",
       {kDownloading, kCheck, kExtracting, kReady, kCreated, kStarted},
       2},
      {"second deleted while it waits", Then::SecondDeleted, "game.pkg", {kDownloading, kClosed}, 1},
      {"first holds the folder past the limit",
       Then::FirstTooSlow,
       "game.pkg",
       {kDownloading, {"FE_ERROR", "STATE_GAME_DOWNLOAD_FAILED"}},
       1},
  };
  // The wait's ten-minute limit passes in a moment: the DLL's clock is
  // moved on (Wine's clock cannot be).
  ImportPatch clock(library.module(), "kernel32.dll", "GetTickCount", reinterpret_cast<void*>(&shiftedTickCount));
  ASSERT_TRUE(clock.applied());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    destroy();
    removeTree(partnerFolder());
    host.clear();
    tickOffset = 0;
    HttpTestServer& s = startServer();
    s.enqueue(Response::file(fixture(c.firstPackage)).stallAfter(4096));
    s.enqueue(Response::file(fixture("game.pkg")));
    ASSERT_TRUE(create());
    ASSERT_TRUE(pumpUntil([&] { return s.stallCount() >= 1; }, 10000));

    TestWindow secondWindow;
    TestHost secondHost;
    for (const auto& [name, value] : parameters()) secondHost.set(name, value);
    Generic::GenericExtension* second = library.create(secondWindow.hwnd(), 0, library.module(), &secondHost);
    ASSERT_NE(second, nullptr);
    secondWindow.attach(second, library.processMsg);
    pumpFor(500);
    EXPECT_EQ(secondHost.notifications(), (States{kDownloading}));
    EXPECT_EQ(s.requestCount(), 1u);

    if (c.then == Then::SecondDeleted) {
      secondWindow.detach();
      const DWORD start = ::GetTickCount();
      library.destroy(second);
      second = nullptr;
      EXPECT_LT(::GetTickCount() - start, 1000u);
    }
    if (c.then == Then::FirstTooSlow) {
      tickOffset = 10 * 60 * 1000;
      EXPECT_TRUE(pumpUntil([&] { return secondHost.received("STATE_GAME_DOWNLOAD_FAILED"); }, 5000));
    }
    s.release();
    if (c.then == Then::FirstFails) {
      EXPECT_TRUE(waitFor("STATE_CAB_VERIFICATION_FAILED"));
    } else {
      EXPECT_TRUE(waitFor("STATE_GAME_STARTED"));
      // One game per module in a process: the second creates its own once
      // the first has let the game go.
      destroy();
    }
    if (second != nullptr) {
      const std::string last = c.secondReports.back().second;
      EXPECT_TRUE(pumpUntil([&] { return secondHost.received(last); }, 20000));
      secondWindow.detach();
      library.destroy(second);
      std::vector<Pair> reports = secondHost.notifications();
      reports.pop_back();  // the closing report
      EXPECT_EQ(reports, c.secondReports);
    } else {
      EXPECT_EQ(secondHost.notifications(), c.secondReports);
    }
    EXPECT_EQ(s.requestCount(), c.requests);
    destroy();
    server.reset();
  }
}

// The second player process of the test below: run by it as a process of
// its own, with the game named in its environment; disabled otherwise.
// Writes every report it receives, one per line, to the report file.
TEST(TwoHosts, DISABLED_SecondHostProcess) {
  char partner[256] = {}, url[256] = {}, reportFile[MAX_PATH] = {};
  ASSERT_NE(::GetEnvironmentVariableA("FYREL_SECOND_HOST_PARTNER", partner, sizeof partner), 0u);
  ASSERT_NE(::GetEnvironmentVariableA("FYREL_SECOND_HOST_URL", url, sizeof url), 0u);
  ASSERT_NE(::GetEnvironmentVariableA("FYREL_SECOND_HOST_REPORTS", reportFile, sizeof reportFile), 0u);
  ExtensionLibrary library;
  TestWindow window;
  TestHost host;
  host.set("gamename", "testgame");
  host.set("partnername", partner);
  host.set("gamecab", url);
  std::string reports;
  host.onNotify([&](const Pair& pair) {
    reports += pair.first + " " + pair.second + "\n";
    writeFile(reportFile, reports);
  });
  Generic::GenericExtension* extension = library.create(window.hwnd(), 0, library.module(), &host);
  ASSERT_NE(extension, nullptr);
  window.attach(extension, library.processMsg);
  pumpUntil(
      [&] {
        const std::vector<Pair> all = host.notifications();
        return host.received("STATE_GAME_STARTED") || (!all.empty() && all.back().first != "FE_STATE");
      },
      60000);
  window.detach();
  library.destroy(extension);
}

TEST_F(Loader, TwoPlayerProcessesStartingTheSameGameBothStartIt) {
  HttpTestServer& s = startServer();
  s.enqueue(Response::file(fixture("game.pkg")).stallAfter(4096));
  s.enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(pumpUntil([&] { return s.stallCount() >= 1; }, 10000));

  const std::string reportFile = scratchDir("e2e_second_host") + "reports.txt";
  const std::map<std::string, std::string> params = parameters();
  ::SetEnvironmentVariableA("FYREL_SECOND_HOST_PARTNER", params.at("partnername").c_str());
  ::SetEnvironmentVariableA("FYREL_SECOND_HOST_URL", params.at("gamecab").c_str());
  ::SetEnvironmentVariableA("FYREL_SECOND_HOST_REPORTS", reportFile.c_str());
  std::string commandLine = "\"" + binDir() +
                            "fyrel_extension_tests.exe\" --gtest_also_run_disabled_tests "
                            "--gtest_filter=TwoHosts.DISABLED_SecondHostProcess";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  ASSERT_TRUE(
      ::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
  UniqueKernelHandle process(child.hProcess);
  ::CloseHandle(child.hThread);
  for (const char* name : {"FYREL_SECOND_HOST_PARTNER", "FYREL_SECOND_HOST_URL", "FYREL_SECOND_HOST_REPORTS"})
    ::SetEnvironmentVariableA(name, nullptr);

  // The second process waits for the folder with its screen up: no request.
  EXPECT_TRUE(pumpUntil([&] { return fileExists(reportFile); }, 60000));
  pumpFor(1000);
  EXPECT_EQ(readFile(reportFile), "FE_STATE STATE_DOWNLOADING\n");
  EXPECT_EQ(s.requestCount(), 1u);

  s.release();
  EXPECT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_TRUE(pumpUntil([&] { return ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }, 60000));
  DWORD exitCode = 1;
  ::GetExitCodeProcess(process.get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(readFile(reportFile),
            "FE_STATE STATE_DOWNLOADING\nFE_STATE STATE_GAME_READY\nFE_STATE STATE_GAME_CREATE_SUCCEEDED\n"
            "FE_STATE STATE_GAME_STARTED\nFE_STATE \n");
  EXPECT_EQ(s.requestCount(), 1u);  // installed once, started twice
}

TEST_F(Loader, ADeleteDuringAFastDownloadHangsUpAtOnce) {
  // A server that sends faster than the loader reads, with 1.5 GB still to
  // come: once the extension is deleted, the connection ends at once, and
  // with it the worker that kept this module loaded.
  startServer().enqueue(Response::ok(std::string(1u << 20, 'p')).withLength(1500000000u).endless());
  ASSERT_TRUE(create({{"gamecab", url("/games/huge.pkg")}}));
  ASSERT_TRUE(waitFor("STATE_DOWNLOADING"));
  pumpFor(500);  // bytes flow
  ASSERT_EQ(server->endedConnections(), 0u);
  const DWORD start = ::GetTickCount();
  destroy();
  EXPECT_EQ(host.notifications().back(), kClosed);
  const bool hungUp = server->waitForEndedConnections(1, 30000);
  const DWORD ms = ::GetTickCount() - start;
  std::printf("connection ended %lu ms after the delete\n", static_cast<unsigned long>(ms));
  ASSERT_TRUE(hungUp);
  EXPECT_LT(ms, 1000u);
}

// Deleting the extension at each point of its life: everything stops, the
// game (if any) is released after the workers are gone, no thread of ours
// is left, and the last word to the host is the closing report.
TEST_F(Loader, DeletingAtAnyPointStopsEverythingAndLeavesNoThread) {
  // Deleting never waits for the network: a download worker that waits on
  // a silent server is left to end by itself, which it does here when the
  // server goes (server.reset() below).
  static const struct {
    const char* when;
    const char* waitFor;  // the report after which the extension is deleted
    bool gameReleased;
    DWORD deleteWithinMs;
  } cases[] = {
      {"download stalled", nullptr, false, 5000},
      {"extracting", "STATE_EXTRACTING", false, 5000},
      {"hold", "STATE_GAME_CREATE_SUCCEEDED", true, 5000},
      {"started", "STATE_GAME_STARTED", true, 5000},
  };
  // One full life first: the platform starts helper threads of its own on
  // first use (WinINet, winsock, the display driver) and keeps them, and so
  // does the test framework for its traces.
  SCOPED_TRACE("warm-up");
  startServer().enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  destroy();
  server.reset();
  pumpFor(200);
  const int threadsBefore = threadCountOutsideSystem();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.when);
    removeTree(partnerFolder());
    clearGameCalls();
    host.clear();
    HttpTestServer& s = startServer();
    if (c.waitFor == nullptr) {
      s.enqueue(Response::file(fixture("game.pkg")).stallAfter(4096));
      ASSERT_TRUE(create());
      ASSERT_TRUE(pumpUntil([&] { return s.stallCount() >= 1; }, 10000));
    } else {
      s.enqueue(Response::file(fixture("game.pkg")));
      ASSERT_TRUE(create());
      ASSERT_TRUE(waitFor(c.waitFor));
    }
    const DWORD start = ::GetTickCount();
    destroy();
    EXPECT_LT(::GetTickCount() - start, c.deleteWithinMs);
    EXPECT_EQ(host.notifications().back(), kClosed);
    const std::vector<std::string> calls = gameCalls();
    EXPECT_EQ(!calls.empty() && calls.back() == "Release", c.gameReleased);
    if (!c.gameReleased) {
      EXPECT_TRUE(calls.empty());
    }
    server.reset();  // the server's own connection threads end here
    EXPECT_TRUE(pumpUntil([&] { return threadCountOutsideSystem() <= threadsBefore; }, 3000))
        << threadsBefore << " threads before, now:\n"
        << describeThreads();
  }
}

}  // namespace
}  // namespace fyrel::test
