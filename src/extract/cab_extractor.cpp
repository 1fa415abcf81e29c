#include "extract/cab_extractor.h"

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "common/proc_address.h"
#include "extract/extract_paths.h"
#include "extract/member_links.h"
#include "extract/member_name.h"

namespace fyrel {

namespace detail {
namespace {
HANDLE beginRuntimeThread(unsigned(__stdcall* entry)(void*), void* argument) {
  // The runtime's own thread start, so the runtime's per-thread data is set
  // up and released with the thread.
  return reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, entry, argument, 0, nullptr));
}
}  // namespace
BeginThreadFn beginExtractionThread = beginRuntimeThread;
}  // namespace detail

namespace {

constexpr int kOutputFileFlags = _O_BINARY | _O_CREAT | _O_SEQUENTIAL | _O_WRONLY;
constexpr int kOutputFilePermission = _S_IREAD | _S_IWRITE;
// Read-only, hidden, system and archive; the executable bit and the
// name-encoding bit mean nothing to the file system.
constexpr DWORD kStoredAttributeMask = 0x27;

// The extractor whose worker runs on this thread: FDI's file routines get
// no user value, yet must see the stop flag and the caller's cabinet
// handle. Set by the worker for its passes only.
thread_local CabExtractor* currentExtractor = nullptr;

bool isFolder(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Used by FDI for the cabinet itself and by the notification routine for
// each output file.
INT_PTR openFile(const char* path, int flags, int permission) {
  if ((flags & _O_CREAT) != 0) {
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
    flags |= _O_TRUNC;
  }
  return ::_open(path, flags, permission);
}

}  // namespace

INT_PTR CabExtractor::openCabinet(const char* path) const {
  if (!cabinetFile_ || cabinetFolder_ + cabinetName_ != path) return -1;
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
  static INT_PTR DIAMONDAPI open(char* path, int flags, int permission) {
    const CabExtractor* self = currentExtractor;
    if ((flags & _O_CREAT) == 0 && self != nullptr && self->cabinetFile_) {
      // Only the cabinet that was handed over is read; any other cabinet
      // FDI asks for (the next part of a split one) is opened by path.
      INT_PTR cabinet = self->openCabinet(path);
      if (cabinet != -1 || self->cabinetFolder_ + self->cabinetName_ == path) return cabinet;
    }
    return openFile(path, flags, permission);
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
  static UINT DIAMONDAPI write(INT_PTR file, void* buffer, UINT size) {
    if (stopping()) return static_cast<UINT>(-1);
    return static_cast<UINT>(::_write(static_cast<int>(file), buffer, size));
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
        // FDI asks again for as long as the answer is "continue": with the
        // next part of a split cabinet missing (or unusable), that would be
        // for ever. Otherwise the folder FDI proposes is kept.
        return record->fdie == FDIERROR_NONE ? 0 : -1;
      default:
        return 0;
    }
  }
};

CabExtractor::CabExtractor() noexcept : cabinetLibrary_(::LoadLibraryA("cabinet.dll")) {}

CabExtractor::~CabExtractor() {
  stop();
  cabinetLibrary_.reset();
}

bool CabExtractor::start(const std::string& cabinetPath, const std::string& targetFolder, UniqueFile cabinetFile,
                         std::vector<std::string> reservedNames) {
  if (!cabinetLibrary_) return false;
  stop();

  stop_.store(false, std::memory_order_release);
  succeeded_.store(false, std::memory_order_release);
  running_.store(true, std::memory_order_release);
  totalBytes_.store(0, std::memory_order_release);
  extractedBytes_.store(0, std::memory_order_release);

  CabinetLocation cabinet = splitCabinetPath(cabinetPath);
  cabinetFolder_ = std::move(cabinet.folder);
  cabinetName_ = std::move(cabinet.name);
  targetFolder_ = asFolderPath(targetFolder);
  reservedNames_ = std::move(reservedNames);
  // A member named like the cabinet itself would truncate the file being
  // read.
  if (!targetFolder_.empty() && ::lstrcmpiA(cabinetFolder_.c_str(), targetFolder_.c_str()) == 0)
    reservedNames_.push_back(cabinetName_);
  cabinetFile_ = std::move(cabinetFile);

  auto fdiCreate = procAddress<decltype(&::FDICreate)>(cabinetLibrary_.get(), "FDICreate");
  if (fdiCreate != nullptr) {
    context_ = fdiCreate(&Routines::allocate, &Routines::release, &Routines::open, &Routines::read, &Routines::write,
                         &Routines::close, &Routines::seek, cpu80386, &error_);
  }
  if (context_ == nullptr) {
    cabinetFile_.reset();
    running_.store(false, std::memory_order_release);
    return false;
  }

  thread_.reset(detail::beginExtractionThread(&CabExtractor::worker, this));
  if (!thread_) {
    destroyContext();
    cabinetFile_.reset();
    running_.store(false, std::memory_order_release);
    return false;
  }
  return true;
}

void CabExtractor::stop() {
  stop_.store(true, std::memory_order_release);
  while (running_.load(std::memory_order_acquire)) ::Sleep(10);
  joinWorker();
}

void CabExtractor::joinWorker() noexcept {
  // The worker has cleared its running flag and touches nothing of ours any
  // more; only its return is left, so this wait is short. It makes sure no
  // thread of ours outlives stop(), and none runs in a module being unloaded.
  if (thread_) {
    ::WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
  }
}

bool CabExtractor::isRunning() const noexcept { return running_.load(std::memory_order_acquire); }
bool CabExtractor::succeeded() const noexcept { return succeeded_.load(std::memory_order_acquire); }
std::uint32_t CabExtractor::totalBytes() const noexcept { return totalBytes_.load(std::memory_order_acquire); }
std::uint32_t CabExtractor::extractedBytes() const noexcept { return extractedBytes_.load(std::memory_order_acquire); }
bool CabExtractor::stopRequested() const noexcept { return stop_.load(std::memory_order_acquire); }

unsigned __stdcall CabExtractor::worker(void* self) {
  static_cast<CabExtractor*>(self)->run();
  return 0;
}

void CabExtractor::run() {
  currentExtractor = this;
  if (!stop_.load(std::memory_order_acquire)) {
    auto fdiCopy = procAddress<decltype(&::FDICopy)>(cabinetLibrary_.get(), "FDICopy");
    if (fdiCopy != nullptr) {
      countingPass_ = true;
      bool counted = fdiCopy(context_, &cabinetName_[0], &cabinetFolder_[0], 0, &Routines::notify, nullptr, this);
      if (counted && !stop_.load(std::memory_order_acquire)) {
        countingPass_ = false;
        bool extracted = fdiCopy(context_, &cabinetName_[0], &cabinetFolder_[0], 0, &Routines::notify, nullptr, this);
        if (extracted && !stop_.load(std::memory_order_acquire)) succeeded_.store(true, std::memory_order_release);
      }
    }
  }
  destroyContext();
  currentExtractor = nullptr;
  // Closed before the end is seen, so that the owner can delete the cabinet
  // as soon as it sees the run ended.
  cabinetFile_.reset();
  // Last touch of this object: the controller may free it once it sees this.
  running_.store(false, std::memory_order_release);
}

void CabExtractor::destroyContext() noexcept {
  if (context_ == nullptr) return;
  auto fdiDestroy = procAddress<decltype(&::FDIDestroy)>(cabinetLibrary_.get(), "FDIDestroy");
  if (fdiDestroy != nullptr) fdiDestroy(context_);
  context_ = nullptr;
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
  return openFile(outputPath(file.psz1).c_str(), kOutputFileFlags, kOutputFilePermission);
}

INT_PTR CabExtractor::onCloseFile(const FDINOTIFICATION& file) {
  Routines::close(file.hf);
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
  return 1;
}

}  // namespace fyrel
