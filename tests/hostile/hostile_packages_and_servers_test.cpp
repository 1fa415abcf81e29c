// Hostile input against the real DLL: packages soundly signed with the
// development key whose cabinets are hostile, and servers that drip, stall,
// lie about the length or never end. Each case must end in a clear report
// with nothing written outside the game folder, and deleting the extension
// must never wait for the server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "extension/loader_fixture.h"

namespace fyrel::test {
namespace {

class Hostile : public LoaderTest {
 protected:
  Hostile() : LoaderTest("127.80") {}
  std::string hostile(const std::string& name) const { return fixtureDir() + "hostile\\" + name; }
};

std::string patterned(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 1024) & 0xff);
  return s;
}

TEST_F(Hostile, CabinetsWithRefusedMembersFailTheExtractionAndPlantNothing) {
  // A refused name is refused in the counting pass: not one file of the
  // package is written. Whatever failed, the next start downloads again.
  static const struct {
    const char* package;
    bool nothingWritten;
  } cases[] = {{"device.pkg", true},
               {"device_path.pkg", true},
               {"marker.pkg", true},
               {"self.pkg", true},
               {"split.pkg", false}};  // its first member is whole, the second goes on in the missing part
  for (const auto& c : cases) {
    const char* package = c.package;
    SCOPED_TRACE(package);
    removeTree(partnerFolder());
    host.clear();
    startServer().enqueue(Response::file(hostile(package)));
    ASSERT_TRUE(create({{"gamecab", url(std::string("/games/") + package)}}));
    // The split cabinet once kept its worker asking for the missing part.
    ASSERT_TRUE(waitFor("STATE_EXTRACT_GAME_FAILED", 30000)) << host.stateNames().back();
    EXPECT_FALSE(fileExists(gameFolder() + "_version.bin"));
    if (c.nothingWritten) {
      EXPECT_FALSE(fileExists(gameFolder() + "testgame.dll"));
    }
    EXPECT_TRUE(fileExists(gameFolder() + package));  // kept, as after any failed extraction
    destroy();

    host.clear();
    ASSERT_TRUE(create({{"gamecab", url(std::string("/games/") + package)}}));
    EXPECT_EQ(host.stateNames().front(), "STATE_DOWNLOADING");  // no planted marker trusted
    ASSERT_TRUE(waitFor("STATE_EXTRACT_GAME_FAILED", 30000));
    destroy();
    server.reset();
  }
}

TEST_F(Hostile, AFailedUpdateLeavesNoMarkerToVouchForTheMixedFolder) {
  // The installed version's marker must not survive an update whose
  // extraction failed half way: the folder then holds files of both, and the
  // old version's next start must install afresh instead of running them.
  startServer().enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  ASSERT_EQ(readFile(gameFolder() + "_version.bin"), "game.pkg");
  destroy();

  host.clear();
  server->enqueue(Response::file(hostile("split.pkg")));  // writes its first member, then fails
  ASSERT_TRUE(create({{"gamecab", url("/games/split.pkg")}}));
  ASSERT_TRUE(waitFor("STATE_EXTRACT_GAME_FAILED", 30000));
  destroy();
  EXPECT_FALSE(fileExists(gameFolder() + "_version.bin"));

  host.clear();
  server->enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  EXPECT_EQ(host.stateNames().front(), "STATE_DOWNLOADING");
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
}

TEST_F(Hostile, MemberNamesWithForwardSlashesInstallAndStart) {
  startServer().enqueue(Response::file(hostile("slashes.pkg")));
  ASSERT_TRUE(create({{"gamecab", url("/games/slashes.pkg")}}));
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_EQ(readFile(gameFolder() + "data\\levels\\1.dat"), "level one");
}

TEST_F(Hostile, BodiesBeyondWhatCanBeCountedFailAtOnce) {
  // 4 GiB read as a 32-bit number is 0, "no length": the body would be
  // written until the disk is full. Announced above 2 GiB - 1, not a byte is
  // read, and with none received there is no restart.
  static const struct {
    const char* name;
    std::uint64_t announced;
  } cases[] = {{"4 GiB", 4294967296ull}, {"4 GiB + 1", 4294967297ull}, {"2 GiB", 2147483648ull}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    removeTree(partnerFolder());
    host.clear();
    startServer().enqueue(Response::ok(patterned(65536)).withLength(c.announced).endless());
    ASSERT_TRUE(create());
    ASSERT_TRUE(waitFor("STATE_GAME_DOWNLOAD_FAILED", 20000));
    EXPECT_EQ(server->requestCount(), 1u);
    destroy();
    server.reset();
  }
}

TEST_F(Hostile, DeletingNeverWaitsForTheServer) {
  // Servers that keep a download busy, and moments of the delete: at once,
  // and while the body flows. The figure printed is the worst delete time;
  // the bound below only catches a wait for the server.
  static const struct {
    const char* name;
    Response response;
  } servers[] = {
      {"one byte every 200 ms", Response::ok(patterned(100000)).dripEvery(200)},
      {"silent after the headers and 4 KB", Response::ok(patterned(100000)).stallAfter(4096)},
      {"fast, 1.5 GB announced", Response::ok(patterned(1 << 20)).withLength(1500000000u).endless()},
      {"fast, no length", Response::ok(patterned(1 << 20)).endless()},
  };
  static const unsigned moments[] = {0, 150, 600};  // ms after the request reached the server
  double worstMs = 0;
  std::string worstCase;
  for (const auto& s : servers) {
    for (unsigned moment : moments) {
      const std::string name = std::string(s.name) + ", " + std::to_string(moment) + " ms";
      SCOPED_TRACE(name);
      removeTree(partnerFolder());
      host.clear();
      startServer().enqueue(s.response);
      ASSERT_TRUE(create());
      if (moment != 0) {
        ASSERT_TRUE(server->waitForRequests(1, 10000));
        pumpFor(moment);
        EXPECT_FALSE(host.received("STATE_GAME_DOWNLOAD_FAILED"));
      }
      LARGE_INTEGER frequency, before, after;
      ::QueryPerformanceFrequency(&frequency);
      ::QueryPerformanceCounter(&before);
      destroy();
      ::QueryPerformanceCounter(&after);
      const double ms = 1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) / frequency.QuadPart;
      std::printf("delete, %s: %.1f ms\n", name.c_str(), ms);
      if (ms > worstMs) {
        worstMs = ms;
        worstCase = name;
      }
      EXPECT_LT(ms, 1000.0);
      EXPECT_EQ(host.notifications().back().second, "");
      server.reset();
    }
  }
  std::printf("worst delete: %.1f ms (%s)\n", worstMs, worstCase.c_str());
}

}  // namespace
}  // namespace fyrel::test
