#include <gtest/gtest.h>

#include "extract/extract_paths.h"

namespace fyrel {
namespace {

TEST(ExtractPaths, SplitsTheCabinetPathAtItsLastBackslashOnly) {
  static const struct {
    const char* path;
    const char* folder;
    const char* name;
  } cases[] = {
      {"C:\\games\\x\\pack.cab", "C:\\games\\x\\", "pack.cab"},
      {"pack.cab", "", "pack.cab"},
      {"games/x/pack.cab", "", "games/x/pack.cab"},
      {"C:\\games/x/pack.cab", "C:\\", "games/x/pack.cab"},
      {"\\pack.cab", "\\", "pack.cab"},
      {"C:\\games\\", "C:\\games\\", ""},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    CabinetLocation location = splitCabinetPath(c.path);
    EXPECT_EQ(location.folder, c.folder) << c.path;
    EXPECT_EQ(location.name, c.name) << c.path;
  }
}

TEST(ExtractPaths, FolderGetsOneTrailingBackslashUnlessEmpty) {
  static const struct {
    const char* folder;
    const char* expected;
  } cases[] = {
      {"C:\\games\\x", "C:\\games\\x\\"},
      {"C:\\games\\x\\", "C:\\games\\x\\"},
      {"C:\\games/x/", "C:\\games/x/\\"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(asFolderPath(c.folder), c.expected) << c.folder;
}

TEST(ExtractPaths, EnclosingFoldersAreEveryPrefixBeforeABackslashOutermostFirst) {
  EXPECT_EQ(enclosingFolders("C:\\games\\x\\data\\levels\\1.dat"),
            (std::vector<std::string>{"C:", "C:\\games", "C:\\games\\x", "C:\\games\\x\\data",
                                      "C:\\games\\x\\data\\levels"}));
  EXPECT_EQ(enclosingFolders("data\\1.dat"), (std::vector<std::string>{"data"}));
  EXPECT_TRUE(enclosingFolders("1.dat").empty());
  EXPECT_TRUE(enclosingFolders("data/levels/1.dat").empty());
}

}  // namespace
}  // namespace fyrel
