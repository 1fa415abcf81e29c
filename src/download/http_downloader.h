// Fetches one file over HTTP or HTTPS (WinHTTP, through the proxy the
// system's WinINet settings name) on a worker thread of its own, straight
// into a local file, with counters the controller polls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/unique_handle.h"
#include "download/range_answer.h"
#include "download/url_parts.h"
#include "verify/package_hashes.h"

namespace fyrel {

class HttpDownloader {
 public:
  HttpDownloader() noexcept;
  virtual ~HttpDownloader();  // stops a running transfer first
  HttpDownloader(const HttpDownloader&) = delete;
  HttpDownloader& operator=(const HttpDownloader&) = delete;

  // Splits url and begins the transfer; starts nothing when the split fails.
  // The local file must land in heldFolder, the final path of the folder
  // the caller holds (storage/checked_file.h); empty: in the folder
  // localPath names, checked as it is found. With a resumable point, bytes
  // already in the file (fewer than its total) are kept and only the rest
  // is asked for, from the address and with the validator of the answer
  // that began them; an answer that cannot continue them empties the file
  // and the package comes whole. Without one, the file is made fresh.
  void start(const std::string& url, const std::string& localPath, const std::wstring& heldFolder = {},
             const ResumePoint& from = ResumePoint());
  // Stops a running transfer, then starts a new one on a new worker thread.
  void begin(const UrlParts& target, const std::string& localPath, const std::wstring& heldFolder = {},
             const ResumePoint& from = ResumePoint());
  // Ends a running transfer without waiting for the network: once it
  // returns, the worker writes no byte more to the local file (which is
  // closed), changes none of the values below and touches nothing of this
  // object. The worker itself may live on for a while, blocked in WinHTTP;
  // it owns what it still uses and keeps this module loaded until it ends.
  // Returns at once when idle.
  void stop();

  // Read by the controller on every tick, without a lock. The worker writes
  // succeeded and the counters before it clears running (release), so a
  // reader that saw running clear (acquire) sees the final values.
  // running() also bounds the wait for an answer's headers (kHeaderWaitMs
  // from sending the request): a transfer still without them is abandoned
  // as stop() abandons it, and reads as finished and failed, with no byte
  // received. WinHTTP has no way to end a blocked header read from another
  // thread under Wine; the abandoned worker ends when the server gives up,
  // holding no lock and no file.
  bool running() const noexcept;
  bool succeeded() const noexcept;
  std::uint32_t receivedBytes() const noexcept;
  std::uint32_t totalBytes() const noexcept;
  std::uint32_t statusCode() const noexcept;
  // The local file could not take the bytes (disk full): no new attempt
  // can do better, unlike after a dropped connection.
  bool writeFailed() const noexcept;
  // receivedBytes() and totalBytes() read together for a display: never
  // more received than the total, when there is one.
  void progress(std::uint32_t& received, std::uint32_t& total) const noexcept;
  // receivedBytes() counts the bytes of the package in the file, those an
  // earlier attempt left there included; these are the ones the last
  // transfer added itself.
  std::uint32_t addedBytes() const noexcept;
  // The last transfer went on from bytes already on disk: a package that
  // completes so was put together from pieces.
  bool resumed() const noexcept;
  // The last transfer failed in a way that may pass: a refused or reset
  // connection, a timeout, or a server's 408, 429, 500, 502, 503 or 504.
  bool transientFailure() const noexcept;
  // The pause a failed answer asked for (Retry-After, at most 30 s).
  bool retryAfter(std::uint32_t& ms) const noexcept;
  // What ended the last transfer, in words a host team can act on (the
  // error by name, the status and reason, bytes, the redirects followed);
  // empty when it ended well or was stopped.
  std::string attemptReport() const;
  // The package of the last transfer, when it succeeded: its file still
  // open as it was written (read and write access, shared for reading
  // only, never closed since its first byte was hashed) and its hashes,
  // which took every byte of it. Once only; false when there is none.
  bool takePackage(UniqueFile& package, PackageHashes& hashes);
  // With true, a transfer that fails keeps the bytes it wrote open (read
  // and write access, shared for reading only) and hashed, and the next
  // begin() whose point goes on from them continues in that same handle:
  // nobody can change the part between two attempts, and it is not read
  // again. The part is closed by stop(), by a begin() that does not go on
  // from it, and by the destructor. Off by default: with it, the owner
  // must stop() before it deletes or moves the file.
  void keepFailedPartOpen(bool keep) noexcept { keepFailedPart_ = keep; }
  // Where the bytes in the file may go on from (nothing resumable when
  // they must not), with onDisk the bytes counted so far.
  ResumePoint resumePoint() const;
  // The same, only when it changed since the last call (true then).
  bool takeChangedResumePoint(ResumePoint& point);

 private:
  struct Transfer;
  struct ThreadStart;
  static DWORD WINAPI threadMain(LPVOID start) noexcept;

  // The current (or last) transfer, shared with its worker: whichever of the
  // two lets go last frees it, so a worker that outlives this object never
  // reaches freed memory.
  std::shared_ptr<Transfer> transfer_;
  bool keepFailedPart_ = false;
};

// The longest wait from sending a request to the end of its answer's
// headers, as long as the longest wait for one read of the body.
constexpr DWORD kHeaderWaitMs = 20000;

namespace detail {
// The body limit the worker applies, kMaxPackageBytes. Only a test lowers
// it: no test can send 2 GiB in reasonable time.
extern std::uint32_t downloadBodyLimit;
}  // namespace detail

}  // namespace fyrel
