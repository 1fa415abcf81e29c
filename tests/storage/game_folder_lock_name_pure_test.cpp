// The lock name of a game folder (no Windows header: also runs natively).
#include <gtest/gtest.h>

#include "storage/game_folder_lock_name.h"

namespace fyrel {
namespace {

// The caller folds letter case (the file system's way, on the platform);
// separators are this name's own business.
TEST(GameFolderLockName, OneNamePerFolderWhateverItsSeparators) {
  const std::string name = gameFolderLockName(u"C:\\DATA\\FYREL\\FYRELGAMESPLAYER\\\u00C9DITIONS\\PUZZLE\\");
  static const struct {
    const char16_t* folder;
    bool same;
  } cases[] = {
      {u"C:/DATA/FYREL/FYRELGAMESPLAYER/\u00C9DITIONS/PUZZLE/", true},
      {u"C:\\DATA\\FYREL\\FYRELGAMESPLAYER\\\u00C9DITIONS\\PUZZLE", true},
      {u"C:\\DATA\\FYREL\\FYRELGAMESPLAYER\\\u00C9DITIONS\\PUZZLE\\\\", true},
      {u"C:\\DATA\\FYREL\\FYRELGAMESPLAYER\\EDITIONS\\PUZZLE\\", false},
      {u"C:\\DATA\\FYREL\\FYRELGAMESPLAYER\\\u00C9DITIONS\\PUZZLE\\EN-US\\", false},
      {u"C:\\DATA\\FYREL\\FYRELGAMESPLAYER\\\u00C9DITIONS\\PUZZLE2\\", false},
      {u"D:\\DATA\\FYREL\\FYRELGAMESPLAYER\\\u00C9DITIONS\\PUZZLE\\", false},
      // Code units differing in their high byte alone.
      {u"C:\\DATA\\FYREL\\FYRELGAMESPLAYER\\\u01C9DITIONS\\PUZZLE\\", false},
  };
  for (const auto& c : cases) EXPECT_EQ(gameFolderLockName(c.folder) == name, c.same);
}

TEST(GameFolderLockName, IsAShortMachineWideNameWithoutPathSeparators) {
  // Kernel object names may not hold "\\" past the namespace prefix and are
  // limited to MAX_PATH characters, however long the folder is. Global:
  // every logon session installs into the same all-users folder.
  for (const std::u16string& folder : {std::u16string(u"C:\\A\\"), std::u16string(5000, u'X')}) {
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
