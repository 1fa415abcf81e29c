// The resume record lies in a folder everyone may write to, and the range
// headers come from any server: any bytes at all. The input is a record;
// its first line, up to a NUL, is also read as a Content-Range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "download/body_limit.h"
#include "download/range_answer.h"
#include "download/resume_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  fyrel::ContentRange range;
  if (fyrel::parseContentRange(bytes.substr(0, bytes.find('\0')), range)) {
    if (range.first > range.last || range.last >= range.total) std::abort();
  }

  fyrel::ResumeRecord record;
  if (!fyrel::parseResumeRecord(bytes, record)) return 0;
  // Whatever is believed is what a record of ours would say, and reads back
  // the same once written again (the source address in its plain form).
  if (bytes.size() > fyrel::kMaxResumeRecordBytes) std::abort();
  if (record.point.total == 0 || record.point.total > fyrel::kMaxPackageBytes) std::abort();
  if (record.point.validator.empty() || record.point.validator.find_first_of("\r\n") != std::string::npos) std::abort();
  fyrel::ResumeRecord again;
  if (!fyrel::parseResumeRecord(fyrel::formatResumeRecord(record), again)) std::abort();
  if (again.address != record.address || again.point.validator != record.point.validator ||
      again.point.total != record.point.total || !fyrel::sameTarget(again.point.source, record.point.source))
    std::abort();
  return 0;
}
