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
#include "download/url_parts.h"

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

  std::atomic<bool> running{true};
  std::atomic<bool> succeeded{false};
  std::atomic<bool> writeFailed{false};
  std::atomic<std::uint32_t> statusCode{0};
  std::atomic<std::uint32_t> totalBytes{0};
  std::atomic<std::uint32_t> receivedBytes{0};

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

  // The WinHTTP handles of one attempt, request closed first.
  struct Connection {
    UniqueWinHttp session;
    UniqueWinHttp connect;
    UniqueWinHttp request;
  };

  // Owner's side: stop() and the header bound.
  void abandon();
  bool headersOverdue() const noexcept;

  // Worker's side.
  void run() noexcept;
  bool attempt(Connection& connection);
  bool openFile();
  bool sendFollowingRedirects(Connection& connection);
  bool readBody(HINTERNET request);
  bool writeOut(std::vector<char>& pending);
};

}  // namespace fyrel
