#include "download/http_downloader.h"

#include <memory>
#include <mutex>

#include "common/own_threads.h"
#include "download/body_limit.h"
#include "download/download_transfer.h"
#include "download/worker_thread.h"

namespace fyrel {

CreateThreadFn downloadThreadStarter = ::CreateThread;

namespace detail {
std::uint32_t downloadBodyLimit = kMaxPackageBytes;
}  // namespace detail

namespace {

// Any address inside this module: the worker pins the module through it.
const char moduleAnchor = 0;

}  // namespace

struct HttpDownloader::ThreadStart {
  std::shared_ptr<Transfer> transfer;
  HMODULE module;  // a reference to this module, given back as the thread ends
};

HttpDownloader::HttpDownloader() noexcept = default;

HttpDownloader::~HttpDownloader() { stop(); }

void HttpDownloader::start(const std::string& url, const std::string& localPath, const std::wstring& heldFolder,
                           const ResumePoint& from) {
  if (transfer_) transfer_->succeeded.store(false, std::memory_order_release);
  UrlParts parts;
  if (!splitUrl(url, parts)) return;
  begin(parts, localPath, heldFolder, from);
}

void HttpDownloader::begin(const UrlParts& target, const std::string& localPath, const std::wstring& heldFolder,
                           const ResumePoint& from) {
  // The part the last attempt left open goes on in the new transfer
  // (checked there against `from`); taken before stop() would close it.
  UniqueFile part;
  PackageHashes partHashes{PackageHashes::empty};
  // Only for the same file in the same held folder: a part is never carried
  // into another file's transfer.
  const bool carried = keepFailedPart_ && from.resumable() && transfer_ && transfer_->localPath == localPath &&
                       transfer_->heldFolder == heldFolder && transfer_->takeFailedPart(part, partHashes);
  stop();
  if (transfer_) transfer_->succeeded.store(false, std::memory_order_release);
  if (target.host.empty() || target.path.empty()) return;

  // Everything that can throw comes first: once the module is pinned and
  // the transfer published as running, only the thread's start is left,
  // and its failure is handled below. A throw after them would leave the
  // controller waiting for a worker that never ran, with the module
  // pinned for good.
  auto transfer = std::make_shared<Transfer>();
  transfer->target = target;
  transfer->localPath = localPath;
  transfer->heldFolder = heldFolder;
  transfer->bodyLimit = detail::downloadBodyLimit;
  transfer->keepFailedPart = keepFailedPart_;
  if (carried) {
    transfer->file = std::move(part);
    transfer->hashes = std::move(partHashes);
    transfer->partCarried = true;
  }
  if (from.resumable()) {
    transfer->from = from;
    transfer->learned = from;
    // The display goes on from the bytes on disk rather than from 0 while
    // the worker opens the file (which corrects it).
    const std::uint32_t onDisk = from.onDisk < from.total ? from.onDisk : 0;
    transfer->totalBytes.store(from.total, std::memory_order_relaxed);
    transfer->receivedBytes.store(onDisk, std::memory_order_relaxed);
    transfer->startOffset.store(onDisk, std::memory_order_relaxed);
  }
  auto start = std::make_unique<ThreadStart>(ThreadStart{transfer, nullptr});

  // The module reference is taken here, before the thread exists, so the
  // host cannot unload the module between the thread's start and its first
  // step; the worker gives it back with its very last call.
  HMODULE module = nullptr;
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, &moduleAnchor, &module)) module = nullptr;
  start->module = module;
  transfer_ = std::move(transfer);
  UniqueKernelHandle thread(downloadThreadStarter(nullptr, 0, &HttpDownloader::threadMain, start.get(), 0, nullptr));
  if (thread) {
    start.release();  // the worker's now
    return;           // never joined: the worker ends by itself, and nothing waits for it
  }
  if (module != nullptr) ::FreeLibrary(module);
  // Without a worker nobody would ever clear the flag and the controller
  // would wait forever; cleared, it reads as a finished, failed download.
  transfer_->running.store(false, std::memory_order_release);
}

