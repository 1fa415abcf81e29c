// What another account can put in the shared game folder's way: a link on
// the way into it, or an install of its own while this one starts the
// installed game. The links are real Unix symbolic links in the prefix
// (Wine shows a folder link as a reparse point); a file link Wine does not
// show, so that one case answers the DLL's attribute query itself.
#include <windows.h>
#include <gtest/gtest.h>

#include <thread>

#include "common/unique_handle.h"
#include "extension/loader_fixture.h"
#include "storage/folder_paths.h"
#include "storage/game_folder_lock.h"
#include "storage/registry_guard.h"
#include "support/import_patch.h"
#include "support/unix_link.h"

namespace fyrel::test {
namespace {

const Pair kExtractFailed{"FE_ERROR", "STATE_EXTRACT_GAME_FAILED"};

class LoaderLinks : public LoaderTest {
 protected:
  LoaderLinks() : LoaderTest("127.21") {}
};

TEST_F(LoaderLinks, ALinkOnTheWayIntoTheGameFolderStopsTheInstallBeforeItWritesThere) {
  static const struct {
    const char* what;
    const char* link;  // below the partner folder ("" is the partner folder itself)
    States reports;
    std::size_t requests;
    const char* line;  // what the install log says of it
  } cases[] = {
      {"partner folder", "", {kDownloading, kDownloadFailed}, 0, " is a link or mount point"},
      {"game folder", "testgame", {kDownloading, kDownloadFailed}, 0, "\\testgame is a link or mount point"},
      // Made by another account inside the game folder, where a member goes.
      {"member folder",
       "testgame\\data",
       {kDownloading, kCheck, kExtracting, kExtractFailed},
       1,
       "failed: member \"data\\levels\\1.dat\" refused: a link stands where it goes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    destroy();
    host.clear();
    removeTree(partnerFolder());
    const std::string elsewhere = scratchDir("links_elsewhere");
    writeFile(elsewhere + "keep.txt", "k");
    std::string link = partnerFolder() + c.link;
    if (link.back() == '\\') link.pop_back();
    createFolderChain(link.substr(0, link.rfind('\\')));
    ASSERT_TRUE(makeUnixLink(link, elsewhere));
    startServer().enqueue(Response::file(fixture("game.pkg")));

    ASSERT_TRUE(create());
    ASSERT_TRUE(waitFor(c.reports.back().second));
    EXPECT_EQ(host.notifications(), c.reports);
    EXPECT_EQ(server->requestCount(), c.requests);
    EXPECT_EQ(entriesOf(elsewhere), "keep.txt;");  // nothing written through the link
    destroy();
    EXPECT_NE(installLogText().find(c.line), std::string::npos) << installLogText();
    ::DeleteFileA(installLogPath().c_str());
    EXPECT_TRUE(removeUnixLink(link));
    server.reset();
  }
}

// A name the install writes, taken beforehand by another account: a hard
// link (a second name of its file elsewhere) or a symbolic link to a file
// elsewhere. The install never writes through either: a hard link's name
// is deleted and the file made fresh; a symbolic link, which Wine follows
// even when asked not to, leads elsewhere and fails the step.
TEST_F(LoaderLinks, ANameTakenByALinkToAFileElsewhereIsNeverWrittenThrough) {
  static const struct {
    const char* what;
    const char* name;  // in the game folder
    bool hardLink;
    States reports;
  } cases[] = {
      {"package, hard link", "game.pkg", true, {kDownloading, kCheck, kExtracting, kReady, kCreated, kStarted}},
      {"package, symbolic link", "game.pkg", false, {kDownloading, kDownloadFailed}},
      {"game module, hard link", "testgame.dll", true, {kDownloading, kCheck, kExtracting, kReady, kCreated, kStarted}},
      {"game module, symbolic link", "testgame.dll", false, {kDownloading, kCheck, kExtracting, kExtractFailed}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    destroy();
    host.clear();
    removeTree(partnerFolder());
    const std::string elsewhere = scratchDir("links_victim");
    writeFile(elsewhere + "victim", "victim");
    createFolderChain(gameFolder());
    const std::string name = gameFolder() + c.name;
    ASSERT_TRUE(c.hardLink ? makeUnixHardLink(name, elsewhere + "victim") : makeUnixLink(name, elsewhere + "victim"));
    startServer().enqueue(Response::file(fixture("game.pkg")));

    ASSERT_TRUE(create());
    ASSERT_TRUE(waitFor(c.reports.back().second));
    EXPECT_EQ(host.notifications(), c.reports);
    EXPECT_EQ(readFile(elsewhere + "victim"), "victim");  // neither cut nor overwritten
    EXPECT_EQ(entriesOf(elsewhere), "victim;");
    destroy();
    if (!c.hardLink) {
      EXPECT_TRUE(removeUnixLink(name));
    }
    server.reset();
  }
}

// Wine shows a Unix link to a file as a plain file, so the DLL's attribute
// query answers for it here: the installed game module, left by an earlier
// install, has become a link.
DWORD WINAPI attributesWithModuleLink(LPCSTR path) {
  const std::string name = path;
  const DWORD attributes = ::GetFileAttributesA(path);
  const std::string module = "\\testgame.dll";
  const bool isModule =
      name.size() >= module.size() && name.compare(name.size() - module.size(), module.size(), module) == 0;
  if (isModule && attributes != INVALID_FILE_ATTRIBUTES) return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes;
}

TEST_F(LoaderLinks, AMemberFileThatIsALinkIsNotWrittenThrough) {
  ImportPatch patch(library.module(), "kernel32.dll", "GetFileAttributesA",
                    reinterpret_cast<void*>(&attributesWithModuleLink));
  ASSERT_TRUE(patch.applied());
  createFolderChain(gameFolder());
  writeFile(gameFolder() + "testgame.dll", "left by an earlier install");
  startServer().enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_EXTRACT_GAME_FAILED"));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kCheck, kExtracting, kExtractFailed}));
  EXPECT_EQ(readFile(gameFolder() + "testgame.dll"), "left by an earlier install");
}

// Another process (here a thread of the test, whose mutex ownership the
// window thread does not share) holds the folder's machine-wide lock, as an
// install of a new version would.
class LockHolder {
 public:
  explicit LockHolder(const std::string& lockName) {
    thread_ = std::thread([this, lockName] {
      UniqueKernelHandle mutex(::CreateMutexA(nullptr, FALSE, lockName.c_str()));
      if (mutex && ::WaitForSingleObject(mutex.get(), 0) == WAIT_OBJECT_0) {
        held_ = true;
        ::SetEvent(ready_.get());
        ::WaitForSingleObject(release_.get(), INFINITE);
        ::ReleaseMutex(mutex.get());
      } else {
        ::SetEvent(ready_.get());
      }
    });
    ::WaitForSingleObject(ready_.get(), 10000);
  }
  ~LockHolder() { release(); }
  bool held() const { return held_; }
  void release() {
    ::SetEvent(release_.get());
    if (thread_.joinable()) thread_.join();
  }

 private:
  UniqueKernelHandle ready_{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  UniqueKernelHandle release_{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  bool held_ = false;
  std::thread thread_;
};

TEST_F(LoaderLinks, AnInstalledGameStartsOnlyWhileNoOneElseHoldsItsFolder) {
  createFolderChain(gameFolder());
  ::CopyFileA((binDir() + "games\\ok\\testgame.dll").c_str(), (gameFolder() + "testgame.dll").c_str(), FALSE);
  writeFile(gameFolder() + "_version.bin", "game.pkg");
  recordInstallByThisAccount(gameFolder(), "game.pkg");
  startServer();

  LockHolder other(gameFolderLockNameOf(gameFolder()));
  ASSERT_TRUE(other.held());
  ASSERT_TRUE(create());
  pumpFor(500);
  // The marker is not even looked at while the other holds the folder.
  EXPECT_EQ(host.notifications(), (States{kDownloading}));
  other.release();
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kReady, kCreated, kStarted}));
  EXPECT_EQ(server->requestCount(), 0u);
}

// Before the first install on a machine another account may make the maker
// folder itself ("Fyrel" in the shared data folder) a link: nothing of any
// install may land where it points. The shared data folder is a scratch
// folder here (the all-users shell folder, changed for this case alone).
class LoaderDataFolder : public LoaderTest {
 protected:
  LoaderDataFolder() : LoaderTest("127.21") {}
  void SetUp() override {
    dataFolder_ = scratchDir("links_data_folder");
    commonData_.setString(dataFolder_);
    LoaderTest::SetUp();
  }
  std::string dataFolder_;
  RegistryValueGuard commonData_{HKEY_LOCAL_MACHINE, kShellFoldersKey, "Common AppData"};
};

TEST_F(LoaderDataFolder, AMakerFolderThatIsALinkStopsTheInstallBeforeItWritesThere) {
  const std::string elsewhere = scratchDir("links_maker_elsewhere");
  ASSERT_TRUE(makeUnixLink(dataFolder_ + "Fyrel", elsewhere));
  ASSERT_EQ(partnerFolder().compare(0, dataFolder_.size(), dataFolder_), 0);
  startServer().enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor(kDownloadFailed.second));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kDownloadFailed}));
  EXPECT_EQ(server->requestCount(), 0u);
  destroy();
  EXPECT_EQ(entriesOf(elsewhere), "");  // not even the player folder
  EXPECT_TRUE(removeUnixLink(dataFolder_ + "Fyrel"));
}

