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

#include "common/unique_handle.h"
#include "extension/loader_fixture.h"
#include "storage/folder_paths.h"
#include "storage/registry_guard.h"
#include "support/small_disk.h"

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
  // A refused name is refused in the counting pass, and a part of a cabinet
  // set before it: not one file of the package is written. Only the package
  // is signed, so a part of its set found in the folder (anyone may write
  // there) is never read. Whatever failed, the next start downloads again.
  static const struct {
    const char* package;
    const char* planted;  // a file put into the game folder beforehand
    const char* line;     // what the install log says of it
  } cases[] = {
      {"device.pkg", nullptr, "\" refused: its name leaves the game folder, names a device or takes a name kept"},
      {"device_path.pkg", nullptr, "\" refused: its name leaves the game folder"},
      {"marker.pkg", nullptr, "member \"_Version.bin\" refused"},
      {"self.pkg", nullptr, "member \"SELF.PKG\" refused"},
      // Its second member goes on in a part that is nowhere.
      {"split.pkg", nullptr, "failed: the package is no single cabinet"},
      // The game module goes on in the planted x_2.cab.
      {"set.pkg", "x_2.cab", "failed: the package is no single cabinet"},
  };
  for (const auto& c : cases) {
    const char* package = c.package;
    SCOPED_TRACE(package);
    removeTree(partnerFolder());
    host.clear();
    std::string planted;
    if (c.planted != nullptr) {
      createFolderChain(gameFolder());
      planted = readFile(hostile(c.planted));
      writeFile(gameFolder() + c.planted, planted);
    }
    startServer().enqueue(Response::file(hostile(package)));
    ASSERT_TRUE(create({{"gamecab", url(std::string("/games/") + package)}}));
    // The split cabinet once kept its worker asking for the missing part;
    // the set once installed and started a game half made of planted bytes.
    ASSERT_TRUE(waitFor("STATE_EXTRACT_GAME_FAILED", 30000)) << host.lastStateName();
    EXPECT_FALSE(fileExists(gameFolder() + "_version.bin"));
    EXPECT_FALSE(fileExists(gameFolder() + "testgame.dll"));
    EXPECT_FALSE(fileExists(gameFolder() + package));  // deleted, as after any failed extraction
    if (c.planted != nullptr) {
      EXPECT_TRUE(readFile(gameFolder() + c.planted) == planted);  // not ours to delete
    }
    destroy();
    EXPECT_NE(installLogText().find(c.line), std::string::npos) << installLogText();
    ::DeleteFileA(installLogPath().c_str());

    host.clear();
    ASSERT_TRUE(create({{"gamecab", url(std::string("/games/") + package)}}));
    ASSERT_TRUE(waitFor("STATE_EXTRACT_GAME_FAILED", 30000));
    EXPECT_EQ(host.stateNames().front(), "STATE_DOWNLOADING");  // no planted marker trusted
    destroy();
    server.reset();
  }
}

TEST_F(Hostile, AFullDiskFailsTheExtractionAndTheNextStartInstallsCleanly) {
  // 2 MB hold the small package (its 5 MB member compresses to almost
  // nothing) and the game module, but not the member: the platform's FDI
  // does not act on the failed writes, so the extractor must. The member
  // was once left at 1 MB, the marker written and the game started; every
  // later start then skipped the download.
  // The disk goes over a folder above the player folder, which is made to
  // lie on it: a mounted folder on the way into the game folder is a
  // reparse point (Wine shows a Unix mount point as one), which the loader
  // refuses like a link.
  const std::string diskFolder = scratchDir("hostile_small_disk");
  SmallDisk disk(diskFolder, "2m");
  ASSERT_TRUE(disk.mounted()) << "no tmpfs over " << diskFolder;
  RegistryValueGuard dataFolder(HKEY_LOCAL_MACHINE, kShellFoldersKey, "Common AppData");
  dataFolder.setString(diskFolder + "data");
  createFolderChain(gameFolder());
  startServer().enqueue(Response::file(hostile("big_member.pkg")));
  ASSERT_TRUE(create({{"gamecab", url("/games/big_member.pkg")}}));
  ASSERT_TRUE(waitFor("STATE_EXTRACT_GAME_FAILED", 60000)) << host.lastStateName();
  EXPECT_FALSE(fileExists(gameFolder() + "_version.bin"));
  EXPECT_FALSE(fileExists(gameFolder() + "big_member.pkg"));
  destroy();
  EXPECT_NE(installLogText().find("member \"data\\big.bin\""), std::string::npos) << installLogText();

  // Room again, the failed install's files still there.
  ASSERT_TRUE(disk.grow("16m", 16ull << 20));
  host.clear();
  ASSERT_TRUE(create({{"gamecab", url("/games/big_member.pkg")}}));
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED", 60000)) << host.lastStateName();
  EXPECT_EQ(host.stateNames().front(), "STATE_DOWNLOADING");
  EXPECT_EQ(readFile(gameFolder() + "data\\big.bin").size(), 5u * 1024 * 1024 / 29 * 29);
  destroy();  // the game module goes before its disk
}

