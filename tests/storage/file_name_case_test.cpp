// Letter case as the file system folds it, beyond A to Z: "É" and "é" are
// one letter in a name. Spelt in code page 1252 (the test entry with a
// "CodePage1252." prefix sets the locale Wine takes it from, and
// FYREL_EXPECT_ACP, so that it fails rather than skips where the code page
// did not change); skipped under another code page.
#include "storage/file_name_case.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extension/startup_parameters_logic.h"
#include "extract/member_name.h"
#include "storage/game_folder_lock.h"

namespace fyrel {
namespace {

bool inCodePage1252() {
  char expected[16] = {};
  if (::GetEnvironmentVariableA("FYREL_EXPECT_ACP", expected, sizeof expected) != 0) {
    EXPECT_EQ(std::to_string(::GetACP()), expected);
  }
  return ::GetACP() == 1252;
}

bool same(const std::string& a, const std::string& b) {
  return sameAnsiFileName(a.data(), a.size(), b.data(), b.size());
}

TEST(FileNameCase, FoldsLettersBeyondAToZAsTheFileSystemDoes) {
  if (!inCodePage1252()) GTEST_SKIP() << "code page " << ::GetACP() << ", not 1252";
  static const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"\xC9t\xE9.dll", "\xE9t\xE9.dll", true},  // Été.dll, été.dll
      {"\xC9"
       "ditions",
       "\xE9"
       "DITIONS",
       true},  // Éditions, éDITIONS
      {"\xD1"
       "and\xFA",
       "\xF1"
       "AND\xDA",
       true},                               // Ñandú, ñANDÚ
      {"\xE9t\xE9.dll", "ete.dll", false},  // no accent is another name
      {"\xE9t\xE9.dll", "\xE9t\xE9.dl", false},
      {"", "", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(same(c.a, c.b), c.same) << c.a << " / " << c.b;
  }
  EXPECT_TRUE(fileSystemUpperCase(std::string("\xE9"
                                              "ditions")) == fileSystemUpperCase(std::string("\xC9"
                                                                                             "DITIONS")));
}

TEST(FileNameCase, OneFolderSpeltInEitherCaseTakesOneInstallLock) {
  if (!inCodePage1252()) GTEST_SKIP() << "code page " << ::GetACP() << ", not 1252";
  const std::string upper =
      "C:\\users\\Public\\Fyrel\\FyrelGamesPlayer\\\xC9"
      "ditions\\paddle\\";
  const std::string lower =
      "C:\\users\\Public\\Fyrel\\FyrelGamesPlayer\\\xE9"
      "ditions\\paddle\\";
  EXPECT_EQ(gameFolderLockNameOf(upper), gameFolderLockNameOf(lower));
  EXPECT_NE(gameFolderLockNameOf(upper),
            gameFolderLockNameOf("C:\\users\\Public\\Fyrel\\FyrelGamesPlayer\\editions\\paddle\\"));
  GameFolderLock first;
  GameFolderLock second;
  first.open(upper);
  second.open(lower);
  ASSERT_TRUE(first.tryAcquire());
  EXPECT_FALSE(second.tryAcquire());
  first.release();
  EXPECT_TRUE(second.tryAcquire());
}

// The checks of names the game folder keeps for itself, given the file
// system's folding as the product gives it: the package may not be game
// "été"'s module spelt "Été.dll", and no member may take the package's or
// the marker's name in another case.
TEST(FileNameCase, ReservedNamesAreRefusedInEitherCase) {
  if (!inCodePage1252()) GTEST_SKIP() << "code page " << ::GetACP() << ", not 1252";
  EXPECT_TRUE(packageFileNameTakesReservedName("\xC9t\xE9.dll", "\xE9t\xE9", sameAnsiFileName));
  EXPECT_TRUE(packageFileNameTakesReservedName("\xC9T\xC9.DLL.", "\xE9t\xE9", sameAnsiFileName));
  EXPECT_FALSE(packageFileNameTakesReservedName("ete.dll", "\xE9t\xE9", sameAnsiFileName));
  const std::vector<std::string> reserved = {"_version.bin", "\xE9t\xE9.pkg"};
  EXPECT_FALSE(isSafeMemberName("\xC9T\xC9.PKG", reserved, sameAnsiFileName));
  EXPECT_FALSE(isSafeMemberName("\xC9t\xE9.pkg\\x", reserved, sameAnsiFileName));
  EXPECT_TRUE(isSafeMemberName("ete.pkg", reserved, sameAnsiFileName));
}

}  // namespace
}  // namespace fyrel
