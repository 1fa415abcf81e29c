#include "download/http_downloader.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "download/body_limit.h"
#include "download/url_parts.h"
#include "download/worker_thread.h"

namespace fyrel {

CreateThreadFn downloadThreadStarter = ::CreateThread;

namespace detail {
std::uint32_t downloadBodyLimit = kMaxPackageBytes;
}  // namespace detail

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
// Hops of redirection a request may take before the package must come.
constexpr int kMaxRedirects = 10;
bool isRedirect(DWORD status) noexcept {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// A server that accepts the connection and then says nothing would block
// the worker forever where the platform's handle close does not end a
// waiting read (Wine): every wait on the server is bounded, as Windows
// bounds it by default, so such a transfer fails (and is restarted if it
// had received bytes) instead of hanging the loading screen.
constexpr DWORD kServerWaitMs = 20000;

void limitWaits(HINTERNET handle) {
  DWORD timeout = kServerWaitMs;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
    ::InternetSetOptionA(handle, option, &timeout, sizeof timeout);  // best effort
}

// Any address inside this module: the worker pins the module through it.
const char moduleAnchor = 0;

}  // namespace

// Everything one transfer shares between the downloader and its worker.
// The worker never touches the downloader itself, only this block, which it
// co-owns; so deleting the downloader (and the extension) never waits for
// the network. The WinINet handles are the worker's alone: closing them
// from another thread would make that thread wait for the worker's blocked
// read (Wine) or for WinINet to drain the rest of the body.
struct HttpDownloader::Transfer {
  std::string host;
  std::string path;
  std::string localPath;
  std::uint32_t bodyLimit = kMaxPackageBytes;

  std::atomic<bool> running{true};
  std::atomic<bool> succeeded{false};
  std::atomic<std::uint32_t> statusCode{0};
  std::atomic<std::uint32_t> totalBytes{0};
  std::atomic<std::uint32_t> receivedBytes{0};

  // Taken by the worker around every use of the file and every change of
  // the values above once the body flows, and by stop(), which raises
  // `stopped` and closes the file under it: after stop() no byte of this
  // transfer reaches the file, which a new transfer may already be
  // writing. Held for one local file write at most, never across a network
  // call.
  std::mutex lock;
  std::atomic<bool> stopped{false};  // written under `lock`
  UniqueFile file;

  // The WinINet handles of one attempt, request closed first.
  struct Connection {
    UniqueInternet internet;
    UniqueInternet connect;
    UniqueInternet request;
  };

  void run() noexcept;
  bool attempt(Connection& connection);
  bool openFile();
  bool writeOut(std::vector<char>& pending);
};

struct HttpDownloader::ThreadStart {
  std::shared_ptr<Transfer> transfer;
  HMODULE module;  // a reference to this module, given back as the thread ends
};

HttpDownloader::HttpDownloader() noexcept = default;

HttpDownloader::~HttpDownloader() { stop(); }

void HttpDownloader::start(const std::string& url, const std::string& localPath) {
  if (transfer_) transfer_->succeeded.store(false, std::memory_order_release);
  UrlParts parts;
  if (!splitUrl(url, parts)) return;
  begin(parts.host, parts.path, localPath);
}

void HttpDownloader::begin(const std::string& host, const std::string& path, const std::string& localPath) {
  stop();
  if (transfer_) transfer_->succeeded.store(false, std::memory_order_release);
  if (host.empty() || path.empty()) return;

  auto transfer = std::make_shared<Transfer>();
  transfer->host = host;
  transfer->path = path;
  transfer->localPath = localPath;
  transfer->bodyLimit = detail::downloadBodyLimit;
  transfer_ = transfer;

  // The module reference is taken here, before the thread exists, so the
  // host cannot unload the module between the thread's start and its first
  // step; the worker gives it back with its very last call.
  HMODULE module = nullptr;
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, &moduleAnchor, &module)) module = nullptr;
  auto* start = new ThreadStart{std::move(transfer), module};
  UniqueKernelHandle thread(downloadThreadStarter(nullptr, 0, &HttpDownloader::threadMain, start, 0, nullptr));
  if (!thread) {
    delete start;
    if (module != nullptr) ::FreeLibrary(module);
    // Without a worker nobody would ever clear the flag and the controller
    // would wait forever; cleared, it reads as a finished, failed download.
    transfer_->running.store(false, std::memory_order_release);
  }
  // Never joined: the worker ends by itself, and nothing waits for it.
}

void HttpDownloader::stop() {
  if (!transfer_) return;
  std::lock_guard<std::mutex> guard(transfer_->lock);
  transfer_->stopped.store(true, std::memory_order_release);
  transfer_->file.reset();
}

