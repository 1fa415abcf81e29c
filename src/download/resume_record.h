// The record kept beside a partial package, so that a later start of the
// same game can ask for the rest instead of the whole. It lies in the
// shared game folder, where another account may have written anything:
// the parser takes only the exact form written here. Pure byte logic: no
// Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "download/range_answer.h"

namespace fyrel {

// A record is never larger: anything longer is not one of ours.
constexpr std::size_t kMaxResumeRecordBytes = 4096;

struct ResumeRecord {
  std::string address;  // the package address the host gave
  ResumePoint point;    // where the answer came from, its validator and total
};

// The record's path: beside the package, the package's name with ".resume".
std::string resumeRecordPath(const std::string& packagePath);

// The record as text: a first line naming the format, then "address",
// "source", "validator" and "total" lines, in that order, each ended by a
// line feed. Empty when a value could not be read back (a control byte in
// it, an empty one, a total of 0).
std::string formatResumeRecord(const ResumeRecord& record);

// Reads a record back. False for anything formatResumeRecord would not have
// written: another first line, lines missing, out of order or repeated, a
// control byte in a value, an address splitUrl refuses, a total of 0 or
// beyond the package limit, a size beyond kMaxResumeRecordBytes. `record`
// is left alone then. onDisk and rangesAccepted are not part of a record:
// onDisk stays 0, rangesAccepted is true (a record is only kept for a
// server that offered ranges).
bool parseResumeRecord(const std::string& text, ResumeRecord& record);

}  // namespace fyrel
