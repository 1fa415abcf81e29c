#include "verify/signature_check_worker.h"

#include <utility>

#include "verify/signature_verifier.h"

namespace fyrel {

SignatureCheckWorker::SignatureCheckWorker(SignatureVerifier& verifier) noexcept : verifier_(verifier) {}

// The check is short once the download hashed the package: waiting for it
// (step_, destroyed first) is no longer than a step.
SignatureCheckWorker::~SignatureCheckWorker() = default;

bool SignatureCheckWorker::start(UniqueFile package, PackageHashes hashes) {
  if (running()) return false;
  // The step waits for the last check's thread, which may still be on its
  // way out, before anything it used is replaced.
  step_.wait();
  package_ = std::move(package);
  hashes_ = std::move(hashes);
  succeeded_.store(false, std::memory_order_relaxed);
  step_.start(&SignatureCheckWorker::run, this);
  return true;
}

void SignatureCheckWorker::run(void* worker) noexcept {
  auto& self = *static_cast<SignatureCheckWorker*>(worker);
  bool good = false;
  try {
    // The hashes' held bytes go with this check, not with the next one.
    PackageHashes hashes = std::move(self.hashes_);
    good = self.verifier_.verifyDownloaded(std::move(self.package_), hashes);
  } catch (...) {
    // Out of memory for a path or the signature: a check that could not be
    // made is a failed one, and nothing may leave the thread.
  }
  // Before the step reads as finished (release): a reader that saw it
  // finish sees the outcome.
  self.succeeded_.store(good, std::memory_order_release);
}

}  // namespace fyrel
