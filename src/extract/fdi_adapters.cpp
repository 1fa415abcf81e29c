// The extractor's side of FDI: the file routines and the notification
// routine handed to cabinet.dll, and what the worker does with each member.
// Runs on the extraction worker only.
#include <fcntl.h>
#include <io.h>

#include <cstdlib>
#include <vector>

#include "common/diagnostic_text.h"
#include "common/proc_address.h"
#include "extract/cab_extractor.h"
#include "extract/extract_paths.h"
#include "extract/member_links.h"
#include "extract/member_name.h"
#include "storage/checked_file.h"
#include "storage/file_name_case.h"

namespace fyrel {
namespace {

// Read-only, hidden, system and archive; the executable bit and the
// name-encoding bit mean nothing to the file system.
constexpr DWORD kStoredAttributeMask = 0x27;

// The extractor whose passes run on this thread: FDI's file routines get
// no user value, yet must see the stop flag, the caller's cabinet handle
// and the record of failed writes. Set for the passes only.
thread_local CabExtractor* currentExtractor = nullptr;

// The member's file handed to FDI as a CRT descriptor; the descriptor owns
// the handle from here on.
INT_PTR descriptorOf(UniqueFile file) {
  const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_WRONLY | _O_BINARY);
  if (descriptor != -1) file.release();
  return descriptor;
}

// Best effort, as setting them by name was: a member whose date or
// attributes cannot be set still counts as extracted.
void applyStoredTimeAndAttributes(const FDINOTIFICATION& file) {
  const auto output = reinterpret_cast<HANDLE>(::_get_osfhandle(static_cast<int>(file.hf)));
  if (output == INVALID_HANDLE_VALUE) return;
  FILE_BASIC_INFO basic{};  // zero times are left as they are
  FILETIME local;
  FILETIME utc;
  if (::DosDateTimeToFileTime(file.date, file.time, &local) == 1 && ::LocalFileTimeToFileTime(&local, &utc) == 1) {
    basic.CreationTime.LowPart = utc.dwLowDateTime;
    basic.CreationTime.HighPart = static_cast<LONG>(utc.dwHighDateTime);
    basic.LastWriteTime = basic.CreationTime;
  }
  // No attribute at all is "normal" (zero here would mean "unchanged").
  const DWORD attributes = file.attribs & kStoredAttributeMask;
  basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
  ::SetFileInformationByHandle(output, FileBasicInfo, &basic, sizeof basic);
}

}  // namespace

INT_PTR CabExtractor::openCabinet(int flags) const {
  const std::string path = cabinetFolder_ + cabinetName_;
  if (!cabinetFile_) return ::_open(path.c_str(), flags);
  // Each open gets its own CRT descriptor (FDI closes what it opens), on a
  // duplicate of the one handle; duplicates share the file position, and
  // FDI takes the position at open as the cabinet's start.
  HANDLE duplicate = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), cabinetFile_.get(), ::GetCurrentProcess(), &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
    return -1;
  LARGE_INTEGER start{};
  int descriptor = -1;
  if (::SetFilePointerEx(duplicate, start, nullptr, FILE_BEGIN))
    descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(duplicate), _O_RDONLY | _O_BINARY);
  if (descriptor == -1) ::CloseHandle(duplicate);
  return descriptor;
}

