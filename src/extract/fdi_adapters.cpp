// The extractor's side of FDI: the file routines and the notification
// routine handed to cabinet.dll, and what the worker does with each member.
// Runs on the extraction worker only.
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "common/proc_address.h"
#include "extract/cab_extractor.h"
#include "extract/extract_paths.h"
#include "extract/member_links.h"
#include "extract/member_name.h"

namespace fyrel {
namespace {

constexpr int kOutputFileFlags = _O_BINARY | _O_CREAT | _O_SEQUENTIAL | _O_WRONLY;
constexpr int kOutputFilePermission = _S_IREAD | _S_IWRITE;
// Read-only, hidden, system and archive; the executable bit and the
// name-encoding bit mean nothing to the file system.
constexpr DWORD kStoredAttributeMask = 0x27;

// The extractor whose passes run on this thread: FDI's file routines get
// no user value, yet must see the stop flag, the caller's cabinet handle
// and the record of failed writes. Set for the passes only.
thread_local CabExtractor* currentExtractor = nullptr;

bool isFolder(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Opens (creating folders as needed) and truncates one output file.
int openOutputFile(const char* path) {
  // Most files land in a folder an earlier file has made; one look at it
  // spares a failing _mkdir for every enclosing folder of every file.
  std::vector<std::string> folders = enclosingFolders(path);
  if (!folders.empty() && !isFolder(folders.back())) {
    for (const std::string& folder : folders) {
      ::_mkdir(folder.c_str());  // a drive prefix or an existing folder simply fails
    }
  }
  // A file left read-only, hidden or system by an earlier extraction could
  // not be opened for writing otherwise.
  ::SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE);
  return ::_open(path, kOutputFileFlags | _O_TRUNC, kOutputFilePermission);
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
    if (stopping()) return static_cast<UINT>(-1);
    const int written = ::_write(static_cast<int>(file), buffer, size);
    if (written < 0 || static_cast<UINT>(written) != size) {
      if (currentExtractor != nullptr) currentExtractor->outputIncomplete_ = true;
    } else if (currentExtractor != nullptr) {
      currentExtractor->digests_.feed(file, buffer, size);
    }
    return static_cast<UINT>(written);
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

std::string CabExtractor::outputPath(const char* memberName) const { return targetFolder_ + memberPath(memberName); }

INT_PTR CabExtractor::onCopyFile(const FDINOTIFICATION& file) {
  // A name that would leave the target folder, open a device or take a
  // file the folder's owner keeps (the version marker) fails the package
  // already in the counting pass, before any file of it is written.
  if (!isSafeMemberName(file.psz1, reservedNames_)) return -1;
  // A folder or file that already stands where the member goes as a link
  // would take the write elsewhere; refused in both passes, so the counting
  // pass fails the package before anything is written.
  if (memberPathMeetsLink(targetFolder_, memberPath(file.psz1))) return -1;
  const auto size = static_cast<std::uint32_t>(file.cb);
  if (countingPass_) {
    totalBytes_.store(totalBytes_.load(std::memory_order_relaxed) + size, std::memory_order_release);
    return 0;  // skip: nothing is decompressed or written
  }
  // Counted when the file begins, so progress moves by whole files.
  extractedBytes_.store(extractedBytes_.load(std::memory_order_relaxed) + size, std::memory_order_release);
  // FDI writes one member at a time; its close notification carries no
  // size, so the declared one is kept for it.
  openMember_ = openOutputFile(outputPath(file.psz1).c_str());
  openMemberSize_ = size;
  if (openMember_ != -1) digests_.begin(openMember_, memberPath(file.psz1));
  return openMember_;
}

INT_PTR CabExtractor::onCloseFile(const FDINOTIFICATION& file) {
  // A member shorter (or longer) than the cabinet says was not written
  // whole, whatever FDI made of the writes; a failed close may have lost
  // the last of it.
  const long length = ::_filelength(static_cast<int>(file.hf));
  const bool declared = file.hf == openMember_;
  openMember_ = -1;
  const bool digested = digests_.finish(file.hf);
  const bool closed = Routines::close(file.hf) == 0;
  if (!declared || length < 0 || static_cast<std::uint32_t>(length) != openMemberSize_ || !closed || !digested) {
    outputIncomplete_ = true;
    return FALSE;  // abort the pass
  }
  const std::string path = outputPath(file.psz1);
  UniqueFile output(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (output) {
    FILETIME local;
    FILETIME utc;
    if (::DosDateTimeToFileTime(file.date, file.time, &local) == 1 && ::LocalFileTimeToFileTime(&local, &utc) == 1) {
      ::SetFileTime(output.get(), &utc, nullptr, &utc);
    }
  }
  output.reset();  // attributes go on a closed file
  ::SetFileAttributesA(path.c_str(), file.attribs & kStoredAttributeMask);
  return TRUE;
}

}  // namespace fyrel
