// Runs one signature check of a downloaded package on a thread of its own,
// so that the host's window thread, which only polls the outcome on its
// timer steps, keeps answering its messages while a large package is read.
// The checking itself stays in SignatureVerifier: this class only owns the
// thread, the outcome and the way to stop it.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "common/unique_handle.h"

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

  // Begins SignatureVerifier::verify of packagePath. When no thread can be
  // started the check runs to its end here instead: the outcome is the
  // same, only later. False when a check is still running.
  bool start(const std::string& packagePath, const std::wstring& heldFolder = {});

  // Read by the controller on every tick. The thread writes succeeded
  // before it clears running (release); a reader that saw running clear
  // (acquire) sees the outcome, and the verifier is free again.
  bool running() const noexcept { return running_.load(std::memory_order_acquire); }
  bool succeeded() const noexcept { return succeeded_.load(std::memory_order_acquire); }

 private:
  static DWORD WINAPI threadMain(LPVOID worker) noexcept;
  void run() noexcept;
  void waitForThread() noexcept;

  SignatureVerifier& verifier_;
  // Written before the thread starts, then only read by it.
  std::string packagePath_;
  std::wstring heldFolder_;
  UniqueKernelHandle thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> succeeded_{false};
  std::atomic<bool> stopRequested_{false};
};

}  // namespace fyrel
