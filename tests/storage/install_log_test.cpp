// The account's install log on real files of the test prefix: where it
// lives, how it stays small, and that a link never carries it elsewhere.
// The links are Unix symbolic links in the prefix, which Wine shows as
// reparse points.
#include "storage/install_log.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "storage/folder_paths.h"
#include "storage/install_log_text.h"
#include "storage/registry_guard.h"
#include "support/test_paths.h"
#include "support/unix_link.h"

namespace fyrel {
namespace {

class InstallLogTest : public testing::Test {
 protected:
  // The account's local application data folder, pointed at a scratch
  // folder for the test.
  std::string useLocalData(const char* name) {
    const std::string folder = test::scratchDir(name);
    localData_.setString(folder.substr(0, folder.size() - 1));
    return folder;
  }

  test::RegistryValueGuard localData_{HKEY_CURRENT_USER, kShellFoldersKey, "Local AppData"};
};

TEST_F(InstallLogTest, AppendsTimedEntriesToTheAccountsOwnFolder) {
  const std::string local = useLocalData("install_log_place");
  InstallLog log;
  ASSERT_TRUE(log.open("acme", "paddle", "1f.2"));
  EXPECT_EQ(log.path(), local + "Fyrel\\FyrelGamesPlayer\\logs\\acme-paddle.log");
  log.write("FyrelExtension: first\n");
  log.write("FyrelExtension: second\n");

  const std::string text = test::readFile(log.path());
  // "YYYY-MM-DD hh:mm:ss.mmm [instance] line\r\n", oldest first.
  ASSERT_EQ(text.size(), 2 * (23 + 8 + std::string("FyrelExtension: first\r\n").size()) + 1) << text;
  EXPECT_EQ(text.substr(23, 7), " [1f.2]");
  EXPECT_NE(text.find("] FyrelExtension: first\r\n"), std::string::npos);
  EXPECT_LT(text.find("first"), text.find("second"));
}

TEST_F(InstallLogTest, StaysBelowItsBoundByDroppingTheOldestHalf) {
  useLocalData("install_log_bound");
  InstallLog log;
  ASSERT_TRUE(log.open("acme", "paddle", "1"));
  const std::string filler(400, 'x');
  std::size_t largest = 0;
  for (int i = 0; i < 1000; ++i) {  // about 430 KB in all
    log.write("FyrelExtension: line " + std::to_string(i) + " " + filler + "\n");
    largest = std::max(largest, test::readFile(log.path()).size());
  }
  EXPECT_LT(largest, kMaxInstallLogBytes);
  const std::string text = test::readFile(log.path());
  EXPECT_GT(text.size(), kMaxInstallLogBytes / 4);
  EXPECT_EQ(text.find("line 0 "), std::string::npos);
  EXPECT_NE(text.find("line 999 "), std::string::npos);
  // Whole entries only: the first starts as every entry does.
  EXPECT_EQ(text.substr(4, 1), "-");
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST_F(InstallLogTest, ALinkOnTheWayOrInPlaceOfTheFileIsNeverFollowed) {
  static const struct {
    const char* what;
    const char* plainLevels[3];  // made below the local data folder first
    const char* link;            // then this, a link to a folder elsewhere
  } folderCases[] = {
      {"maker folder", {nullptr, nullptr, nullptr}, "Fyrel"},
      {"player folder", {"Fyrel", nullptr, nullptr}, "Fyrel\\FyrelGamesPlayer"},
      {"logs folder", {"Fyrel", "Fyrel\\FyrelGamesPlayer", nullptr}, "Fyrel\\FyrelGamesPlayer\\logs"},
  };
  for (const auto& c : folderCases) {
    SCOPED_TRACE(c.what);
    const std::string local = useLocalData("install_log_link");
    const std::string elsewhere = test::scratchDir("install_log_elsewhere");
    for (const char* level : c.plainLevels) {
      if (level != nullptr) {
        ASSERT_TRUE(::CreateDirectoryA((local + level).c_str(), nullptr));
      }
    }
    ASSERT_TRUE(test::makeUnixLink(local + c.link, elsewhere));
    InstallLog log;
    EXPECT_FALSE(log.open("acme", "paddle", "1"));
    log.write("FyrelExtension: nowhere\n");
    EXPECT_EQ(test::entriesOf(elsewhere), "");
    ASSERT_TRUE(test::removeUnixLink(local + c.link));
  }

  // The file itself a link to another file: left as it was.
  const std::string local = useLocalData("install_log_file_link");
  const std::string elsewhere = test::scratchDir("install_log_elsewhere");
  test::writeFile(elsewhere + "victim.txt", "untouched");
  InstallLog log;
  ASSERT_TRUE(log.open("acme", "paddle", "1"));
  ASSERT_TRUE(test::makeUnixLink(log.path(), elsewhere + "victim.txt"));
  log.write("FyrelExtension: through a link\n");
  EXPECT_EQ(test::readFile(elsewhere + "victim.txt"), "untouched");
  ASSERT_TRUE(test::removeUnixLink(log.path()));
}

TEST_F(InstallLogTest, WithoutAKnownFolderNothingIsWrittenAndNothingFails) {
  localData_.remove();
  InstallLog log;
  EXPECT_FALSE(log.open("acme", "paddle", "1"));
  EXPECT_EQ(log.path(), "");
  log.write("FyrelExtension: only in the debug channel\n");
}

}  // namespace
}  // namespace fyrel
