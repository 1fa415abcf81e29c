// The loader's work on the disk (the game folder's levels, the version
// marker, the digests of an installed game's runnable files, the deletion
// of the package) runs off the host's window thread, and the host's
// reports keep their order. Which thread did what is seen through the
// DLL's own imports; the calls themselves go to the real kernel32.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "extension/loader_fixture.h"
#include "support/import_patch.h"

namespace fyrel::test {
namespace {

std::string gGameFolder;  // set before the patches are applied
std::atomic<DWORD> gFolderCreator{0};
std::atomic<DWORD> gFolderLister{0};
std::atomic<DWORD> gPackageDeleter{0};

bool startsWithGameFolder(const char* path) {
  return path != nullptr && ::_strnicmp(path, gGameFolder.c_str(), gGameFolder.size() - 1) == 0;
}

BOOL WINAPI recordedCreateDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES attributes) {
  if (startsWithGameFolder(path)) gFolderCreator.store(::GetCurrentThreadId());
  return ::CreateDirectoryA(path, attributes);
}

HANDLE WINAPI recordedFindFirstFile(LPCSTR pattern, LPWIN32_FIND_DATAA found) {
  if (startsWithGameFolder(pattern)) gFolderLister.store(::GetCurrentThreadId());
  return ::FindFirstFileA(pattern, found);
}

BOOL WINAPI recordedSetFileInformation(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information, DWORD size) {
  if (kind == FileDispositionInfo) gPackageDeleter.store(::GetCurrentThreadId());
  return ::SetFileInformationByHandle(file, kind, information, size);
}

class FolderSteps : public LoaderTest {
 protected:
  FolderSteps() : LoaderTest("127.56") {}
};

TEST_F(FolderSteps, TheDiskIsWorkedOffTheWindowThreadAndReportsKeepTheirOrder) {
  gGameFolder = gameFolder();
  gFolderCreator = 0;
  gFolderLister = 0;
  gPackageDeleter = 0;
  ImportPatch makeFolders(library.module(), "kernel32.dll", "CreateDirectoryA",
                          reinterpret_cast<void*>(&recordedCreateDirectory));
  ImportPatch list(library.module(), "kernel32.dll", "FindFirstFileA", reinterpret_cast<void*>(&recordedFindFirstFile));
  ImportPatch dispose(library.module(), "kernel32.dll", "SetFileInformationByHandle",
                      reinterpret_cast<void*>(&recordedSetFileInformation));
  ASSERT_TRUE(makeFolders.applied());
  ASSERT_TRUE(list.applied());
  ASSERT_TRUE(dispose.applied());
  const DWORD windowThread = ::GetWindowThreadProcessId(window.hwnd(), nullptr);

  // A first start: the folder's levels are made and the package deleted
  // after the extraction, on threads of their own.
  startServer().enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kCheck, kExtracting, kReady, kCreated, kStarted}));
  EXPECT_NE(gFolderCreator.load(), 0u);
  EXPECT_NE(gFolderCreator.load(), windowThread) << "the game folder was made on the window thread";
  EXPECT_NE(gPackageDeleter.load(), 0u);
  EXPECT_NE(gPackageDeleter.load(), windowThread) << "the package was deleted on the window thread";
  EXPECT_EQ(::GetFileAttributesA((gameFolder() + "game.pkg").c_str()), INVALID_FILE_ATTRIBUTES);
  destroy();

  // An installed start: the runnable files are listed and hashed off the
  // window thread, and the game is reported present as before.
  gFolderLister = 0;
  host.clear();
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_EQ(host.notifications(), (States{kReady, kCreated, kStarted}));
  EXPECT_EQ(server->requestCount(), 1u);
  EXPECT_NE(gFolderLister.load(), 0u);
  EXPECT_NE(gFolderLister.load(), windowThread) << "the installed game was checked on the window thread";
}

}  // namespace
}  // namespace fyrel::test