// The shared data folder moves in the pause between two attempts: the
// restart can no longer hold the game folder and fails. The part the first
// attempt left open must go with the folder's hold, or no other start could
// continue or delete it for as long as the failed extension lives.
TEST_F(LoaderDataFolder, ARestartThatCannotHoldTheFolderLetsGoOfThePartWithIt) {
  const std::string package = gameFolder() + "game.pkg";
  const std::string moved = scratchDir("links_data_folder_moved");
  const std::string bytes = readFile(fixture("game.pkg"));
  startServer().enqueue(Response::file(fixture("game.pkg")).etag("\"v1\"").ranges().closeAfter(bytes.size() / 2));
  int downloads = 0;
  host.onNotify([&](const Pair& pair) {
    if (pair == kDownloading && ++downloads == 2) commonData_.setString(moved);
  });
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor(kDownloadFailed.second, 30000)) << host.lastStateName();
  host.onNotify(nullptr);
  commonData_.setString(dataFolder_);
  EXPECT_EQ(host.notifications(), (States{kDownloading, kDownloading, kDownloadFailed}));
  // Let go once the loader has given up (the step after the report).
  DWORD error = 0;
  EXPECT_TRUE(pumpUntil(
      [&] {
        UniqueFile other(::CreateFileA(package.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        error = other ? 0 : ::GetLastError();
        return static_cast<bool>(other);
      },
      3000))
      << error;
  destroy();
}

}  // namespace
}  // namespace fyrel::test
