#include "download/http_downloader.h"

#include "download/url_parts.h"
#include "download/worker_thread.h"

namespace fyrel {

CreateThreadFn downloadThreadStarter = ::CreateThread;

namespace {

constexpr char kAgent[] = "Mozilla/4.0 (compatible; fyrel)";
constexpr INTERNET_PORT kPort = 80;
constexpr DWORD kReadSize = 1024;
constexpr std::size_t kWriteBufferSize = 64 * 1024;
// Every attempt must come from the server. Without these flags WinINet keeps
// a copy of each package in its URL cache (a second full write of a big
// file) and may answer a later request for the same address from that copy;
// the controller's restarts ask for the same address again, and an old or
// cut-off package from a cache must never stand in for the server's.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;

void closeTaken(std::atomic<HINTERNET>& field) noexcept { UniqueInternet taken(field.exchange(nullptr)); }

}  // namespace

HttpDownloader::HttpDownloader() noexcept = default;

HttpDownloader::~HttpDownloader() { stop(); }

void HttpDownloader::start(const std::string& url, const std::string& localPath) {
  succeeded_.store(false, std::memory_order_release);
  UrlParts parts;
  if (!splitUrl(url, parts)) return;
  begin(parts.host, parts.path, localPath);
}

void HttpDownloader::begin(const std::string& host, const std::string& path, const std::string& localPath) {
  stop();
  succeeded_.store(false, std::memory_order_release);
  if (host.empty() || path.empty()) return;

  // No worker exists now, so these plain writes happen-before the new
  // thread's first read (thread creation orders them).
  host_ = host;
  path_ = path;
  localPath_ = localPath;
  statusCode_.store(0, std::memory_order_relaxed);
  totalBytes_.store(0, std::memory_order_relaxed);
  receivedBytes_.store(0, std::memory_order_relaxed);
  running_.store(true, std::memory_order_release);

  thread_.reset(downloadThreadStarter(nullptr, 0, &HttpDownloader::threadMain, this, 0, nullptr));
  // Without a worker nobody would ever clear the flag and the controller
  // would wait forever; cleared, it reads as a finished, failed download.
  if (!thread_) running_.store(false, std::memory_order_release);
}

void HttpDownloader::stop() {
  if (running_.load(std::memory_order_acquire)) {
    // The handles exist only once the request is about to go out; closing
    // earlier would miss the ones the worker has yet to open.
    while (!requestSent_.load(std::memory_order_acquire) && running_.load(std::memory_order_acquire)) ::Sleep(10);
    closeHandles();
    while (requestSent_.load(std::memory_order_acquire) || running_.load(std::memory_order_acquire)) ::Sleep(10);
  }
  // The worker clears running as its last access to this object, but its
  // thread still has to return; waiting for it means no thread outlives
  // stop(), even when the worker finished on its own long ago.
  if (thread_) {
    ::WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
  }
}

bool HttpDownloader::running() const noexcept { return running_.load(std::memory_order_acquire); }
bool HttpDownloader::succeeded() const noexcept { return succeeded_.load(std::memory_order_acquire); }
std::uint32_t HttpDownloader::receivedBytes() const noexcept { return receivedBytes_.load(std::memory_order_acquire); }
std::uint32_t HttpDownloader::totalBytes() const noexcept { return totalBytes_.load(std::memory_order_acquire); }
std::uint32_t HttpDownloader::statusCode() const noexcept { return statusCode_.load(std::memory_order_acquire); }

DWORD WINAPI HttpDownloader::threadMain(LPVOID self) {
  static_cast<HttpDownloader*>(self)->run();
  return 0;
}

void HttpDownloader::run() {
  attempt();
  release();
  requestSent_.store(false, std::memory_order_release);
  running_.store(false, std::memory_order_release);  // last access to *this
}

void HttpDownloader::release() {
  if (localFile_ != nullptr) {
    std::fclose(localFile_);
    localFile_ = nullptr;
  }
  closeHandles();
}

void HttpDownloader::closeHandles() noexcept {
  closeTaken(requestHandle_);
  closeTaken(connectHandle_);
  closeTaken(internetHandle_);
}

namespace {

// A server that accepts the connection and then says nothing would block
// the worker forever where the platform's handle close does not end a
// waiting read (Wine): every wait on the server is bounded, as Windows
// bounds it by default, so such a transfer fails (and is restarted if it
// had received bytes) instead of hanging the loading screen, and a stop
// waits at most this long.
constexpr DWORD kServerWaitMs = 20000;

void limitWaits(HINTERNET handle) {
  DWORD timeout = kServerWaitMs;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
    ::InternetSetOptionA(handle, option, &timeout, sizeof timeout);  // best effort
}

}  // namespace

void HttpDownloader::attempt() {
  statusCode_.store(0, std::memory_order_relaxed);

  localFile_ = std::fopen(localPath_.c_str(), "wb");
  if (localFile_ == nullptr) return;
  // Each piece still goes to the runtime as soon as it is read; the larger
  // buffer (the runtime's own, freed by fclose) means one file write per 64
  // pieces instead of one per four, which saves about a tenth of a 64 MB
  // transfer under Wine. Without it the default buffer serves.
  (void)std::setvbuf(localFile_, nullptr, _IOFBF, kWriteBufferSize);

  UniqueInternet internet(::InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!internet) return;
  HINTERNET internetRaw = internet.get();
  internetHandle_.store(internet.release());

  UniqueInternet connect(
      ::InternetConnectA(internetRaw, host_.c_str(), kPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connect) return;
  HINTERNET connectRaw = connect.get();
  connectHandle_.store(connect.release());

  UniqueInternet request(
      ::HttpOpenRequestA(connectRaw, "GET", path_.c_str(), "HTTP/1.1", nullptr, nullptr, kRequestFlags, 0));
  if (!request) return;
  limitWaits(request.get());
  requestHandle_.store(request.release());

  // From here on stop() may close the handles under us; every call below
  // then fails and the attempt ends.
  requestSent_.store(true, std::memory_order_release);
  if (!::HttpSendRequestA(requestHandle_.load(), nullptr, 0, nullptr, 0)) return;

  DWORD status = 0;
  DWORD size = sizeof status;
  if (!::HttpQueryInfoA(requestHandle_.load(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr))
    return;
  statusCode_.store(status, std::memory_order_relaxed);
  if (status < 200 || status > 299) return;

  DWORD length = 0;
  size = sizeof length;
  if (!::HttpQueryInfoA(requestHandle_.load(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size,
                        nullptr))
    length = 0;
  totalBytes_.store(length, std::memory_order_relaxed);
  lengthKnown_.store(length != 0, std::memory_order_relaxed);

  char buffer[kReadSize];
  std::uint32_t received = 0;
  for (;;) {
    // Asking what is available first lets WinINet fill its own receive
    // buffer, from which the small reads are then served. Without it some
    // WinINets (Wine's) make one socket receive per 1024-byte read, which
    // made a 64 MB transfer six times slower. A failed query is a failed
    // read: the connection broke or the server stopped answering.
    DWORD available = 0;
    if (!::InternetQueryDataAvailable(requestHandle_.load(), &available, 0, 0)) return;
    DWORD n = 0;
    if (!::InternetReadFile(requestHandle_.load(), buffer, kReadSize, &n)) return;
    if (n == 0) break;
    received += n;
    receivedBytes_.store(received, std::memory_order_relaxed);
    // A package that did not reach the disk whole must never count as
    // complete: a failed write (disk full, file gone) ends the attempt.
    if (std::fwrite(buffer, 1, n, localFile_) != n) return;
  }
  // The last buffered bytes can still fail on their way to the disk; the
  // runtime's fclose does not always report a failed final flush.
  const bool flushed = std::fflush(localFile_) == 0;
  const bool closed = std::fclose(localFile_) == 0;
  localFile_ = nullptr;
  if (!flushed || !closed) return;

  if (lengthKnown_.load(std::memory_order_relaxed) && received != length) return;
  succeeded_.store(true, std::memory_order_relaxed);
}

}  // namespace fyrel