void HttpDownloader::stop() {
  if (transfer_) transfer_->abandon();
}

bool HttpDownloader::running() const noexcept {
  if (!transfer_) return false;
  // The owner's poll is what bounds the header stage: the worker itself
  // may be blocked in WinHTTP past the bound.
  if (transfer_->headersOverdue()) {
    transfer_->failHeadersLate();
    transfer_->abandon();
  }
  // A stopped worker may still wait for the network, but its transfer is
  // over for the owner.
  return transfer_->running.load(std::memory_order_acquire) && !transfer_->stopped.load(std::memory_order_acquire);
}
std::string HttpDownloader::attemptReport() const { return transfer_ ? transfer_->report() : std::string(); }
bool HttpDownloader::succeeded() const noexcept {
  return transfer_ && transfer_->succeeded.load(std::memory_order_acquire);
}
std::uint32_t HttpDownloader::receivedBytes() const noexcept {
  return transfer_ ? transfer_->receivedBytes.load(std::memory_order_acquire) : 0;
}
std::uint32_t HttpDownloader::totalBytes() const noexcept {
  return transfer_ ? transfer_->totalBytes.load(std::memory_order_acquire) : 0;
}
std::uint32_t HttpDownloader::statusCode() const noexcept {
  return transfer_ ? transfer_->statusCode.load(std::memory_order_acquire) : 0;
}
bool HttpDownloader::writeFailed() const noexcept {
  return transfer_ && transfer_->writeFailed.load(std::memory_order_acquire);
}

void HttpDownloader::progress(std::uint32_t& received, std::uint32_t& total) const noexcept {
  received = receivedBytes();
  total = totalBytes();
  if (total != 0 && received > total) received = total;
}
std::uint32_t HttpDownloader::addedBytes() const noexcept {
  if (!transfer_) return 0;
  const std::uint32_t received = transfer_->receivedBytes.load(std::memory_order_acquire);
  const std::uint32_t start = transfer_->startOffset.load(std::memory_order_acquire);
  return received > start ? received - start : 0;
}
bool HttpDownloader::resumed() const noexcept {
  return transfer_ && transfer_->startOffset.load(std::memory_order_acquire) != 0;
}
bool HttpDownloader::transientFailure() const noexcept {
  return transfer_ && transfer_->transient.load(std::memory_order_acquire);
}
bool HttpDownloader::retryAfter(std::uint32_t& ms) const noexcept {
  if (!transfer_ || !transfer_->retryAfterGiven.load(std::memory_order_acquire)) return false;
  ms = transfer_->retryAfterMs.load(std::memory_order_acquire);
  return true;
}
bool HttpDownloader::takePackage(UniqueFile& package, PackageHashes& hashes) {
  return transfer_ && transfer_->takePackage(package, hashes);
}
ResumePoint HttpDownloader::resumePoint() const {
  if (!transfer_) return ResumePoint();
  std::lock_guard<std::mutex> guard(transfer_->learnedLock);
  ResumePoint point = transfer_->learned;
  point.onDisk = transfer_->receivedBytes.load(std::memory_order_acquire);
  return point;
}
bool HttpDownloader::takeChangedResumePoint(ResumePoint& point) {
  if (!transfer_) return false;
  std::lock_guard<std::mutex> guard(transfer_->learnedLock);
  if (!transfer_->learnedChanged) return false;
  transfer_->learnedChanged = false;
  point = transfer_->learned;
  return true;
}

DWORD WINAPI HttpDownloader::threadMain(LPVOID argument) noexcept {
  HMODULE module = nullptr;
  {
    const OwnThread mark;
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
    module = start->module;
    start->transfer->run();
    // The transfer may be freed here, by its last owner, with the module
    // still loaded.
  }
  if (module != nullptr) ::FreeLibraryAndExitThread(module, 0);
  return 0;
}

}  // namespace fyrel
