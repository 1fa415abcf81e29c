#include "storage/install_log_text.h"

namespace fyrel {

std::string installLogFileName(const std::string& partnerName, const std::string& gameName) {
  return partnerName + "-" + gameName + ".log";
}

std::string installLogEntry(const std::string& localTime, const std::string& instance, const std::string& line) {
  std::string entry = localTime + " [" + instance + "] ";
  const std::size_t room = kMaxInstallLogEntry > entry.size() + 2 ? kMaxInstallLogEntry - entry.size() - 2 : 0;
  const std::size_t end = line.find_last_not_of("\r\n") + 1;
  entry.append(line, 0, end < room ? end : room);
  entry += "\r\n";
  return entry;
}

std::string newestHalfOfLog(const std::string& log) {
  const std::size_t middle = log.size() / 2;
  const std::size_t lineEnd = log.find('\n', middle == 0 ? 0 : middle - 1);
  if (lineEnd == std::string::npos) return {};
  return log.substr(lineEnd + 1);
}

}  // namespace fyrel
