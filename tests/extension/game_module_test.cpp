// Loading, binding, creating, starting and releasing a game module, with
// real test game DLLs built in several variants.
#include <gtest/gtest.h>

#include <map>

#include "extension/game_loader_extension.h"
#include "screen/progress_screen.h"
#include "support/game_call_log.h"
#include "support/import_patch.h"
#include "support/test_host.h"
#include "support/test_paths.h"
#include "support/test_window.h"

namespace fyrel {
namespace {

std::string currentFolder() {
  char buffer[MAX_PATH] = {};
  ::GetCurrentDirectoryA(MAX_PATH, buffer);
  return buffer;
}

std::string gameVariantFolder(const std::string& variant) { return test::binDir() + "games\\" + variant + "\\"; }

// A game folder of its own holding a copy of one test game variant.
std::string installVariant(const std::string& variant, const std::string& scratchName) {
  std::string folder = test::scratchDir(scratchName);
  ::CopyFileA((gameVariantFolder(variant) + "testgame.dll").c_str(), (folder + "testgame.dll").c_str(), FALSE);
  return folder;
}

class GameModule : public ::testing::Test {
 protected:
  void SetUp() override {
    savedFolder = currentFolder();
    test::clearGameCalls();
  }
  void TearDown() override {
    extension.reset();
    ::SetCurrentDirectoryA(savedFolder.c_str());
  }

  // Develop mode: the game is taken from folder, no download.
  void create(const std::string& folder) {
    extension.reset();
    host.clear();
    host.set("gamename", "testgame");
    host.set("partnername", "acme");
    host.set("developdir", folder);
    host.set("gamewidth", "320");
    host.set("gameheight", "200");
    extension = std::make_unique<GameLoaderExtension>();
    extension->host = &host;
    ASSERT_TRUE(extension->Create(window.hwnd(), 0, ::GetModuleHandleA(nullptr)));
    host.clear();
  }
  std::string errorText() const { return extension->screen()->caption(); }