// Thin adapters with FDI's exact signatures (DIAMONDAPI is __cdecl), so no
// function pointer is ever cast.
struct CabExtractor::Routines {
  static void* DIAMONDAPI allocate(ULONG size) { return std::malloc(size); }
  static void DIAMONDAPI release(void* memory) { std::free(memory); }
  // FDI opens cabinets only, for reading. The package that was verified is
  // the one cabinet there is: any other name (the next or previous part of
  // a set, which anyone may have put into the folder) is refused.
  static INT_PTR DIAMONDAPI open(char* path, int flags, int /*permission*/) {
    const CabExtractor* self = currentExtractor;
    if (self == nullptr || (flags & (_O_CREAT | _O_WRONLY | _O_RDWR)) != 0) return -1;
    if (self->cabinetFolder_ + self->cabinetName_ != path) return -1;
    return self->openCabinet(flags);
  }
  // A stop also ends a pass in the middle of a large member, not only at
  // the next notification: a failed read or write makes FDICopy fail.
  static bool stopping() noexcept {
    const CabExtractor* self = currentExtractor;
    return self != nullptr && self->stop_.load(std::memory_order_acquire);
  }
  static UINT DIAMONDAPI read(INT_PTR file, void* buffer, UINT size) {
    if (stopping()) return static_cast<UINT>(-1);
    return static_cast<UINT>(::_read(static_cast<int>(file), buffer, size));
  }
  // FDI writes only output files. It does not act on every failed or short
  // write (a full disk), so each one is remembered and fails the run.
  static UINT DIAMONDAPI write(INT_PTR file, void* buffer, UINT size) {
    if (stopping() || currentExtractor == nullptr) return static_cast<UINT>(-1);
    return currentExtractor->writeMember(file, buffer, size);
  }
  static int DIAMONDAPI close(INT_PTR file) { return ::_close(static_cast<int>(file)); }
  static __LONG32 DIAMONDAPI seek(INT_PTR file, __LONG32 distance, int origin) {
    return ::_lseek(static_cast<int>(file), distance, origin);
  }

  static INT_PTR DIAMONDAPI notify(FDINOTIFICATIONTYPE code, PFDINOTIFICATION record) {
    auto* self = static_cast<CabExtractor*>(record->pv);
    if (self->stop_.load(std::memory_order_acquire)) {
      // FDI hands a finished file's handle over with this notification and
      // never closes it itself; an abort here must not leave it open.
      if (code == fdintCLOSE_FILE_INFO) close(record->hf);
      return -1;
    }
    switch (code) {
      case fdintCOPY_FILE:
        return self->onCopyFile(*record);
      case fdintCLOSE_FILE_INFO:
        return self->onCloseFile(*record);
      case fdintNEXT_CABINET:
        // Never reached for a cabinet that passed the header check; should
        // FDI ask all the same, the part it wants is not there.
        return -1;
      default:
        return 0;
    }
  }
};

bool CabExtractor::createContext() {
  auto fdiCreate = procAddress<decltype(&::FDICreate)>(cabinetLibrary_.get(), "FDICreate");
  if (fdiCreate != nullptr) {
    context_ = fdiCreate(&Routines::allocate, &Routines::release, &Routines::open, &Routines::read, &Routines::write,
                         &Routines::close, &Routines::seek, cpu80386, &error_);
  }
  return context_ != nullptr;
}

bool CabExtractor::runPasses() {
  auto fdiCopy = procAddress<decltype(&::FDICopy)>(cabinetLibrary_.get(), "FDICopy");
  if (fdiCopy == nullptr) return false;
  currentExtractor = this;
  outputIncomplete_ = false;
  countingPass_ = true;
  bool done = fdiCopy(context_, &cabinetName_[0], &cabinetFolder_[0], 0, &Routines::notify, nullptr, this);
  if (done && !stop_.load(std::memory_order_acquire)) {
    countingPass_ = false;
    done = fdiCopy(context_, &cabinetName_[0], &cabinetFolder_[0], 0, &Routines::notify, nullptr, this);
  }
  currentExtractor = nullptr;
  return done && !outputIncomplete_ && !stop_.load(std::memory_order_acquire);
}

