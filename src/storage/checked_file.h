// The one door into the shared game folder: every file the loader creates,
// cuts or reads there is opened here and checked on the handle it got.
//
// Every local account may write in the game folder, so a name the loader
// is about to use may already be a hard link to a file elsewhere, a
// symbolic link, or lie below a folder that has become a link: opened by
// name alone, the loader would truncate and overwrite (or read) a file it
// never meant to. So a file is opened without following a link, with
// writing and deleting by others denied, and kept only when its handle
// shows one name of one plain file (nNumberOfLinks == 1) whose final path
// is exactly the one asked for, in a folder that lies in the held folder.
#pragma once

#include <windows.h>

#include <string>

#include "common/unique_handle.h"

namespace fyrel {

// The path the file system gives the open file or folder
// (GetFinalPathNameByHandleW: "\\?\C:\..."), links resolved; empty when it
// gives none.
std::wstring finalPathOf(HANDLE handle);

// The final path of the folder at path, opened as itself (never through a
// link at its last level); empty when that is no plain folder. An empty
// path is the current folder.
std::wstring finalPathOfFolder(const std::string& path);

// Whether path is folder itself or lies below it, letter case folded as
// the file system folds it. Both are final paths.
bool isAtOrBelow(const std::wstring& path, const std::wstring& folder) noexcept;

// Creates the file at path fresh, with access, shared for reading only. A
// file of that name is deleted first, through a handle opened on the name
// itself (never what a link points to); a folder, or a name that leads
// elsewhere, stays and fails the call. heldFolder is the final path of the
// held folder the file must land in (HeldFolderChain::deepestPath); empty
// means the folder path names, checked as it is found. Empty when any step
// or check fails; nothing is written then.
UniqueFile createCheckedFile(const std::string& path, const std::wstring& heldFolder, DWORD access);

// Opens the existing file at path with access, shared for reading only,
// under the same checks.
UniqueFile openCheckedFile(const std::string& path, const std::wstring& heldFolder, DWORD access);

// Deletes the file at path as that name itself: a link goes, never what
// it points to (the platform's DeleteFile follows a link to a file under
// Wine); a name that leads elsewhere, or out of heldFolder, stays. True
// when a file was deleted.
bool deleteCheckedFile(const std::string& path, const std::wstring& heldFolder);

}  // namespace fyrel