  std::string savedFolder;
  test::TestWindow window;
  test::TestHost host;
  std::unique_ptr<GameLoaderExtension> extension;
};

TEST_F(GameModule, LoadsCreatesStartsAndReleasesTheGameFromItsFolder) {
  const std::string folder = installVariant("ok", "game_happy");
  create(folder);
  ASSERT_TRUE(extension->loadGameModule());

  std::string folderWithoutSlash = folder.substr(0, folder.size() - 1);
  char expected[512];
  std::snprintf(expected, sizeof expected, "Create ext=%p window=%p folder=%s size=320x200 cwd=%s",
                static_cast<void*>(static_cast<Generic::GenericExtension*>(extension.get())),
                static_cast<void*>(window.hwnd()), folder.c_str(), folderWithoutSlash.c_str());
  EXPECT_EQ(test::gameCalls(), (std::vector<std::string>{expected}));
  EXPECT_EQ(host.notifications(), (std::vector<test::Pair>{{"FE_STATE", "STATE_GAME_CREATE_SUCCEEDED"}}));
  EXPECT_EQ(extension->state(), LoaderState::GameCreated);
  EXPECT_NE(extension->gameModule(), nullptr);

  ASSERT_TRUE(extension->startLoadedGame());
  EXPECT_EQ(host.notifications().back(), (test::Pair{"FE_STATE", "STATE_GAME_STARTED"}));
  // Develop mode has no package name: the marker is written empty.
  EXPECT_TRUE(test::fileExists(folder + "_version.bin"));
  EXPECT_EQ(test::readFile(folder + "_version.bin"), "");

  extension->releaseGameModule();
  EXPECT_EQ(test::gameCalls().back(), "Release");
  EXPECT_EQ(::GetModuleHandleA((folder + "testgame.dll").c_str()), nullptr);
  extension->releaseGameModule();  // nothing left to release
  EXPECT_EQ(test::gameCalls().size(), 3u);
}

TEST_F(GameModule, ReportsOnlyTheFirstMissingEntryPointInBindingOrder) {
  static const struct {
    const char* variant;
    const char* message;
  } cases[] = {
      {"no_release", "ERROR: FAILED TO BIND THE RELEASE FUNCTION"},
      {"no_message", "ERROR: FAILED TO BIND THE MESSAGE FUNCTION"},
      {"no_notification", "ERROR: FAILED TO BIND THE NOTIFICATION FUNCTION"},
      {"no_start", "ERROR: FAILED TO BIND THE START FUNCTION"},
      {"no_create", "ERROR: FAILED TO BIND THE CREATE FUNCTION"},
      {"no_message_start_create", "ERROR: FAILED TO BIND THE MESSAGE FUNCTION"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.variant);
    test::clearGameCalls();
    create(gameVariantFolder(c.variant));
    EXPECT_FALSE(extension->loadGameModule());
    EXPECT_EQ(host.notifications(), (std::vector<test::Pair>{{"FE_ERROR", "STATE_GAME_CREATE_FAILED"}}));
    EXPECT_EQ(errorText(), c.message);
    EXPECT_TRUE(test::gameCalls().empty());       // the game was never created
    EXPECT_NE(extension->gameModule(), nullptr);  // stays loaded until released
  }
}

TEST_F(GameModule, NullInstanceIsNeverReleasedButItsLibraryIsUnloaded) {
  create(gameVariantFolder("create_null"));
  EXPECT_FALSE(extension->loadGameModule());
  EXPECT_EQ(errorText(), "ERROR: FAILED TO CREATE A GAME INSTANCE");
  extension->releaseGameModule();
  EXPECT_EQ(test::gameCalls().size(), 1u);  // Create only, no Release
  EXPECT_EQ(extension->gameModule(), nullptr);
  EXPECT_EQ(::GetModuleHandleA((gameVariantFolder("create_null") + "testgame.dll").c_str()), nullptr);
}

TEST_F(GameModule, FailedStartReportsAndWritesNoMarker) {
  const std::string folder = installVariant("start_false", "game_start_false");
  create(folder);
  ASSERT_TRUE(extension->loadGameModule());
  EXPECT_FALSE(extension->startLoadedGame());
  EXPECT_EQ(host.notifications().back(), (test::Pair{"FE_ERROR", "STATE_GAME_START_FAILED"}));
  EXPECT_EQ(errorText(), "ERROR: FAILED TO START THE GAME");
  EXPECT_FALSE(test::fileExists(folder + "_version.bin"));
}

TEST_F(GameModule, MissingLibraryFailsToLoadAndTheTickDeletesTheMarker) {
  const std::string folder = test::scratchDir("game_missing");
  test::writeFile(folder + "_version.bin", "old.cab");
  create(folder);
  extension->onTimerTick();  // state 5: load, fail, delete the marker
  EXPECT_EQ(host.notifications(), (std::vector<test::Pair>{{"FE_ERROR", "STATE_GAME_CREATE_FAILED"}}));
  EXPECT_EQ(errorText(), "ERROR: FAILED TO LOAD THE GAME DLL");
  EXPECT_FALSE(test::fileExists(folder + "_version.bin"));
  extension->onTimerTick();  // state 16: nothing more
  EXPECT_EQ(host.notifications().size(), 1u);
}

// Wine has no 24-bit display mode: the display query is answered through a
// patch of this executable's import of EnumDisplaySettingsA.
int fakeDepth = 24;
BOOL WINAPI fakeEnumDisplaySettings(LPCSTR, DWORD, DEVMODEA* mode) {
  if (fakeDepth == 0) return FALSE;  // mode unreadable
  mode->dmBitsPerPel = static_cast<DWORD>(fakeDepth);
  return TRUE;
}

TEST_F(GameModule, RefusesA24BitDisplayBeforeTouchingFolderOrLibrary) {
  const std::string folder = installVariant("ok", "game_24bit");
  test::writeFile(folder + "_version.bin", "x");
  create(folder);
  fakeDepth = 24;
  test::ImportPatch patch(::GetModuleHandleA(nullptr), "user32.dll", "EnumDisplaySettingsA",
                          reinterpret_cast<void*>(&fakeEnumDisplaySettings));
  ASSERT_TRUE(patch.applied());
  const std::string before = currentFolder();
  extension->onTimerTick();
  EXPECT_EQ(host.notifications(), (std::vector<test::Pair>{{"wrongBitDepth", "STATE_WRONG_BITH_DEPTH"}}));
  EXPECT_EQ(errorText(), "ERROR: Wrong bit Depth");
  EXPECT_EQ(currentFolder(), before);
  EXPECT_EQ(extension->gameModule(), nullptr);
  EXPECT_TRUE(test::gameCalls().empty());
  EXPECT_FALSE(test::fileExists(folder + "_version.bin"));
}

TEST_F(GameModule, OtherDepthsAndAnUnreadableModeLetTheGameLoad) {
  const std::string folder = installVariant("ok", "game_depths");
  test::ImportPatch patch(::GetModuleHandleA(nullptr), "user32.dll", "EnumDisplaySettingsA",
                          reinterpret_cast<void*>(&fakeEnumDisplaySettings));
  for (int depth : {8, 16, 32, 0}) {
    SCOPED_TRACE(depth);
    fakeDepth = depth;
    create(folder);
    EXPECT_TRUE(extension->loadGameModule());
  }
}

}  // namespace
}  // namespace fyrel
