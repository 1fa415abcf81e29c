// One transfer of the downloader: what the owner and the worker share, and
// the worker's side of it (request, redirects, body into the file).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "common/unique_winhttp.h"
#include "download/http_downloader.h"
#include "download/range_answer.h"
#include "download/url_parts.h"
#include "verify/package_hashes.h"

namespace fyrel {

// Everything one transfer shares between the downloader and its worker.
// The worker never touches the downloader itself, only this block, which it
// co-owns; so deleting the downloader (and the extension) never waits for
// the network. The WinHTTP handles are the worker's alone: closing them
// from another thread would make that thread wait for the worker's blocked
// read (Wine).
struct HttpDownloader::Transfer {
  UrlParts target;
  std::string localPath;
  std::wstring heldFolder;  // where localPath must land (storage/checked_file.h)
  std::uint32_t bodyLimit = 0;
  // What the bytes already on disk may go on from; nothing resumable: the
  // file is emptied first, as always.
  ResumePoint from;

  std::atomic<bool> running{true};
  std::atomic<bool> succeeded{false};
  std::atomic<bool> writeFailed{false};
  std::atomic<std::uint32_t> statusCode{0};
  std::atomic<std::uint32_t> totalBytes{0};
  // Bytes of the package on disk, those of earlier attempts included, and
  // how many of them this transfer found there (its added bytes are the
  // difference). Both move together when the file is emptied.
  std::atomic<std::uint32_t> receivedBytes{0};
  std::atomic<std::uint32_t> startOffset{0};
  // The attempt failed in a way that may pass (a refused or reset
  // connection, a timeout, a server's "not now"), and the pause the server
  // asked for, if any.
  std::atomic<bool> transient{false};
  std::atomic<bool> retryAfterGiven{false};
  std::atomic<std::uint32_t> retryAfterMs{0};

  // While the worker waits for an answer's headers: when it sent the
  // request (GetTickCount). Written by the worker before it sets
  // `awaitingHeaders` (release); read by the owner's poll after it saw the
  // flag set (acquire).
  std::atomic<bool> awaitingHeaders{false};
  std::atomic<DWORD> sentAt{0};

  // Taken by the worker around every use of the file and every change of
  // the values above once the body flows, and by abandon(), which raises
  // `stopped` and closes the file under it: after that no byte of this
  // transfer reaches the file, which a new transfer may already be
  // writing. Held for one local file write at most, never across a network
  // call.
  std::mutex lock;
  std::atomic<bool> stopped{false};  // written under `lock`
  UniqueFile file;
  // Every byte in the file, taken as it is written (and, for a part on
  // disk, read once through `file` before anything is appended). Under
  // `lock`, like the file; after a complete transfer both wait there,
  // the file still open, for the owner to take them.
  PackageHashes hashes;
  // The owner keeps the part a failed attempt wrote open for its next
  // attempt (HttpDownloader::keepFailedPartOpen); set before the start.
  bool keepFailedPart = false;
  // `file` and `hashes` came from the failed attempt before this one,
  // still open; the worker goes on in them when they still fit `from`.
  bool partCarried = false;

  // The answer that began the bytes on disk, as a later attempt needs it,
  // and whether it changed since the owner last took it. Starts as `from`;
  // replaced when a whole answer begins the file anew. Its own lock: the
  // owner reads it on its ticks and must not wait for a file write.
  mutable std::mutex learnedLock;
  ResumePoint learned;
  bool learnedChanged = false;

  // What ended the attempt and the redirects it took, for the line that
  // explains it: the first cause stands. Its own lock: the owner reads them
  // once the transfer is over for it, while an abandoned worker may still
  // be on its way out. The certificate problems come from WinHTTP's
  // callback on the worker's thread.
  mutable std::mutex reportLock;
  std::string failure;
  std::string redirects;
  std::atomic<std::uint32_t> certificateProblems{0};

  // The WinHTTP handles of one attempt, request closed first.
  struct Connection {
    UniqueWinHttp session;
    UniqueWinHttp connect;
    UniqueWinHttp request;
  };

  // Owner's side: stop(), the header bound and the package.
  void abandon();
  bool headersOverdue() const noexcept;
  bool takePackage(UniqueFile& package, PackageHashes& packageHashes);
  // The part a failed attempt left open, with its hashes, for the next
  // attempt; false when there is none (the transfer ran, succeeded, was
  // stopped, or its file is closed).
  bool takeFailedPart(UniqueFile& part, PackageHashes& partHashes);

  // Worker's side.
  void run() noexcept;
  bool attempt(Connection& connection);
  // The file to write, positioned at its end; onDisk its bytes kept, and
  // hashed already when the part came open from the attempt before.
  bool openFile(std::uint32_t& onDisk, bool& hashed);
  bool goOnInCarriedPart(std::uint32_t& onDisk);
  bool hashBytesOnDisk(std::uint32_t onDisk);
  bool emptyFile();
  // The answer's status once one that is no redirect came; false when none
  // did. A request made with `resume` asks for the bytes after `onDisk`
  // from the address that gave the validator.
  bool sendFollowingRedirects(Connection& connection, const ResumePoint* resume, std::uint32_t onDisk, DWORD& status,
                              UrlParts& answeredBy);
  bool readWholeBody(HINTERNET request, DWORD status, const UrlParts& answeredBy);
  bool readBody(HINTERNET request, std::uint32_t offset, std::uint32_t total);
  bool writeOut(std::vector<char>& pending);
  void setProgress(std::uint32_t received, std::uint32_t total) noexcept;
  void learn(const ResumePoint& point);
  void noteTransient(DWORD error) noexcept;
  // Records why the attempt ends (unless a cause is recorded already);
  // false, for the caller to return.
  bool fail(const std::string& why);
  // A platform call failed: its error by name, and for a TLS failure the
  // certificate's problems.
  bool failWithError(const char* during, DWORD error);
  // The answer's headers did not come within kHeaderWaitMs: a timeout,
  // worth another try. Seen by the worker or by the owner's poll, whichever
  // comes first. Never throws.
  bool failHeadersLate() noexcept;
  std::string report() const;
};

}  // namespace fyrel
