// The resume record on disk, beside the partial package. Called on the
// window thread, only while the game folder is held (its lock and its
// levels), like every other file the loader touches in that folder, and
// through the same checked door (storage/checked_file.h): one plain file
// with one name, landing in heldFolder, the held folder's final path.
#pragma once

#include <cstdint>
#include <string>

#include "download/resume_record.h"

namespace fyrel {

// Reads and parses the record at path. False when there is none, it cannot
// be read, is larger than any record, or does not parse.
bool readResumeRecordFile(const std::string& path, const std::wstring& heldFolder, ResumeRecord& record);

// Writes the record at path, replacing any. False when it could not be
// written whole (a record cut short does not parse, and is deleted at the
// next start).
bool writeResumeRecordFile(const std::string& path, const std::wstring& heldFolder, const ResumeRecord& record);

// The length of the file at path; false when it cannot be opened.
bool fileLength(const std::string& path, const std::wstring& heldFolder, std::uint64_t& length);

}  // namespace fyrel
