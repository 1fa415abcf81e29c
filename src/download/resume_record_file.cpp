#include "download/resume_record_file.h"

#include <windows.h>

#include "common/unique_handle.h"

namespace fyrel {
namespace {

// The sharing the package file has always been opened with: the host's
// own tools may look at the folder while it is written.
constexpr DWORD kShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;

UniqueFile openForReading(const std::string& path) {
  return UniqueFile(
      ::CreateFileA(path.c_str(), GENERIC_READ, kShareMode, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

bool readResumeRecordFile(const std::string& path, ResumeRecord& record) {
  UniqueFile file = openForReading(path);
  if (!file) return false;
  // One byte more than a record may have: a longer file is refused unread.
  std::string text(kMaxResumeRecordBytes + 1, '\0');
  DWORD read = 0;
  if (!::ReadFile(file.get(), &text[0], static_cast<DWORD>(text.size()), &read, nullptr)) return false;
  if (read > kMaxResumeRecordBytes) return false;
  text.resize(read);
  return parseResumeRecord(text, record);
}

bool writeResumeRecordFile(const std::string& path, const ResumeRecord& record) {
  const std::string text = formatResumeRecord(record);
  if (text.empty()) return false;
  UniqueFile file(
      ::CreateFileA(path.c_str(), GENERIC_WRITE, kShareMode, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  const auto size = static_cast<DWORD>(text.size());
  return ::WriteFile(file.get(), text.data(), size, &written, nullptr) && written == size;
}

bool fileLength(const std::string& path, std::uint64_t& length) {
  UniqueFile file = openForReading(path);
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size)) return false;
  length = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

}  // namespace fyrel
