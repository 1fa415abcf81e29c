#include "extract/cab_extractor.h"

// The extraction worker's life: start, stop, the run and its outcome. The
// FDI routines are in fdi_adapters.cpp, the header rules in
// cabinet_header.cpp.
#include <fcntl.h>
#include <io.h>
#include <process.h>

#include <memory>
#include <new>

#include "common/own_threads.h"
#include "common/proc_address.h"
#include "extract/cabinet_header.h"
#include "extract/extract_paths.h"
#include "storage/checked_file.h"

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

CabExtractor::CabExtractor() noexcept : cabinetLibrary_(::LoadLibraryA("cabinet.dll")) {}

CabExtractor::~CabExtractor() {
  stop();
  cabinetLibrary_.reset();
}

bool CabExtractor::start(const std::string& cabinetPath, const std::string& targetFolder, UniqueFile cabinetFile,
                         std::vector<std::string> reservedNames, std::wstring heldFolder) {
  if (!cabinetLibrary_) return false;
  stop();

  stop_.store(false, std::memory_order_release);
  succeeded_.store(false, std::memory_order_release);
  running_.store(true, std::memory_order_release);
  totalBytes_.store(0, std::memory_order_release);
  extractedBytes_.store(0, std::memory_order_release);
  failure_.clear();
  digests_.clear();

  CabinetLocation cabinet = splitCabinetPath(cabinetPath);
  cabinetFolder_ = std::move(cabinet.folder);
  cabinetName_ = std::move(cabinet.name);
  targetFolder_ = asFolderPath(targetFolder);
  reservedNames_ = std::move(reservedNames);
  heldFolder_ = std::move(heldFolder);
  // A member named like the cabinet itself would truncate the file being
  // read.
  if (!targetFolder_.empty() && ::lstrcmpiA(cabinetFolder_.c_str(), targetFolder_.c_str()) == 0)
    reservedNames_.push_back(cabinetName_);
  cabinetFile_ = std::move(cabinetFile);

  if (!createContext()) {
    fail([&] { return std::string("cabinet.dll could not be used"); });
    cabinetFile_.reset();
    running_.store(false, std::memory_order_release);
    return false;
  }

  thread_.reset(detail::beginExtractionThread(&CabExtractor::worker, this));
  if (!thread_) {
    fail([&] { return std::string("no extraction thread could be started"); });
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
  {
    const OwnThread mark;
    runMarked();
  }
  // Last touch of this object: the controller may free it once it sees this.
  running_.store(false, std::memory_order_release);
}

void CabExtractor::runMarked() {
  // Nothing is written, not even by the counting pass, unless the cabinet
  // stands alone.
  // Without a held folder, members must land in the target folder as it
  // is made here (each missing level, as for a member's folders); one that
  // cannot be opened as a plain folder takes none.
  if (heldFolder_.empty()) {
    for (const std::string& level : enclosingFolders(targetFolder_)) ::CreateDirectoryA(level.c_str(), nullptr);
    heldFolder_ = finalPathOfFolder(targetFolder_);
  }
  if (heldFolder_.empty()) {
    fail([&] { return std::string("the game folder could not be opened as a plain folder"); });
  } else if (!stop_.load(std::memory_order_acquire) && !cabinetStandsAlone()) {
    fail([&] {
      return std::string(
          "the package is no single cabinet: its header names another cabinet, or a member goes on in one");
    });
  } else if (!stop_.load(std::memory_order_acquire) && runPasses()) {
    succeeded_.store(true, std::memory_order_release);
  } else if (!stop_.load(std::memory_order_acquire)) {
    fail([&] {
      return std::string("cabinet.dll could not read the cabinet (FDI error " + std::to_string(error_.erfOper) + ")");
    });
  }
  destroyContext();
  // Closed before the end is seen, so that the owner can delete the cabinet
  // as soon as it sees the run ended.
  cabinetFile_.reset();
}

bool CabExtractor::cabinetStandsAlone() const noexcept {
  const INT_PTR opened = openCabinet(_O_RDONLY | _O_BINARY);
  if (opened == -1) return false;
  const int cabinet = static_cast<int>(opened);
  bool alone = false;
  unsigned char fixed[kCabinetHeaderSize];
  CabinetHeader header;
  if (::_read(cabinet, fixed, sizeof fixed) == static_cast<int>(sizeof fixed) &&
      parseCabinetHeader(fixed, sizeof fixed, header) && !namesOtherCabinets(header) &&
      ::_lseek(cabinet, static_cast<long>(header.membersOffset), SEEK_SET) == static_cast<long>(header.membersOffset)) {
    // As many bytes as the entries can take; fewer at the end of the file.
    // Out of memory, the cabinet is not vouched for.
    const std::size_t most = static_cast<std::size_t>(header.memberCount) * kMaxMemberEntrySize;
    std::unique_ptr<unsigned char[]> entries(new (std::nothrow) unsigned char[most + 1]);
    const int got = entries ? ::_read(cabinet, entries.get(), static_cast<unsigned>(most)) : -1;
    alone = got >= 0 && membersStayInside(header, entries.get(), static_cast<std::size_t>(got));
  }
  ::_close(cabinet);
  return alone;
}

void CabExtractor::destroyContext() noexcept {
  if (context_ == nullptr) return;
  auto fdiDestroy = procAddress<decltype(&::FDIDestroy)>(cabinetLibrary_.get(), "FDIDestroy");
  if (fdiDestroy != nullptr) fdiDestroy(context_);
  context_ = nullptr;
}

}  // namespace fyrel
