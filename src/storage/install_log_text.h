// The per-account install log's text work: its file name, one entry, and
// what stays when it has grown past its bound. Pure logic: no Windows
// header.
#pragma once

#include <cstddef>
#include <string>

namespace fyrel {

// The log is kept below this many bytes.
constexpr std::size_t kMaxInstallLogBytes = 256 * 1024;

// "<partner>-<game>.log": both names were already checked as folder levels.
std::string installLogFileName(const std::string& partnerName, const std::string& gameName);

// The longest entry, time, instance and line end included: a line as long
// as the debug channel takes is cut to fit.
constexpr std::size_t kMaxInstallLogEntry = 512;

// "<local time> [<instance>] <line>" with the line's own end made "\r\n",
// at most kMaxInstallLogEntry bytes.
std::string installLogEntry(const std::string& localTime, const std::string& instance, const std::string& line);

// The newer half of a log's bytes, from the first whole entry on: the
// oldest entries go, and no entry is left cut at its start.
std::string newestHalfOfLog(const std::string& log);

}  // namespace fyrel