TEST_F(Hostile, AFullDiskFailsTheDownloadAtOnceInsteadOfFetchingItAgain) {
  // A package that cannot be written is no dropped connection: it was once
  // fetched 20 times more, each time until the disk was full again.
  // The player folder lies on the disk, as above: a mount point on the way
  // into the game folder would be refused as a reparse point.
  const std::string diskFolder = scratchDir("hostile_full_download_disk");
  SmallDisk disk(diskFolder, "1m");
  ASSERT_TRUE(disk.mounted()) << "no tmpfs over " << diskFolder;
  RegistryValueGuard dataFolder(HKEY_LOCAL_MACHINE, kShellFoldersKey, "Common AppData");
  dataFolder.setString(diskFolder + "data");
  createFolderChain(gameFolder());
  HttpTestServer origin("127.19.0.6");
  ASSERT_TRUE(origin.listening());
  origin.enqueue(Response::ok(patterned(4u << 20)));
  ASSERT_TRUE(create({{"gamecab", "http://127.19.0.6/games/full.pkg"}}));
  ASSERT_TRUE(waitFor("STATE_GAME_DOWNLOAD_FAILED", 60000)) << host.lastStateName();
  EXPECT_EQ(host.notifications(), (States{kDownloading, kDownloadFailed}));
  EXPECT_EQ(origin.requestCount(), 1u);
  destroy();
  // The log lies on the account's own disk, which still has room.
  EXPECT_NE(installLogText().find("_DISK_FULL ("), std::string::npos) << installLogText();
  EXPECT_NE(installLogText().find(") writing the package; "), std::string::npos) << installLogText();
}

