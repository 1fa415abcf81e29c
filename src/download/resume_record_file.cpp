#include "download/resume_record_file.h"

#include <windows.h>

#include "common/unique_handle.h"
#include "storage/checked_file.h"

namespace fyrel {

bool readResumeRecordFile(const std::string& path, const std::wstring& heldFolder, ResumeRecord& record) {
  // A record is a hint another account may have written: read only as one
  // plain file in the held folder, never through a link.
  UniqueFile file = openCheckedFile(path, heldFolder, GENERIC_READ);
  if (!file) return false;
  // One byte more than a record may have: a longer file is refused unread.
  std::string text(kMaxResumeRecordBytes + 1, '\0');
  DWORD read = 0;
  if (!::ReadFile(file.get(), &text[0], static_cast<DWORD>(text.size()), &read, nullptr)) return false;
  if (read > kMaxResumeRecordBytes) return false;
  text.resize(read);
  return parseResumeRecord(text, record);
}

bool writeResumeRecordFile(const std::string& path, const std::wstring& heldFolder, const ResumeRecord& record) {
  const std::string text = formatResumeRecord(record);
  if (text.empty()) return false;
  UniqueFile file = createCheckedFile(path, heldFolder, GENERIC_WRITE);
  if (!file) return false;
  DWORD written = 0;
  const auto size = static_cast<DWORD>(text.size());
  return ::WriteFile(file.get(), text.data(), size, &written, nullptr) && written == size;
}

bool fileLength(const std::string& path, const std::wstring& heldFolder, std::uint64_t& length) {
  UniqueFile file = openCheckedFile(path, heldFolder, GENERIC_READ);
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size)) return false;
  length = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

}  // namespace fyrel
