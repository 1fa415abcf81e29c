// Folder resolution on the real registry of the test prefix, and folder
// creation on real disks.
#include "storage/player_folder.h"

#include <gtest/gtest.h>

#include <string>

#include "storage/folder_paths.h"
#include "storage/registry_guard.h"
#include "support/test_paths.h"

namespace fyrel {
namespace {

std::string tempFolder() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathA(sizeof buffer, buffer);
  return std::string(buffer, length);
}

bool isFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// nullptr: the value is absent.
struct ShellFolders {
  const char* common;
  const char* user;
};

class PlayerFolderTest : public testing::Test {
 protected:
  void apply(const ShellFolders& values) {
    applyOne(common_, values.common);
    applyOne(user_, values.user);
  }

 private:
  static void applyOne(test::RegistryValueGuard& guard, const char* value) {
    if (value == nullptr) {
      guard.remove();
    } else {
      guard.setString(value);
    }
  }

  test::RegistryValueGuard common_{HKEY_LOCAL_MACHINE, kShellFoldersKey, "Common AppData"};
  test::RegistryValueGuard user_{HKEY_CURRENT_USER, kShellFoldersKey, "AppData"};
};

TEST_F(PlayerFolderTest, PrefersAllUsersFolderThenUserFolderThenTemporaryFolder) {
  const std::string temp = tempFolder();
  ASSERT_FALSE(temp.empty());
  ASSERT_EQ(temp.back(), '\\');
  static const struct {
    const char* label;
    ShellFolders values;
    std::string makerFolder;  // empty: below the temporary folder
  } cases[] = {
      {"both present", {"D:\\Data", "E:\\Roaming"}, "D:\\Data\\Fyrel\\"},
      {"all-users folder empty", {"", "E:\\Roaming"}, "E:\\Roaming\\Fyrel\\"},
      {"all-users folder absent", {nullptr, "E:\\Roaming"}, "E:\\Roaming\\Fyrel\\"},
      {"all-users folder with trailing backslash", {"D:\\Data\\", "E:\\Roaming"}, "D:\\Data\\Fyrel\\"},
      {"both empty", {"", ""}, ""},
      {"both absent", {nullptr, nullptr}, ""},
      {"user folder only, empty", {nullptr, ""}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    apply(c.values);
    const std::string maker = c.makerFolder.empty() ? temp + "Fyrel\\" : c.makerFolder;
    EXPECT_EQ(resolveMakerFolder(), maker);
    EXPECT_EQ(resolvePlayerFolder(), maker + "FyrelGamesPlayer\\");
  }
}

TEST_F(PlayerFolderTest, ReadShellFolderKeepsTheOutputWhenTheValueCannotBeRead) {
  test::RegistryValueGuard value(HKEY_CURRENT_USER, kShellFoldersKey, "Fyrel Test Value");
  static const struct {
    const char* label;
    bool present;
    DWORD type;
    std::string bytes;
    std::string output;
  } cases[] = {
      {"absent", false, REG_SZ, "", "kept"},
      {"260 bytes fit", true, REG_SZ, std::string(259, 'x') + '\0', std::string(259, 'x')},
      {"261 bytes do not fit", true, REG_SZ, std::string(260, 'x') + '\0', "kept"},
      {"ends at the first NUL", true, REG_SZ, std::string("C:\\A\0B\0", 7), "C:\\A"},
      {"type not examined", true, REG_BINARY, "C:\\Bin", "C:\\Bin"},
      {"empty value", true, REG_SZ, std::string(1, '\0'), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.present) {
      value.set(c.type, c.bytes);
    } else {
      value.remove();
    }
    std::string output = "kept";
    readShellFolder(HKEY_CURRENT_USER, "Fyrel Test Value", output);
    EXPECT_EQ(output, c.output);
  }
  std::string output = "kept";
  readShellFolder(HKEY_CLASSES_ROOT, "AppData", output);  // no such key there
  EXPECT_EQ(output, "kept");
}

TEST(FolderChain, CreatesEveryLevelAndChangesNothingWhenRunAgain) {
  const std::string root = test::scratchDir("folder_chain");
  static const char* const paths[] = {"a\\b\\c\\d\\e\\", "x\\y\\z"};
  for (const char* relative : paths) {
    SCOPED_TRACE(relative);
    const std::string path = root + relative;
    createFolderChain(path);
    for (const std::string& level : folderChainLevels(path)) EXPECT_TRUE(isFolder(level)) << level;
    test::writeFile(path + "\\keep.txt", "kept");
    createFolderChain(path);
    EXPECT_EQ(test::readFile(path + "\\keep.txt"), "kept");
  }
}

}  // namespace
}  // namespace fyrel