TEST_F(Hostile, EveryFailureAndEveryEarlyDeleteLeavesNoPackageBehind) {
  // The package file is the install's own: a download that failed for good,
  // a package that failed its check or its extraction, and an install the
  // host deleted before it ended leave nothing. They once left the partial
  // or the whole package (0 bytes when nothing came), and it outlived later
  // installs of other versions.
  static const struct {
    const char* what;
    const char* package;  // in the loader's fixtures; null: a 404
    bool stall;           // the body stops after 4 KB
    const char* ending;   // the report that ends it; null: the host deletes now
  } cases[] = {
      {"nothing came", nullptr, false, "STATE_GAME_DOWNLOAD_FAILED"},
      {"bad signature", "badsig.pkg", false, "STATE_CAB_VERIFICATION_FAILED"},
      {"damaged cabinet", "damaged.pkg", false, "STATE_EXTRACT_GAME_FAILED"},
      {"deleted while downloading", "game.pkg", true, nullptr},
      {"deleted while extracting", "game.pkg", false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    removeTree(partnerFolder());
    host.clear();
    HttpTestServer& s = startServer();
    if (c.package == nullptr) {
      s.enqueue(Response::status(404, "gone"));
    } else {
      Response response = Response::file(fixture(c.package));
      s.enqueue(c.stall ? response.stallAfter(4096) : response);
    }
    ASSERT_TRUE(create());
    if (c.ending != nullptr) {
      ASSERT_TRUE(waitFor(c.ending)) << host.lastStateName();
    } else if (c.stall) {
      ASSERT_TRUE(pumpUntil([&] { return s.stallCount() >= 1; }, 10000));
      ASSERT_TRUE(fileExists(gameFolder() + "game.pkg"));
    } else {
      ASSERT_TRUE(waitFor("STATE_EXTRACTING"));
    }
    destroy();
    EXPECT_FALSE(fileExists(gameFolder() + "game.pkg"));
    server.reset();
  }
}

TEST_F(Hostile, APackagePathThePlatformCannotTakeIsRefusedAtCreation) {
  // A longer path could never be installed: it once failed later, as a
  // download failure with no request sent (the file functions take 259
  // characters) or as a failed extraction (cabinet.dll opens no cabinet
  // above 257). At the limit the package installs as any other.
  static const struct {
    std::size_t pathLength;
    bool accepted;
  } cases[] = {{257, true}, {258, false}, {300, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pathLength);
    removeTree(partnerFolder());
    host.clear();
    const std::string name = std::string(c.pathLength - gameFolder().size() - 4, 'p') + ".pkg";
    startServer().enqueue(Response::file(fixture("game.pkg")));
    if (c.accepted) {
      ASSERT_TRUE(create({{"gamecab", url("/games/" + name)}}));
      ASSERT_TRUE(waitFor("STATE_GAME_STARTED")) << host.lastStateName();
      EXPECT_EQ(readFile(gameFolder() + "_version.bin"), name);
    } else {
      EXPECT_FALSE(create({{"gamecab", url("/games/" + name)}}));
      ASSERT_FALSE(host.notifications().empty());
      EXPECT_EQ(host.notifications().front(), (Pair{"FE_ERROR", "STATE_INVALID_PARAMS"}));
      EXPECT_EQ(server->requestCount(), 0u);
    }
    destroy();
    server.reset();
  }
}

TEST_F(Hostile, AGameFolderTooLongForTheModuleOrTheMarkerIsRefusedAtCreation) {
  // A short package name fits the package limit in a folder whose game
  // module (testgame.dll) and version marker (_version.bin), both 12
  // characters, the file functions cannot take (259 at most). Such a start
  // once downloaded the whole package and failed its extraction, every time.
  // The partner name sets the folder's length.
  static const struct {
    std::size_t folderLength;
    bool accepted;
  } cases[] = {{247, true}, {248, false}, {252, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folderLength);
    const std::string base = resolvePlayerFolder();
    const std::string partner = "e2e_long" + std::string(c.folderLength - base.size() - 8 - 10, 'q');
    const std::string folder = base + partner + "\\testgame\\";
    ASSERT_EQ(folder.size(), c.folderLength);
    ASSERT_LE((folder + "g.pkg").size(), 257u);  // the package itself fits
    removeTree(base + partner);
    host.clear();
    startServer().enqueue(Response::file(hostile("alone.pkg")));
    if (c.accepted) {
      ASSERT_TRUE(create({{"partnername", partner}, {"gamecab", url("/games/g.pkg")}}));
      ASSERT_TRUE(waitFor("STATE_GAME_STARTED")) << host.lastStateName();
      EXPECT_EQ(readFile(folder + "_version.bin"), "g.pkg");
    } else {
      EXPECT_FALSE(create({{"partnername", partner}, {"gamecab", url("/games/g.pkg")}}));
      ASSERT_FALSE(host.notifications().empty());
      EXPECT_EQ(host.notifications().front(), (Pair{"FE_ERROR", "STATE_INVALID_PARAMS"}));
      EXPECT_EQ(server->requestCount(), 0u);
    }
    destroy();
    server.reset();
    removeTree(base + partner);
  }
}

TEST_F(Hostile, AStartGivenAShortNameOfTheGameFolderWaitsForTheInstallThere) {
  // The platform makes a short (8.3) name for a long folder name and opens
  // the folder by either: a start given the short name of the partner
  // folder must wait for the install going on there, as any start of the
  // same game does, then start what it installed.
  createFolderChain(gameFolder());
  std::string folder = partnerFolder();
  folder.pop_back();  // no trailing separator
  char shortPath[MAX_PATH] = {};
  const DWORD length = ::GetShortPathNameA(folder.c_str(), shortPath, sizeof shortPath);
  ASSERT_TRUE(length > 0 && length < sizeof shortPath);
  const std::string alias = std::string(shortPath).substr(std::string(shortPath).rfind('\\') + 1);
  ASSERT_NE(alias.find('~'), std::string::npos) << alias;
  writeFile(gameFolder() + "probe", "one folder");
  ASSERT_EQ(readFile(resolvePlayerFolder() + alias + "\\testgame\\probe"), "one folder");  // two spellings

  HttpTestServer& s = startServer();
  s.enqueue(Response::file(fixture("game.pkg")).stallAfter(4096));
  s.enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(pumpUntil([&] { return s.stallCount() >= 1; }, 10000));

  TestWindow secondWindow;
  TestHost secondHost;
  for (const auto& [name, value] : parameters({{"partnername", alias}})) secondHost.set(name, value);
  Generic::GenericExtension* second = library.create(secondWindow.hwnd(), 0, library.module(), &secondHost);
  ASSERT_NE(second, nullptr);
  secondWindow.attach(second, library.processMsg);
  pumpFor(1000);
  EXPECT_EQ(secondHost.notifications(), (States{kDownloading}));
  EXPECT_EQ(s.requestCount(), 1u);  // the first install alone
  s.release();
  EXPECT_TRUE(waitFor("STATE_GAME_STARTED"));
  destroy();  // one live game per module in a process: the second's waits for it
  EXPECT_TRUE(pumpUntil([&] { return secondHost.received("STATE_GAME_STARTED"); }, 20000))
      << secondHost.lastStateName();
  secondWindow.detach();
  library.destroy(second);
  EXPECT_EQ(s.requestCount(), 1u);  // installed once, started twice
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
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_EQ(host.stateNames().front(), "STATE_DOWNLOADING");
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
        ASSERT_TRUE(pumpUntil([&] { return server->requestCount() >= 1; }, 10000));
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
