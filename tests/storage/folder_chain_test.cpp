// Holding the levels of a game folder: a link at any level stops everything
// before anything is made through it. The links are real: Unix symbolic
// links in the prefix, which Wine shows as reparse points.
#include "storage/folder_chain.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "common/unique_handle.h"
#include "storage/folder_access.h"
#include "support/test_paths.h"
#include "support/unix_link.h"

namespace fyrel {
namespace {

TEST(HeldFolderChain, RefusesALinkAtAnyLevelAndMakesNothingThroughIt) {
  static const struct {
    const char* what;
    const char* realLevels[2];  // made as plain folders below the root first
    const char* link;           // then this one, a link to the other folder
  } cases[] = {
      {"player folder", {nullptr, nullptr}, "player"},
      {"partner folder", {"player", nullptr}, "player\\acme"},
      {"game folder", {"player", "player\\acme"}, "player\\acme\\game"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string root = test::scratchDir("folder_chain_link");
    const std::string elsewhere = test::scratchDir("folder_chain_elsewhere");
    test::writeFile(elsewhere + "keep.txt", "k");
    for (const char* level : c.realLevels) {
      if (level != nullptr) {
        ASSERT_TRUE(::CreateDirectoryA((root + level).c_str(), nullptr));
      }
    }
    ASSERT_TRUE(test::makeUnixLink(root + c.link, elsewhere));
    ASSERT_TRUE(isReparsePoint(root + c.link));

    HeldFolderChain chain;
    EXPECT_FALSE(chain.open(root + "player\\", root + "player\\acme\\game\\"));
    EXPECT_FALSE(chain.held());
    EXPECT_EQ(chain.deepest(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(test::entriesOf(elsewhere), "keep.txt;");  // no level made through the link

    EXPECT_TRUE(test::removeUnixLink(root + c.link));
    EXPECT_EQ(test::readFile(elsewhere + "keep.txt"), "k");
  }
}

TEST(HeldFolderChain, MakesAndHoldsEveryLevelOfAPlainFolder) {
  const std::string root = test::scratchDir("folder_chain_plain");
  const std::string folder = root + "player\\acme\\game\\";
  HeldFolderChain chain;
  ASSERT_TRUE(chain.open(root + "player\\", folder));
  EXPECT_TRUE(chain.held());
  for (const char* level : {"player", "player\\acme", "player\\acme\\game"}) {
    const DWORD attributes = ::GetFileAttributesA((root + level).c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << level;
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u) << level;
  }
  // The deepest handle may change the folder's access list.
  EXPECT_TRUE(grantFolderAccess(chain.deepest()));
  // Nobody opens a held level for writing (which turning it into a mount
  // point in place takes) or deleting, while another install that holds
  // the same levels gets in.
  for (const char* level : {"player", "player\\acme", "player\\acme\\game"}) {
    SCOPED_TRACE(level);
    const std::string path = root + level;
    constexpr DWORD kAnySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    for (DWORD access : {DWORD{GENERIC_WRITE}, DWORD{FILE_ADD_FILE}, DWORD{DELETE}}) {
      UniqueFile other(::CreateFileA(path.c_str(), access, kAnySharing, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      EXPECT_FALSE(other) << access;
      EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << access;
    }
  }
  HeldFolderChain second;
  EXPECT_TRUE(second.open(root + "player\\", folder));
  EXPECT_TRUE(second.deepestPath() == chain.deepestPath());
  second.close();
  // Windows also refuses to rename a held level (no delete sharing); Wine
  // renames it all the same, so that cannot be shown here.
  chain.close();
  EXPECT_FALSE(chain.held());

  // A game folder outside the top folder is not for this chain.
  EXPECT_FALSE(chain.open(root + "player\\", root + "other\\game\\"));
}

}  // namespace
}  // namespace fyrel
