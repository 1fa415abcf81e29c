#include "verify/signature_check_worker.h"

#include <utility>

#include "common/own_threads.h"
#include "verify/signature_verifier.h"

namespace fyrel {

SignatureCheckWorker::SignatureCheckWorker(SignatureVerifier& verifier) noexcept : verifier_(verifier) {}

// The check is short once the download hashed the package: waiting for it
// is no longer than a step.
SignatureCheckWorker::~SignatureCheckWorker() { waitForThread(); }

bool SignatureCheckWorker::start(UniqueFile package, PackageHashes hashes) {
  if (running()) return false;
  waitForThread();  // the last check's thread may still be on its way out
  package_ = std::move(package);
  hashes_ = std::move(hashes);
  succeeded_.store(false, std::memory_order_relaxed);
  running_.store(true, std::memory_order_release);
  thread_.reset(::CreateThread(nullptr, 0, &SignatureCheckWorker::threadMain, this, 0, nullptr));
  // A check that waits for a thread the system will not give may never
  // come: doing it here only makes this one step long.
  if (!thread_) run();
  return true;
}

DWORD WINAPI SignatureCheckWorker::threadMain(LPVOID worker) noexcept {
  {
    // Ours, not a game's: a game released while a check runs is unloaded.
    const OwnThread mark;
    static_cast<SignatureCheckWorker*>(worker)->run();
  }
  return 0;
}

void SignatureCheckWorker::run() noexcept {
  bool good = false;
  try {
    // The hashes' held bytes go with this check, not with the next one.
    PackageHashes hashes = std::move(hashes_);
    good = verifier_.verifyDownloaded(std::move(package_), hashes);
  } catch (...) {
    // Out of memory for a path or the signature: a check that could not be
    // made is a failed one, and nothing may leave the thread.
  }
  succeeded_.store(good, std::memory_order_release);
  // The last touch of this object's outcome: the controller acts on it as
  // soon as it reads running clear.
  running_.store(false, std::memory_order_release);
}

void SignatureCheckWorker::waitForThread() noexcept {
  if (!thread_) return;
  ::WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}

}  // namespace fyrel
