// The lock name of a game folder (no Windows header: also runs natively).
#include <gtest/gtest.h>

#include "storage/game_folder_lock_name.h"

namespace fyrel {
namespace {

TEST(GameFolderLockName, OneNamePerFolderWhateverItsSpelling) {
  const std::string name = gameFolderLockName("C:\\Data\\Fyrel\\FyrelGamesPlayer\\acme\\puzzle\\");
  static const struct {
    const char* folder;
    bool same;
  } cases[] = {
      {"c:\\data\\fyrel\\fyrelgamesplayer\\ACME\\Puzzle\\", true},
      {"C:/Data/Fyrel/FyrelGamesPlayer/acme/puzzle/", true},
      {"C:\\Data\\Fyrel\\FyrelGamesPlayer\\acme\\puzzle", true},
      {"C:\\Data\\Fyrel\\FyrelGamesPlayer\\acme\\puzzle\\en-us\\", false},
      {"C:\\Data\\Fyrel\\FyrelGamesPlayer\\acme\\puzzle2\\", false},
      {"D:\\Data\\Fyrel\\FyrelGamesPlayer\\acme\\puzzle\\", false},
  };
  for (const auto& c : cases) EXPECT_EQ(gameFolderLockName(c.folder) == name, c.same) << c.folder;
}

TEST(GameFolderLockName, IsAShortMachineWideNameWithoutPathSeparators) {
  // Kernel object names may not hold "\\" past the namespace prefix and are
  // limited to MAX_PATH characters, however long the folder is. Global:
  // every logon session installs into the same all-users folder.
  for (const std::string& folder : {std::string("C:\\a\\"), std::string(5000, 'x')}) {
    const std::string name = gameFolderLockName(folder);
    EXPECT_EQ(name.rfind("Global\\FyrelGameFolder-", 0), 0u) << name;
    EXPECT_EQ(name.find('\\', 7), std::string::npos) << name;
    EXPECT_EQ(name.size(), 39u) << name;
    // The fallback where no machine-wide object can be made: same hash.
    EXPECT_EQ(sessionLockName(name), "Local\\" + name.substr(7));
  }
}

}  // namespace
}  // namespace fyrel
