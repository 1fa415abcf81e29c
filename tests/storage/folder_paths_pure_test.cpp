// Path composition of the player's folders (plain standard C++).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/folder_paths.h"

namespace fyrel {
namespace {

TEST(FolderPaths, ComposesMakerAndPlayerFolders) {
  static const struct {
    const char* dataFolder;
    const char* maker;
    const char* player;
  } cases[] = {
      {"D:\\Data", "D:\\Data\\Fyrel\\", "D:\\Data\\Fyrel\\FyrelGamesPlayer\\"},
      {"D:\\Data\\", "D:\\Data\\Fyrel\\", "D:\\Data\\Fyrel\\FyrelGamesPlayer\\"},
      {"C:\\", "C:\\Fyrel\\", "C:\\Fyrel\\FyrelGamesPlayer\\"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dataFolder);
    EXPECT_EQ(makerFolderBelow(c.dataFolder), c.maker);
    EXPECT_EQ(playerFolderBelow(makerFolderBelow(c.dataFolder)), c.player);
  }
}

TEST(FolderPaths, ListsEveryLevelShallowestFirst) {
  static const struct {
    const char* path;
    std::vector<std::string> levels;
  } cases[] = {
      {"C:\\A\\B\\", {"C:", "C:\\A", "C:\\A\\B", "C:\\A\\B\\"}},
      {"C:\\A\\B", {"C:", "C:\\A", "C:\\A\\B"}},
      {"\\share\\game\\", {"", "\\share", "\\share\\game", "\\share\\game\\"}},
      {"game", {"game"}},
      {"", {""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(folderChainLevels(c.path), c.levels);
  }
}

TEST(FolderPaths, ListsTheLevelsFromTheTopFolderDown) {
  static const struct {
    const char* top;
    const char* folder;
    std::vector<std::string> levels;
  } cases[] = {
      {"C:\\P\\", "C:\\P\\acme\\game\\", {"C:\\P", "C:\\P\\acme", "C:\\P\\acme\\game"}},
      {"C:\\P", "c:\\p\\acme\\game", {"C:\\P", "c:\\p\\acme", "c:\\p\\acme\\game"}},
      {"C:\\P\\", "C:\\P\\", {"C:\\P"}},
      {"", "acme\\game\\", {"acme", "acme\\game"}},
      // Not below the top folder, or a level without a name: nothing.
      {"C:\\P\\", "C:\\Player\\acme\\", {}},
      {"C:\\P\\", "D:\\P\\acme\\", {}},
      {"C:\\P\\", "C:\\P\\acme\\\\game\\", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    EXPECT_EQ(folderLevelsFrom(c.top, c.folder), c.levels);
  }
}

}  // namespace
}  // namespace fyrel
