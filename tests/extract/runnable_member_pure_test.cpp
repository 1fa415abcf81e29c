#include <gtest/gtest.h>

#include <cstring>

#include "extract/runnable_member.h"

namespace fyrel {
namespace {

TEST(RunnableMember, TellsProgramsByNameAndProgramImagesByTheirFirstBytes) {
  static const struct {
    const char* name;
    const char* head;
    bool runnable;
  } cases[] = {
      {"game.dll", "", true},        {"GAME.DLL", "xx", true},  {"bin\\helper.Exe", "", true},
      {"game.dll. . ", "", true},  // Windows drops the trailing dots and blanks
      {"level.dat", "MZ", true},   // a program image under any name
      {"level.dat", "MZ\x90", true}, {"level.dat", "M", false}, {"level.dat", "ZM", false},
      {"level.dat", "", false},      {"dll", "", false},        {"game.dll.txt", "", false},
      {"game_dll", "", false},       {"", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto* head = reinterpret_cast<const unsigned char*>(c.head);
    EXPECT_EQ(isRunnableMember(c.name, head, std::strlen(c.head)), c.runnable);
  }
}

}  // namespace
}  // namespace fyrel
