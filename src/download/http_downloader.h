// Fetches one file over HTTP (WinINet) on a worker thread of its own,
// straight into a local file, with counters the controller polls.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/unique_handle.h"

namespace fyrel {

class HttpDownloader {
 public:
  HttpDownloader() noexcept;
  virtual ~HttpDownloader();  // stops a running transfer first
  HttpDownloader(const HttpDownloader&) = delete;
  HttpDownloader& operator=(const HttpDownloader&) = delete;

  // Splits url and begins the transfer; starts nothing when the split fails.
  void start(const std::string& url, const std::string& localPath);
  // Stops a running transfer, then starts a new one on a new worker thread.
  void begin(const std::string& host, const std::string& path, const std::string& localPath);
  // Ends a running transfer (closing its handles) and returns only after the
  // worker's last access to this object. Returns at once when idle.
  void stop();

  // Read by the controller on every tick, without a lock. The worker writes
  // succeeded and the counters before it clears running (release), so a
  // reader that saw running clear (acquire) sees the final values.
  bool running() const noexcept;
  bool succeeded() const noexcept;
  std::uint32_t receivedBytes() const noexcept;
  std::uint32_t totalBytes() const noexcept;
  std::uint32_t statusCode() const noexcept;

 private:
  static DWORD WINAPI threadMain(LPVOID self);
  void run();
  void attempt();
  void release();
  void closeHandles() noexcept;

  // Each field owns its WinINet handle; whoever closes one takes it out of
  // the field first (into a UniqueInternet), so the worker and stop() can
  // both close and each handle is still closed exactly once.
  std::atomic<HINTERNET> internetHandle_{nullptr};
  std::atomic<HINTERNET> connectHandle_{nullptr};
  std::atomic<HINTERNET> requestHandle_{nullptr};
  std::FILE* localFile_ = nullptr;  // touched by the worker only
  std::string host_;
  std::string path_;
  std::string localPath_;
  UniqueKernelHandle thread_;  // the worker; waited for and closed by stop() on the controller's thread

  std::atomic<bool> running_{false};
  std::atomic<bool> requestSent_{false};
  std::atomic<bool> succeeded_{false};
  std::atomic<bool> lengthKnown_{false};
  std::atomic<std::uint32_t> statusCode_{0};
  std::atomic<std::uint32_t> totalBytes_{0};
  std::atomic<std::uint32_t> receivedBytes_{0};
};

}  // namespace fyrel
