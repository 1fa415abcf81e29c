#include <gtest/gtest.h>

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

}  // namespace
}  // namespace fyrel
