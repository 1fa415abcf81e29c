// The timer step when something inside it throws: the loader, linked into
// this executable, on a real window, with a real game module.
#include <gtest/gtest.h>

#include <new>

#include "extension/failing_allocation.h"
#include "extension/game_loader_extension.h"
#include "storage/player_folder.h"
#include "support/installed_by_this_account.h"
#include "support/test_host.h"
#include "support/test_paths.h"
#include "support/test_window.h"

namespace fyrel {
namespace {

TEST(TimerStep, AStepThatRunsOutOfMemoryDoesNotStopTheLaterSteps) {
  const std::string partner = resolvePlayerFolder() + "e2e_TimerStepOutOfMemory\\";
  const std::string folder = partner + "testgame\\";
  test::removeTree(partner);
  createFolderChain(folder);
  ::CopyFileA((test::binDir() + "games\\ok\\testgame.dll").c_str(), (folder + "testgame.dll").c_str(), FALSE);
  test::writeFile(folder + "_version.bin", "game.pkg");
  test::recordInstallByThisAccount(folder, "game.pkg");
  {
    test::TestWindow window;
    test::TestHost host;
    host.set("gamename", "testgame");
    host.set("partnername", "e2e_TimerStepOutOfMemory");
    host.set("gamecab", "http://127.0.0.51/games/game.pkg");
    GameLoaderExtension extension;
    extension.host = &host;
    ASSERT_TRUE(extension.Create(window.hwnd(), 0, ::GetModuleHandleA(nullptr)));
    // The installed game is checked off the window thread and reported
    // ready on a later step; the step after that loads the game.
    LRESULT result = 0;
    ASSERT_TRUE(test::pumpUntil(
        [&] {
          extension.ProcessMsg(WM_TIMER, 0, 0, &result);
          return extension.state() == LoaderState::GameReady;
        },
        20000));

    test::failNextAllocationOnThisThread();  // the game module's path, in that step
    EXPECT_THROW(extension.ProcessMsg(WM_TIMER, 0, 0, &result), std::bad_alloc);
    EXPECT_EQ(extension.state(), LoaderState::GameReady);
    extension.ProcessMsg(WM_TIMER, 0, 0, &result);
    EXPECT_EQ(extension.state(), LoaderState::GameCreated);
  }
  test::removeTree(partner);
}

}  // namespace
}  // namespace fyrel
