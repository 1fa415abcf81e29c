// The text of this account's record of one installed game, as kept in the
// registry: which package was installed, its SHA-256 as downloaded, and the
// SHA-256 of every runnable member the extraction wrote.
//
//   package <package file name>
//   sha256 <64 lower-case hex digits>
//   member <64 hex digits> <member path>      (one line per runnable member)
//
// Lines end with a line feed. Anything else does not parse: a record that
// cannot be read vouches for nothing.
#pragma once

#include <string>
#include <vector>

#include "common/file_digest.h"

namespace fyrel {

struct InstallRecord {
  std::string packageName;
  Sha256Digest packageDigest{};
  std::vector<FileDigest> members;
};

std::string formatInstallRecord(const InstallRecord& record);
// False, with record unspecified, for any text formatInstallRecord would not make.
bool parseInstallRecord(const std::string& text, InstallRecord& record);

}  // namespace fyrel
