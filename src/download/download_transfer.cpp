#include "download/download_transfer.h"

#include "download/body_limit.h"

namespace fyrel {
namespace {

constexpr char kAgent[] = "Mozilla/4.0 (compatible; fyrel)";
constexpr DWORD kReadSize = 1024;
constexpr std::size_t kWriteBufferSize = 64 * 1024;
// Every attempt must come from the server. Without these flags WinINet keeps
// a copy of each package in its URL cache (a second full write of a big
// file) and may answer a later request for the same address from that copy;
// the controller's restarts ask for the same address again, and an old or
// cut-off package from a cache must never stand in for the server's.
// Redirects are followed by attempt(), never by WinINet. Nothing here lets
// a certificate problem pass: an https answer comes from a server whose
// certificate chains to a trusted root, names it and is in date, or not at
// all.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_AUTO_REDIRECT;
// The package request's connection is never kept for reuse: a connection
// that could be reused is read to the end of its announced body when its
// request is closed, and a stopped transfer would go on downloading with the
// module pinned. (Wine's WinINet reads the rest whatever the connection;
// closing there ends only when the server stops sending.)
constexpr char kNoKeepAlive[] = "Connection: close\r\n";
// Hops of redirection a request may take before the package must come.
constexpr int kMaxRedirects = 10;

bool isRedirect(DWORD status) noexcept {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// A server that accepts the connection and then says nothing would block
// the worker forever where the platform's handle close does not end a
// waiting read (Wine): every wait on the server is bounded, as Windows
// bounds it by default, so such a transfer fails (and is restarted if it
// had received bytes) instead of hanging the loading screen. A server that
// keeps sending headers a byte at a time is bounded by the owner's poll
// (HttpDownloader::running).
void limitWaits(HINTERNET handle) {
  DWORD timeout = kHeaderWaitMs;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
    ::InternetSetOptionA(handle, option, &timeout, sizeof timeout);  // best effort
}

}  // namespace

void HttpDownloader::Transfer::abandon() {
  std::lock_guard<std::mutex> guard(lock);
  stopped.store(true, std::memory_order_release);
  file.reset();
}

bool HttpDownloader::Transfer::headersOverdue() const noexcept {
  if (!awaitingHeaders.load(std::memory_order_acquire)) return false;
  // Unsigned difference: right across the tick count's wrap.
  return ::GetTickCount() - sentAt.load(std::memory_order_relaxed) >= kHeaderWaitMs;
}

void HttpDownloader::Transfer::run() noexcept {
  // Declared first, so closed last: after the outcome is out.
  Connection connection;
  bool complete = false;
  try {
    complete = attempt(connection);
  } catch (...) {
    complete = false;  // an allocation failed: a failed attempt
  }
  awaitingHeaders.store(false, std::memory_order_relaxed);
  {
    std::lock_guard<std::mutex> guard(lock);
    file.reset();
    if (complete && !stopped.load(std::memory_order_relaxed)) succeeded.store(true, std::memory_order_relaxed);
  }
  running.store(false, std::memory_order_release);  // outcome and counters first
}

bool HttpDownloader::Transfer::openFile() {
  std::lock_guard<std::mutex> guard(lock);
  // Once stopped, the path may belong to a newer transfer: not even emptied.
  if (stopped.load(std::memory_order_relaxed)) return false;
  // The sharing of the runtime's "wb": readers and writers may open it too.
  file.reset(::CreateFileA(localPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file);
}

bool HttpDownloader::Transfer::writeOut(std::vector<char>& pending) {
  // Called with `lock` held. A package that did not reach the disk whole
  // must never count as complete: a failed write ends the attempt, and
  // tells the owner that trying again is no use.
  if (pending.empty()) return true;
  DWORD written = 0;
  const auto size = static_cast<DWORD>(pending.size());
  const bool ok = ::WriteFile(file.get(), pending.data(), size, &written, nullptr) && written == size;
  pending.clear();
  if (!ok) writeFailed.store(true, std::memory_order_relaxed);
  return ok;
}

bool HttpDownloader::Transfer::sendFollowingRedirects(Connection& connection) {
  UniqueInternet& connect = connection.connect;
  UniqueInternet& request = connection.request;
  // Redirects are followed here, not by WinINet, which follows them without
  // end: a server that redirects to itself would keep the attempt busy for
  // ever, with no report. A few hops are allowed; one more fails the attempt.
  UrlParts hop = target;
  for (int hops = 0;; ++hops) {
    request.reset();  // the last hop's, before the connection it belongs to
    // An IPv6 server keeps its brackets: WinINet writes the Host line from
    // the name as given ("[::1]:8080"; without them "::1:8080").
    connect.reset(::InternetConnectA(connection.internet.get(), hop.host.c_str(), hop.port, nullptr, nullptr,
                                     INTERNET_SERVICE_HTTP, 0, 0));
    if (!connect || stopped.load(std::memory_order_acquire)) return false;
    const DWORD flags = kRequestFlags | (hop.secure ? INTERNET_FLAG_SECURE : 0);
    request.reset(::HttpOpenRequestA(connect.get(), "GET", hop.path.c_str(), "HTTP/1.1", nullptr, nullptr, flags, 0));
    if (!request || stopped.load(std::memory_order_acquire)) return false;
    limitWaits(request.get());

    sentAt.store(::GetTickCount(), std::memory_order_relaxed);
    awaitingHeaders.store(true, std::memory_order_release);
    const bool answered =
        ::HttpSendRequestA(request.get(), kNoKeepAlive, static_cast<DWORD>(sizeof kNoKeepAlive - 1), nullptr, 0);
    // Checked here too, for an owner that does not poll: headers that came
    // late count as none.
    const bool late = headersOverdue();
    awaitingHeaders.store(false, std::memory_order_relaxed);
    if (!answered || late || stopped.load(std::memory_order_acquire)) return false;

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
      return false;
    statusCode.store(status, std::memory_order_relaxed);
    if (!isRedirect(status)) return status >= 200 && status <= 299;
    if (hops == kMaxRedirects) return false;
    char location[2048] = {};
    size = sizeof location - 1;
    UrlParts next;
    // A step down from https to http is refused by redirectTarget: the
    // package asked for over TLS never comes in clear text.
    if (!::HttpQueryInfoA(request.get(), HTTP_QUERY_LOCATION, location, &size, nullptr) ||
        !redirectTarget(hop, std::string(location, size), next))
      return false;
    hop = next;
  }
}

bool HttpDownloader::Transfer::attempt(Connection& connection) {
  if (!openFile()) return false;
  connection.internet.reset(::InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!connection.internet || stopped.load(std::memory_order_acquire)) return false;
  if (!sendFollowingRedirects(connection)) return false;
  return readBody(connection.request.get());
}

bool HttpDownloader::Transfer::readBody(HINTERNET request) {
  // Read as text: a length of 4 GiB or more must not wrap into a small one.
  char lengthText[32] = {};
  DWORD size = sizeof lengthText - 1;
  std::uint64_t announced = 0;
  if (!::HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, lengthText, &size, nullptr) ||
      !parseContentLength(lengthText, announced))
    announced = 0;  // no usable length: the body runs until the server ends it
  // A package this large could not be counted, cut or hashed: refused
  // before a byte of it is read.
  if (announced > bodyLimit) return false;
  const auto length = static_cast<std::uint32_t>(announced);
  const bool lengthKnown = length != 0;
  totalBytes.store(length, std::memory_order_relaxed);

  // A bound of the body, announced or not: with a length, one byte more
  // than announced ends the attempt; without, the limit does.
  const std::uint32_t bound = lengthKnown ? length : bodyLimit;
  std::vector<char> pending;
  pending.reserve(kWriteBufferSize);
  char buffer[kReadSize];
  std::uint32_t received = 0;
  for (;;) {
    if (stopped.load(std::memory_order_acquire)) return false;
    // Only what has arrived is read: a read that asked for more would wait
    // for it, and a server that drips one byte at a time would hold the
    // worker for as long as it liked. Asking first also lets WinINet fill
    // its own receive buffer, from which the small reads are served (Wine
    // otherwise makes one socket receive per read). The query waits for at
    // least one byte, or the end of the body (0), bounded by the receive
    // timeout; a failed query is a failed read.
    DWORD available = 0;
    if (!::InternetQueryDataAvailable(request, &available, 0, 0)) return false;
    const DWORD want = available == 0 || available > kReadSize ? kReadSize : available;
    DWORD n = 0;
    if (!::InternetReadFile(request, buffer, want, &n)) return false;
    if (n == 0) break;

    std::lock_guard<std::mutex> guard(lock);
    if (stopped.load(std::memory_order_relaxed)) return false;
    // received never exceeds bound (at most 2 GiB - 1) before this sum, so
    // it cannot wrap.
    received += n;
    receivedBytes.store(received, std::memory_order_relaxed);
    if (received > bound) return false;
    pending.insert(pending.end(), buffer, buffer + n);
    if (pending.size() >= kWriteBufferSize && !writeOut(pending)) return false;
  }

  std::lock_guard<std::mutex> guard(lock);
  if (stopped.load(std::memory_order_relaxed) || !writeOut(pending)) return false;
  // The handle holds no bytes of its own (no runtime buffer): closing it
  // loses nothing, and a failed close means nothing for the data written.
  file.reset();
  // An empty body is no package: a failed download (final, with no byte
  // received), not a package that fails its signature check.
  return received != 0 && (!lengthKnown || received == length);
}

}  // namespace fyrel
