#include "storage/install_record.h"

#include <windows.h>

#include <vector>

#include "common/unique_handle.h"
#include "storage/game_folder_lock.h"

namespace fyrel {
namespace {

// Far above any record a package makes: a value larger than this is not ours.
constexpr DWORD kMaxRecordBytes = 1024 * 1024;

}  // namespace

bool readInstallRecord(const std::string& gameFolder, InstallRecord& record) {
  // Under the folder's long path: a start given an 8.3 alias of a level
  // finds what a start given the long name recorded.
  const std::string name = canonicalFolderPath(gameFolder);
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kInstallRecordKey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return false;
  UniqueRegKey key(opened);
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ ||
      size == 0 || size > kMaxRecordBytes)
    return false;
  std::vector<char> bytes(size + 1, '\0');
  if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  // Up to the first NUL: the stored terminator, or one put in its place.
  return parseInstallRecord(std::string(bytes.data()), record);
}

bool writeInstallRecord(const std::string& gameFolder, const InstallRecord& record) {
  // Under the folder's long path: a start given an 8.3 alias of a level
  // finds what a start given the long name recorded.
  const std::string name = canonicalFolderPath(gameFolder);
  HKEY created = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, kInstallRecordKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &created, nullptr) != ERROR_SUCCESS)
    return false;
  UniqueRegKey key(created);
  const std::string text = formatInstallRecord(record);
  return ::RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool deleteInstallRecord(const std::string& gameFolder) {
  // Under the folder's long path: a start given an 8.3 alias of a level
  // finds what a start given the long name recorded.
  const std::string name = canonicalFolderPath(gameFolder);
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kInstallRecordKey, 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS) return false;
  UniqueRegKey key(opened);
  return ::RegDeleteValueA(key.get(), name.c_str()) == ERROR_SUCCESS;
}

}  // namespace fyrel