INT_PTR CabExtractor::onCopyFile(const FDINOTIFICATION& file) {
  // A name that would leave the target folder, open a device or take a
  // file the folder's owner keeps (the version marker) fails the package
  // already in the counting pass, before any file of it is written.
  const std::string name = file.psz1 != nullptr ? file.psz1 : "";
  if (!isSafeMemberName(file.psz1, reservedNames_, sameAnsiFileName)) {
    fail([&] {
      return std::string("member \"" + name +
                         "\" refused: its name leaves the game folder, names a device or takes a name kept");
    });
    return -1;
  }
  // A folder or file that already stands where the member goes as a link
  // would take the write elsewhere; refused in both passes, so the counting
  // pass fails the package before anything is written.
  if (memberPathMeetsLink(targetFolder_, memberPath(file.psz1))) {
    fail([&] { return std::string("member \"" + name + "\" refused: a link stands where it goes"); });
    return -1;
  }
  const auto size = static_cast<std::uint32_t>(file.cb);
  if (countingPass_) {
    totalBytes_.store(totalBytes_.load(std::memory_order_relaxed) + size, std::memory_order_release);
    return 0;  // skip: nothing is decompressed or written
  }
  // Counted when the file begins, so progress moves by whole files.
  extractedBytes_.store(extractedBytes_.load(std::memory_order_relaxed) + size, std::memory_order_release);
  // FDI writes one member at a time; its close notification carries no
  // size, so the declared one is kept for it.
  openMember_ = createMemberFile(memberPath(file.psz1));
  openMemberSize_ = size;
  openMemberName_ = name;
  if (openMember_ == -1)
    fail([&] {
      return std::string("member \"" + name +
                         "\" could not be made as one plain file in the game folder: " + errorName(::GetLastError()));
    });
  if (openMember_ != -1) digests_.begin(openMember_, memberPath(file.psz1));
  return openMember_;
}

INT_PTR CabExtractor::createMemberFile(const std::string& member) {
  // Each folder of the member's path is made and then checked before the
  // next goes in it: one that another account made a link stops the
  // member before anything is made where the link leads. Most members
  // land in a folder an earlier one made; it is checked with the file.
  const std::string path = targetFolder_ + member;
  const std::vector<std::string> folders = enclosingFolders(member);
  if (!folders.empty() && finalPathOfFolder(targetFolder_ + folders.back()).empty()) {
    for (const std::string& folder : folders) {
      const std::string level = targetFolder_ + folder;
      ::CreateDirectoryA(level.c_str(), nullptr);  // an existing folder simply fails; the check decides
      const std::wstring landed = finalPathOfFolder(level);
      if (landed.empty() || !isAtOrBelow(landed, heldFolder_)) return -1;
    }
  }
  // Made fresh: whatever an earlier extraction (or another account) left
  // under the name is deleted first, as the name itself, never through a
  // link; the file must then be one plain file with one name, in the held
  // folder.
  UniqueFile file = createCheckedFile(path, heldFolder_, GENERIC_WRITE);
  if (!file) return -1;
  return descriptorOf(std::move(file));
}

UINT CabExtractor::writeMember(INT_PTR file, const void* buffer, UINT size) {
  // FDI does not act on every failed or short write (a full disk), so each
  // one is remembered and fails the run.
  const int written = ::_write(static_cast<int>(file), buffer, size);
  if (written < 0 || static_cast<UINT>(written) != size) {
    outputIncomplete_ = true;
    fail([&] {
      return std::string("writing member \"" + openMemberName_ + "\" failed: " + errorName(::GetLastError()));
    });
  } else {
    digests_.feed(file, buffer, size);
  }
  return static_cast<UINT>(written);
}

INT_PTR CabExtractor::onCloseFile(const FDINOTIFICATION& file) {
  // A member shorter (or longer) than the cabinet says was not written
  // whole, whatever FDI made of the writes; a failed close may have lost
  // the last of it.
  const long length = ::_filelength(static_cast<int>(file.hf));
  const bool declared = file.hf == openMember_;
  openMember_ = -1;
  // Date, time and attributes go on the handle the member was written
  // through: by name they could reach another file.
  if (declared && length >= 0) applyStoredTimeAndAttributes(file);
  const bool digested = digests_.finish(file.hf);
  const bool closed = Routines::close(file.hf) == 0;
  if (!digested)
    fail([&] { return std::string("member \"" + openMemberName_ + "\" could not be hashed as it was written"); });
  if (!declared || length < 0 || static_cast<std::uint32_t>(length) != openMemberSize_ || !closed || !digested) {
    fail([&] {
      return std::string("member \"" + openMemberName_ +
                         "\" was not written whole: " + std::to_string(length < 0 ? 0 : length) + " of the " +
                         std::to_string(openMemberSize_) + " bytes its entry declares");
    });
    outputIncomplete_ = true;
    return FALSE;  // abort the pass
  }
  return TRUE;
}

}  // namespace fyrel
