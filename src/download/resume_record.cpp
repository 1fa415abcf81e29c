#include "download/resume_record.h"

#include <utility>

#include "download/body_limit.h"

namespace fyrel {
namespace {

constexpr char kFirstLine[] = "fyrel resume record 1";
constexpr const char* kNames[] = {"address", "source", "validator", "total"};

bool isPlainValue(const std::string& value) {
  if (value.empty()) return false;
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

// A total as written: decimal, no leading zero, 1 to the package limit.
bool readTotal(const std::string& text, std::uint32_t& total) {
  if (text.empty() || text.size() > 10 || text[0] == '0') return false;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value == 0 || value > kMaxPackageBytes) return false;
  total = static_cast<std::uint32_t>(value);
  return true;
}

}  // namespace

std::string resumeRecordPath(const std::string& packagePath) { return packagePath + ".resume"; }

std::string formatResumeRecord(const ResumeRecord& record) {
  const std::string values[] = {record.address, formatUrl(record.point.source), record.point.validator,
                                std::to_string(record.point.total)};
  if (record.point.total == 0 || record.point.total > kMaxPackageBytes) return {};
  std::string text = std::string(kFirstLine) + "\n";
  for (std::size_t i = 0; i < 4; ++i) {
    if (!isPlainValue(values[i])) return {};
    text += std::string(kNames[i]) + " " + values[i] + "\n";
  }
  return text.size() <= kMaxResumeRecordBytes ? text : std::string();
}

bool parseResumeRecord(const std::string& text, ResumeRecord& record) {
  if (text.size() > kMaxResumeRecordBytes) return false;
  std::string values[4];
  std::size_t at = 0;
  for (int line = -1; line < 4; ++line) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string::npos) return false;
    const std::string content = text.substr(at, end - at);
    at = end + 1;
    if (line < 0) {
      if (content != kFirstLine) return false;
      continue;
    }
    const std::string name = std::string(kNames[line]) + " ";
    if (content.compare(0, name.size(), name) != 0) return false;
    values[line] = content.substr(name.size());
    if (!isPlainValue(values[line])) return false;
  }
  if (at != text.size()) return false;

  ResumeRecord read;
  read.address = values[0];
  UrlParts address;
  if (!splitUrl(values[0], address) || !splitUrl(values[1], read.point.source)) return false;
  read.point.validator = values[2];
  if (!readTotal(values[3], read.point.total)) return false;
  read.point.rangesAccepted = true;
  record = std::move(read);
  return true;
}

}  // namespace fyrel
