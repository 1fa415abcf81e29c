// The per-account install log: every line that explains an install is
// appended, with the local time and the extension's instance, to
//   <the user's local application data>\Fyrel\FyrelGamesPlayer\logs\<partner>-<game>.log
// That folder is the account's own (never the shared game folder), made
// with the account's default access; a level that is a link or mount point
// is refused, and the log is then kept in the debug channel alone. Nothing
// here ever changes an install: every failure to log is swallowed.
// Lines may come from any thread.
#pragma once

#include <mutex>
#include <string>

namespace fyrel {

class InstallLog {
 public:
  // Finds or makes the log's folder and names the file; false (nothing is
  // then written) when the folder is unknown or a level of it is refused.
  bool open(const std::string& partnerName, const std::string& gameName, const std::string& instance) noexcept;
  // Appends one line (its end made "\r\n") when the file is open.
  void write(const std::string& line) noexcept;
  // The log file's path; empty while none is open.
  std::string path() const;

 private:
  void append(const std::string& line);

  mutable std::mutex lock_;  // one writer of the file at a time in this process
  std::string path_;
  std::string instance_;
  // The log's folder as the file system names it (with "\") and the file's
  // name: an open log must lead there.
  std::wstring folderFinalPath_;
  std::wstring fileName_;
};

// The folder of the account's install logs (ends with "\"); empty when the
// account's local application data folder is not known.
std::string installLogFolder();

}  // namespace fyrel
