// Runs one signature check of a downloaded package on a thread of its own,
// so that the host's window thread, which only polls the outcome on its
// timer steps, keeps answering its messages. What is left of the check once
// the download hashed the package is short (the trailer window's hash, the
// cut, one RSA operation), but a file system may still take its time over
// the cut.
// The checking itself stays in SignatureVerifier: this class only owns the
// thread, the outcome and the way to stop it.
#pragma once

#include <windows.h>

#include <atomic>

#include "common/background_step.h"
#include "common/unique_handle.h"
#include "verify/package_hashes.h"

namespace fyrel {

class SignatureVerifier;

class SignatureCheckWorker {
 public:
  // The verifier must outlive this worker; it is used by one check at a
  // time, and only by the worker's thread while a check runs.
  explicit SignatureCheckWorker(SignatureVerifier& verifier) noexcept;
  // Stops a running check and waits for its thread: the verifier and this
  // module may go right after.
  virtual ~SignatureCheckWorker();
  SignatureCheckWorker(const SignatureCheckWorker&) = delete;
  SignatureCheckWorker& operator=(const SignatureCheckWorker&) = delete;

  // Begins SignatureVerifier::verifyDownloaded of the package the download
  // left open and hashed. When no thread can be started the check runs to
  // its end here instead: the outcome is the same, only later. False when a
  // check is still running (the package is then closed).
  bool start(UniqueFile package, PackageHashes hashes);

  // Read by the controller on every tick. The thread writes succeeded
  // before it clears running (release); a reader that saw running clear
  // (acquire) sees the outcome, and the verifier is free again.
  bool running() const noexcept { return step_.running(); }
  bool succeeded() const noexcept { return succeeded_.load(std::memory_order_acquire); }

 private:
  static void run(void* worker) noexcept;

  SignatureVerifier& verifier_;
  // Handed over before the thread starts, then the thread's alone.
  UniqueFile package_;
  PackageHashes hashes_;
  std::atomic<bool> succeeded_{false};
  // Last: destroyed first, it waits for the thread that uses the above.
  BackgroundStep step_;
};

}  // namespace fyrel