bool HttpDownloader::running() const noexcept {
  // A stopped worker may still wait for the network, but its transfer is
  // over for the owner.
  return transfer_ && transfer_->running.load(std::memory_order_acquire) &&
         !transfer_->stopped.load(std::memory_order_acquire);
}
bool HttpDownloader::succeeded() const noexcept {
  return transfer_ && transfer_->succeeded.load(std::memory_order_acquire);
}
std::uint32_t HttpDownloader::receivedBytes() const noexcept {
  return transfer_ ? transfer_->receivedBytes.load(std::memory_order_acquire) : 0;
}
std::uint32_t HttpDownloader::totalBytes() const noexcept {
  return transfer_ ? transfer_->totalBytes.load(std::memory_order_acquire) : 0;
}
std::uint32_t HttpDownloader::statusCode() const noexcept {
  return transfer_ ? transfer_->statusCode.load(std::memory_order_acquire) : 0;
}

DWORD WINAPI HttpDownloader::threadMain(LPVOID argument) noexcept {
  HMODULE module = nullptr;
  {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
    module = start->module;
    start->transfer->run();
    // The transfer may be freed here, by its last owner, with the module
    // still loaded.
  }
  if (module != nullptr) ::FreeLibraryAndExitThread(module, 0);
  return 0;
}

void HttpDownloader::Transfer::run() noexcept {
  // Declared first, so closed last: after the outcome is out. Closing a
  // request whose body has not been read to its announced end makes WinINet
  // read the rest first (for as long as bytes keep coming at once, on a
  // fast server gigabytes); that is the worker's own business, not the
  // owner's, who may already begin a new attempt or go.
  Connection connection;
  bool complete = false;
  try {
    complete = attempt(connection);
  } catch (...) {
    complete = false;  // an allocation failed: a failed attempt
  }
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
  // must never count as complete: a failed write ends the attempt.
  if (pending.empty()) return true;
  DWORD written = 0;
  const auto size = static_cast<DWORD>(pending.size());
  const bool ok = ::WriteFile(file.get(), pending.data(), size, &written, nullptr) && written == size;
  pending.clear();
  return ok;
}

bool HttpDownloader::Transfer::attempt(Connection& connection) {
  if (!openFile()) return false;

  UniqueInternet& internet = connection.internet;
  UniqueInternet& connect = connection.connect;
  UniqueInternet& request = connection.request;
  internet.reset(::InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!internet || stopped.load(std::memory_order_acquire)) return false;
  // Redirects are followed here, not by WinINet, which follows them without
  // end: a server that redirects to itself would keep the attempt busy for
  // ever, with no report. A few hops are allowed; one more fails the attempt.
  UrlParts target{host, path};
  DWORD status = 0;
  DWORD size = 0;
  for (int hops = 0;; ++hops) {
    request.reset();  // the last hop's, before the connection it belongs to
    connect.reset(

        ::InternetConnectA(internet.get(), target.host.c_str(), kPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connect || stopped.load(std::memory_order_acquire)) return false;
    request.reset(::HttpOpenRequestA(connect.get(), "GET", target.path.c_str(), "HTTP/1.1", nullptr, nullptr,
                                     kRequestFlags | INTERNET_FLAG_NO_AUTO_REDIRECT, 0));
    if (!request || stopped.load(std::memory_order_acquire)) return false;
    limitWaits(request.get());

    if (!::HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) return false;

    size = sizeof status;
    if (!::HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
      return false;
    statusCode.store(status, std::memory_order_relaxed);
    if (!isRedirect(status)) break;
    if (hops == kMaxRedirects || stopped.load(std::memory_order_acquire)) return false;
    char location[2048] = {};
    size = sizeof location - 1;
    UrlParts next;
    if (!::HttpQueryInfoA(request.get(), HTTP_QUERY_LOCATION, location, &size, nullptr) ||
        !redirectTarget(target, std::string(location, size), next))
      return false;
    target = next;
  }
  if (status < 200 || status > 299) return false;

  // Read as text: a length of 4 GiB or more must not wrap into a small one.
  char lengthText[32] = {};
  size = sizeof lengthText - 1;
  std::uint64_t announced = 0;
  if (!::HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH, lengthText, &size, nullptr) ||
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
    if (!::InternetQueryDataAvailable(request.get(), &available, 0, 0)) return false;
    const DWORD want = available == 0 || available > kReadSize ? kReadSize : available;
    DWORD n = 0;
    if (!::InternetReadFile(request.get(), buffer, want, &n)) return false;
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
