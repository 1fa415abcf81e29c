// The door into the shared folder: what another account can leave under a
// name the loader is about to use. The links are real: Unix hard links
// (Wine shows their count) and symbolic links (Wine follows one to a file
// even when asked not to, and its final path shows where it led).
#include "storage/checked_file.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "support/test_paths.h"
#include "support/unix_link.h"

namespace fyrel {
namespace {

std::string contentOf(HANDLE file) {
  std::string bytes(64, '\0');
  DWORD read = 0;
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
      !::ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr))
    return "(unreadable)";
  bytes.resize(read);
  return bytes;
}

enum class Left { Nothing, PlainFile, ReadOnlyFile, HardLink, FileLink, FolderLink, Folder };

// Puts what another account left at folder + "pkg" (or, for FolderLink,
// makes folder + "sub" a link to elsewhere).
void leave(Left what, const std::string& folder, const std::string& elsewhere) {
  const std::string name = folder + "pkg";
  switch (what) {
    case Left::Nothing:
      break;
    case Left::PlainFile:
      test::writeFile(name, "left");
      break;
    case Left::ReadOnlyFile:
      test::writeFile(name, "left");
      ASSERT_TRUE(::SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY));
      break;
    case Left::HardLink:
      ASSERT_TRUE(test::makeUnixHardLink(name, elsewhere + "victim"));
      break;
    case Left::FileLink:
      ASSERT_TRUE(test::makeUnixLink(name, elsewhere + "victim"));
      break;
    case Left::FolderLink:
      ASSERT_TRUE(test::makeUnixLink(folder + "sub", elsewhere));
      break;
    case Left::Folder:
      ASSERT_TRUE(::CreateDirectoryA(name.c_str(), nullptr));
      break;
  }
}

TEST(CheckedFile, MakesAFreshFileOnlyWhereItWasMeantAndNeverWritesThroughALink) {
  static const struct {
    const char* what;
    Left left;
    const char* name;  // below the held folder
    bool created;
  } cases[] = {
      {"free name", Left::Nothing, "pkg", true},
      {"plain file left by an earlier install", Left::PlainFile, "pkg", true},
      {"read-only file left by an earlier install", Left::ReadOnlyFile, "pkg", true},
      // The name goes, the file it shared stays as it was.
      {"hard link to a file elsewhere", Left::HardLink, "pkg", true},
      {"symbolic link to a file elsewhere", Left::FileLink, "pkg", false},
      {"folder on the way is a link", Left::FolderLink, "sub\\pkg", false},
      {"a folder of that name", Left::Folder, "pkg", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = test::scratchDir("checked_file_held");
    const std::string elsewhere = test::scratchDir("checked_file_elsewhere");
    test::writeFile(elsewhere + "victim", "victim");
    leave(c.left, folder, elsewhere);
    const std::wstring held = finalPathOfFolder(folder);
    ASSERT_FALSE(held.empty());

    UniqueFile file = createCheckedFile(folder + c.name, held, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(static_cast<bool>(file), c.created);
    if (file) {
      EXPECT_EQ(contentOf(file.get()), "");  // fresh, not the old content cut short
      DWORD written = 0;
      ASSERT_TRUE(::WriteFile(file.get(), "new", 3, &written, nullptr));
      // Nobody else writes to or deletes it while it is open.
      UniqueFile writer(::CreateFileA((folder + c.name).c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING, 0, nullptr));
      EXPECT_FALSE(writer);
      UniqueFile deleter(::CreateFileA((folder + c.name).c_str(), DELETE, 7, nullptr, OPEN_EXISTING, 0, nullptr));
      EXPECT_FALSE(deleter);
      file.reset();
      EXPECT_EQ(test::readFile(folder + c.name), "new");
    }
    EXPECT_EQ(test::readFile(elsewhere + "victim"), "victim");
    EXPECT_EQ(test::entriesOf(elsewhere), "victim;");
    if (c.left == Left::FileLink) {
      EXPECT_TRUE(test::removeUnixLink(folder + "pkg"));
    }
    if (c.left == Left::FolderLink) {
      EXPECT_TRUE(test::removeUnixLink(folder + "sub"));
    }
  }
}

TEST(CheckedFile, OpensAnExistingFileOnlyAsOnePlainFileWhereItWasMeant) {
  static const struct {
    const char* what;
    Left left;
    const char* name;
    bool opened;
  } cases[] = {
      {"plain file", Left::PlainFile, "pkg", true},
      {"missing file", Left::Nothing, "pkg", false},
      {"hard link to a file elsewhere", Left::HardLink, "pkg", false},
      {"symbolic link to a file elsewhere", Left::FileLink, "pkg", false},
      {"folder on the way is a link", Left::FolderLink, "sub\\victim", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = test::scratchDir("checked_open_held");
    const std::string elsewhere = test::scratchDir("checked_open_elsewhere");
    test::writeFile(elsewhere + "victim", "victim");
    leave(c.left, folder, elsewhere);
    UniqueFile file = openCheckedFile(folder + c.name, finalPathOfFolder(folder), GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(static_cast<bool>(file), c.opened);
    if (file) {
      EXPECT_EQ(contentOf(file.get()), "left");
    }
    file.reset();
    EXPECT_EQ(test::readFile(elsewhere + "victim"), "victim");
    if (c.left == Left::FileLink) {
      EXPECT_TRUE(test::removeUnixLink(folder + "pkg"));
    }
    if (c.left == Left::FolderLink) {
      EXPECT_TRUE(test::removeUnixLink(folder + "sub"));
    }
  }
}

TEST(CheckedFile, AFileOpenForWritingElsewhereIsNeitherReplacedNorOpened) {
  const std::string folder = test::scratchDir("checked_file_busy");
  test::writeFile(folder + "pkg", "theirs");
  UniqueFile theirs(::CreateFileA((folder + "pkg").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(theirs);
  const std::wstring held = finalPathOfFolder(folder);
  EXPECT_FALSE(createCheckedFile(folder + "pkg", held, GENERIC_WRITE));
  EXPECT_FALSE(openCheckedFile(folder + "pkg", held, GENERIC_READ));
  theirs.reset();
  EXPECT_EQ(test::readFile(folder + "pkg"), "theirs");
}

TEST(CheckedFile, AFileOutsideTheHeldFolderIsRefused) {
  const std::string root = test::scratchDir("checked_file_outside");
  ASSERT_TRUE(::CreateDirectoryA((root + "held").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA((root + "heldother").c_str(), nullptr));
  test::writeFile(root + "heldother\\pkg", "other");
  const std::wstring held = finalPathOfFolder(root + "held");
  EXPECT_FALSE(createCheckedFile(root + "heldother\\pkg", held, GENERIC_WRITE));
  EXPECT_FALSE(openCheckedFile(root + "heldother\\pkg", held, GENERIC_READ));
  EXPECT_EQ(test::readFile(root + "heldother\\pkg"), "other");
  EXPECT_TRUE(createCheckedFile(root + "held\\pkg", held, GENERIC_WRITE));
}

}  // namespace
}  // namespace fyrel
