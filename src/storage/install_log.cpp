#include "storage/install_log.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "common/unique_handle.h"
#include "storage/checked_file.h"
#include "storage/file_name_case.h"
#include "storage/folder_paths.h"
#include "storage/install_log_text.h"
#include "storage/player_folder.h"

namespace fyrel {
namespace {

// A folder we made or found: true when it is a plain folder. Asked by name
// first: Wine shows a link to a folder as one only there (a handle opened
// on it describes the folder it points to); then on a handle opened
// without following a link, as Windows shows it.
bool isPlainFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
  return !finalPathOfFolder(path).empty();
}

bool finalPathIs(HANDLE handle, const std::wstring& expected) {
  const std::wstring path = finalPathOf(handle);
  return !path.empty() && ::CompareStringOrdinal(path.c_str(), static_cast<int>(path.size()), expected.c_str(),
                                                 static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}

std::string localTimeText() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond, now.wMilliseconds);
  return text;
}

bool writeAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  const auto size = static_cast<DWORD>(bytes.size());
  return bytes.empty() || (::WriteFile(file, bytes.data(), size, &written, nullptr) && written == size);
}

}  // namespace

std::string installLogFolder() {
  std::string localData;
  readShellFolder(HKEY_CURRENT_USER, "Local AppData", localData);
  if (localData.empty()) return {};
  return playerFolderBelow(makerFolderBelow(localData)) + "logs\\";
}

bool InstallLog::open(const std::string& partnerName, const std::string& gameName,
                      const std::string& instance) noexcept {
  try {
    const std::string folder = installLogFolder();
    if (folder.empty()) return false;
    // The levels we add below the account's folder, each made if missing
    // and then checked where it stands: a link there would carry the log
    // wherever it points.
    std::string top;
    readShellFolder(HKEY_CURRENT_USER, "Local AppData", top);
    const std::vector<std::string> levels = folderLevelsFrom(top, folder);
    if (levels.size() < 2) return false;
    for (std::size_t i = 1; i < levels.size(); ++i) {
      ::CreateDirectoryA(levels[i].c_str(), nullptr);  // the account's default access
      if (!isPlainFolder(levels[i])) return false;
    }
    const std::wstring logsFinal = finalPathOfFolder(levels.back());
    if (logsFinal.empty()) return false;
    std::lock_guard<std::mutex> guard(lock_);
    fileName_ = widenAnsi(installLogFileName(partnerName, gameName));
    folderFinalPath_ = logsFinal + L"\\";
    path_ = folder + installLogFileName(partnerName, gameName);
    instance_ = instance;
    return true;
  } catch (...) {
    return false;  // out of memory: the debug channel still has every line
  }
}

std::string InstallLog::path() const {
  std::lock_guard<std::mutex> guard(lock_);
  return path_;
}

void InstallLog::write(const std::string& line) noexcept {
  try {
    std::lock_guard<std::mutex> guard(lock_);
    if (!path_.empty()) append(line);
  } catch (...) {
    // Out of memory: the line is lost to the file, the install goes on.
  }
}

void InstallLog::append(const std::string& line) {
  // Opened without following a link, and written only when it is a plain
  // file with one name: a link placed where the log belongs is not
  // followed. Another process may log the same game: the byte-range lock
  // keeps entries whole and the trimming to one writer at a time.
  UniqueFile file(::CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !::GetFileInformationByHandle(file.get(), &info)) return;
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      info.nNumberOfLinks != 1)
    return;
  // Where the handle really leads: Wine opens a link to a file as the file
  // it points to, with no sign on the handle, so the final path is what
  // tells.
  if (!finalPathIs(file.get(), folderFinalPath_ + fileName_)) return;
  OVERLAPPED whole{};
  // Never waited for: a process of this account stopped in the middle of
  // its own line (a debugger) must not stop this install; the line then
  // stands in the debug channel alone.
  if (!::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole))
    return;
  struct Unlock {
    HANDLE file;
    ~Unlock() {
      OVERLAPPED range{};
      ::UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &range);
    }
  } unlock{file.get()};

  const std::string entry = installLogEntry(localTimeText(), instance_, line);
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return;
  const auto length = static_cast<unsigned long long>(size.QuadPart);
  if (length + entry.size() >= kMaxInstallLogBytes) {
    // Past the bound, the oldest half goes: the log keeps the recent
    // installs, which are the ones somebody asks about. One far larger
    // than any this code writes is emptied instead of read.
    std::string log(static_cast<std::size_t>(length < kMaxInstallLogBytes * 4 ? length : 0), '\0');
    DWORD read = 0;
    if (!log.empty() &&
        (!::ReadFile(file.get(), &log[0], static_cast<DWORD>(log.size()), &read, nullptr) || read != log.size()))
      return;
    const std::string kept = newestHalfOfLog(log);
    if (::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return;
    if (!writeAll(file.get(), kept) || !::SetEndOfFile(file.get())) return;
  }
  LARGE_INTEGER end{};
  if (!::SetFilePointerEx(file.get(), end, nullptr, FILE_END)) return;
  writeAll(file.get(), entry);
}

}  // namespace fyrel
