#include "storage/checked_file.h"

#include "storage/file_name_case.h"

namespace fyrel {
namespace {

// Never through a link: a handle opened so is the link itself where the
// platform can open one (Windows); where it cannot (Wine follows a Unix
// link to a file all the same), the final path shows where it led.
constexpr DWORD kNoFollow = FILE_FLAG_OPEN_REPARSE_POINT;
// Nobody writes to or deletes (or renames) the file while it is ours.
constexpr DWORD kReadSharingOnly = FILE_SHARE_READ;
constexpr DWORD kAnySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool isPlainFolder(const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool isPlainFile(const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

std::wstring folderFinalPath(std::wstring folder) {
  if (folder.empty()) folder = L".";
  if (folder.back() == L':') folder += L'\\';  // the root, not the drive's current folder
  UniqueFile opened(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, kAnySharing, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | kNoFollow, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!opened || !::GetFileInformationByHandle(opened.get(), &info) || !isPlainFolder(info)) return {};
  return finalPathOf(opened.get());
}

// Where the file at path must turn up: the final path of its folder, which
// is opened as itself, must be a plain folder and lie in heldFolder, and
// the file's own name after it. False when the folder fails that.
bool expectedFinalPath(const std::wstring& path, const std::wstring& heldFolder, std::wstring& expected) {
  const std::size_t cut = path.find_last_of(L"\\/");
  const std::wstring name = cut == std::wstring::npos ? path : path.substr(cut + 1);
  if (name.empty()) return false;
  // No separator: the current folder; a leading one alone: the root.
  std::wstring final = folderFinalPath(cut == std::wstring::npos ? std::wstring()
                                       : cut == 0                ? std::wstring(L"\\")
                                                                 : path.substr(0, cut));
  if (final.empty() || (!heldFolder.empty() && !isAtOrBelow(final, heldFolder))) return false;
  if (final.back() != L'\\') final += L'\\';
  expected = final + name;
  return true;
}

// The file is one name of one plain file, and that name is expected.
bool landedAt(HANDLE file, const std::wstring& expected) {
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileInformationByHandle(file, &info) && isPlainFile(info) && info.nNumberOfLinks == 1 &&
         sameFileSystemName(finalPathOf(file), expected);
}

// Deletes what stands at path, when it is a file of exactly that name: a
// hard link loses only this name of its file, a link only itself. True
// when the name is free (or will be, once the handle closes).
bool deleteExisting(const std::wstring& path, const std::wstring& expected, bool* deleted = nullptr) {
  UniqueFile existing(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kAnySharing,
                                    nullptr, OPEN_EXISTING, kNoFollow, nullptr));
  if (!existing) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(existing.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return false;
  // A handle that reached another file (a link the platform followed) must
  // not delete it.
  if (!sameFileSystemName(finalPathOf(existing.get()), expected)) return false;
  // A file left read-only by an earlier extraction cannot be deleted as it
  // is. Attributes belong to the file, not the name: those of a file with
  // other names stay as they are, and the deletion fails.
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 && info.nNumberOfLinks == 1) {
    FILE_BASIC_INFO basic{};  // zero times: left as they are
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(existing.get(), FileBasicInfo, &basic, sizeof basic);  // the deletion decides
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  const bool done =
      ::SetFileInformationByHandle(existing.get(), FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
  if (deleted != nullptr) *deleted = done;
  return done;
}

UniqueFile openFile(const std::string& path, const std::wstring& heldFolder, DWORD access, bool fresh) {
  const std::wstring wide = widenAnsi(path);
  std::wstring expected;
  if (wide.empty() || !expectedFinalPath(wide, heldFolder, expected)) return UniqueFile();
  if (fresh && !deleteExisting(wide, expected)) return UniqueFile();
  // CREATE_NEW: whatever took the name since it was freed stays, and fails
  // this.
  UniqueFile file(::CreateFileW(wide.c_str(), access, kReadSharingOnly, nullptr, fresh ? CREATE_NEW : OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | kNoFollow, nullptr));
  if (!file || !landedAt(file.get(), expected)) return UniqueFile();
  return file;
}

}  // namespace

std::wstring finalPathOf(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length = ::GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.assign(length, L'\0');  // the size it needs, its NUL included
  }
  return {};
}

std::wstring finalPathOfFolder(const std::string& path) {
  std::wstring folder = widenAnsi(path);
  while (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/') && folder[folder.size() - 2] != L':')
    folder.pop_back();
  return folderFinalPath(folder);
}

bool isAtOrBelow(const std::wstring& path, const std::wstring& folder) noexcept {
  std::size_t length = folder.size();
  while (length > 0 && folder[length - 1] == L'\\') --length;
  if (length == 0 || path.size() < length) return false;
  if (path.size() > length && path[length] != L'\\') return false;  // "C:\ab" is not below "C:\a"
  return ::CompareStringOrdinal(path.data(), static_cast<int>(length), folder.data(), static_cast<int>(length), TRUE) ==
         CSTR_EQUAL;
}

UniqueFile createCheckedFile(const std::string& path, const std::wstring& heldFolder, DWORD access) {
  return openFile(path, heldFolder, access, true);
}

bool deleteCheckedFile(const std::string& path, const std::wstring& heldFolder) {
  const std::wstring wide = widenAnsi(path);
  std::wstring expected;
  bool deleted = false;
  return !wide.empty() && expectedFinalPath(wide, heldFolder, expected) && deleteExisting(wide, expected, &deleted) &&
         deleted;
}

UniqueFile openCheckedFile(const std::string& path, const std::wstring& heldFolder, DWORD access) {
  return openFile(path, heldFolder, access, false);
}

}  // namespace fyrel
