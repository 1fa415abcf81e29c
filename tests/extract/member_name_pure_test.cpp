#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/member_name.h"

namespace fyrel {
namespace {

TEST(MemberName, PassesPlainRelativeNamesAndRefusesNamesThatLeaveTheTargetFolder) {
  static const struct {
    const char* name;
    bool safe;
  } cases[] = {
      {"game.dll", true},
      {"data\\levels\\1.dat", true},
      {"data/levels/1.dat", true},
      {"..hidden\\x..y.dat", true},  // dots inside a name are fine
      {".config", true},
      {"a.b\\c..", true},
      {"..\\..\\x.dll", false},
      {"..", false},
      {"data\\..\\x.dll", false},
      {"data\\..", false},
      {"data/../../x.dll", false},
      {"../x.dll", false},
      {"\\x.dll", false},
      {"/x.dll", false},
      {"\\\\server\\share\\x.dll", false},
      {"C:\\x.dll", false},
      {"C:x.dll", false},
      {"x.txt:stream", false},
      {"...\\x.dll", false},
      {".. \\x.dll", false},
      {". .\\x.dll", false},
      {".\\x.dll", false},
      {"data\\\\x.dll", false},
      {"data\\", false},
      {"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isSafeMemberName(c.name), c.safe) << '"' << c.name << '"';
  }
  EXPECT_FALSE(isSafeMemberName(nullptr));
}

TEST(MemberName, RefusesDeviceNamesInAnyComponentWithOrWithoutExtension) {
  static const struct {
    const char* name;
    bool safe;
  } cases[] = {
      {"CON", false},           {"nul", false},
      {"nul.txt", false},       {"NUL.tar.gz", false},
      {"aux", false},           {"Prn.dat", false},
      {"com1", false},          {"COM9.log", false},
      {"lpt1", false},          {"LPT9", false},
      {"com0", false},          {"lpt\xB9", false},  // superscript one, code page 1252
      {"com1 .log", false},                          // blanks before the dot are dropped
      {"nul ", false},          {"nul.", false},
      {"conin$", false},        {"CONOUT$.txt", false},
      {"data\\nul", false},     {"data\\con.txt", false},
      {"data/aux.dat", false},  {"nul\\x.dat", false},  // a device as a folder level
      {"console.txt", true},    {"nullable.dat", true},
      {"com10", true},          {"lpt", true},
      {"comx", true},           {"auxiliary\\prn_.dat", true},
      {"my.con", true},  // only the part before the first dot counts
      {"data\\null.dat", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isSafeMemberName(c.name), c.safe) << '"' << c.name << '"';
  }
}

TEST(MemberName, RefusesReservedNamesAtTheTopInAnyCase) {
  const std::vector<std::string> reserved = {"_version.bin", "game.pkg"};
  static const struct {
    const char* name;
    bool safe;
  } cases[] = {
      {"_version.bin", false},      {"_VERSION.BIN", false}, {"_Version.Bin", false},
      {"_version.bin.", false},  // Windows drops trailing dots and blanks
      {"_version.bin ", false},     {"game.pkg", false},     {"GAME.PKG", false},
      {"data\\_version.bin", true},  // only the folder's own files are kept
      {"_version.bin\\x", false},    // a folder where the marker goes
      {"_VERSION.BIN./x", false},   {"game.pkg\\x", false},  {"data/game.pkg", true},
      {"_version.bin2", true},      {"x_version.bin", true}, {"game.pkg.txt", true},
      {"testgame.dll", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isSafeMemberName(c.name, reserved), c.safe) << '"' << c.name << '"';
  }
  EXPECT_TRUE(isSafeMemberName("_version.bin"));  // nothing reserved
  EXPECT_TRUE(isSafeMemberName("x.dat", {""}));
}

TEST(MemberName, PathUsesBackslashesForEitherSeparator) {
  EXPECT_EQ(memberPath("data/levels/1.dat"), "data\\levels\\1.dat");
  EXPECT_EQ(memberPath("data\\levels/1.dat"), "data\\levels\\1.dat");
  EXPECT_EQ(memberPath("game.dll"), "game.dll");
}

}  // namespace
}  // namespace fyrel
