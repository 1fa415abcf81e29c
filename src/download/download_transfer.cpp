#include "download/download_transfer.h"

#include <string>

#include "download/body_limit.h"
#include "download/proxy_choice.h"
#include "download/system_proxy.h"
#include "storage/checked_file.h"

namespace fyrel {
namespace {

constexpr wchar_t kAgent[] = L"Mozilla/4.0 (compatible; fyrel)";
constexpr DWORD kReadSize = 1024;
constexpr std::size_t kWriteBufferSize = 64 * 1024;
// The request goes out exactly as composed here: the path already escaped
// (requestTarget), never re-encoded. "Pragma: no-cache" and "Cache-Control:
// no-cache" ask every cache on the way for the server's copy: the
// controller's restarts ask for the same address again, and an old or
// cut-off package from a cache must never stand in for the server's. Nothing
// here lets a certificate problem pass: an https answer comes from a server
// whose certificate chains to a trusted root, names it and is in date, or
// not at all.
constexpr DWORD kRequestFlags = WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY | WINHTTP_FLAG_REFRESH;
// Redirects are followed by sendFollowingRedirects(), never by WinHTTP. The
// connection is never kept for reuse, and closing the request ends it at
// once, with no wait for the rest of the body: a stopped transfer must not
// go on downloading with the module pinned. (WinINet reads the rest of an
// announced body when its request is closed, and under Wine for as long as
// a server keeps sending; that is why the transfer runs on WinHTTP.)
constexpr DWORD kDisabledFeatures = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_KEEP_ALIVE | WINHTTP_DISABLE_COOKIES;
constexpr DWORD kTlsProtocols =
    WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
// Hops of redirection a request may take before the package must come.
constexpr int kMaxRedirects = 10;

bool isRedirect(DWORD status) noexcept {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Names and paths come from the host in its ANSI code page.
std::wstring widen(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  if (length > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, &wide[0], length);
  return wide;
}

std::string narrow(const wchar_t* text, std::size_t count) {
  if (count == 0) return {};
  const int size = static_cast<int>(count);
  const int length = ::WideCharToMultiByte(CP_ACP, 0, text, size, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(length), '\0');
  if (length > 0) ::WideCharToMultiByte(CP_ACP, 0, text, size, &result[0], length, nullptr, nullptr);
  return result;
}

// The text of a response header's `index`th line of that name (0: the
// first); false when there is none, or it is longer than 2047 characters.
bool headerText(HINTERNET request, DWORD query, std::string& text, DWORD index = 0) {
  wchar_t value[2048] = {};
  DWORD size = sizeof value - sizeof value[0];
  if (!::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, value, &size, &index)) return false;
  text = narrow(value, size / sizeof value[0]);
  return true;
}

// The body's announced length: 0 when there is none. False for a length
// that is no number, or for two that differ: where the body ends is then
// anybody's guess, and a body cut at the wrong place must not count as a
// package.
bool announcedLength(HINTERNET request, std::uint64_t& length) {
  length = 0;
  std::string text;
  for (DWORD index = 0; headerText(request, WINHTTP_QUERY_CONTENT_LENGTH, text, index); ++index) {
    std::uint64_t value = 0;
    if (!parseContentLength(text, value) || (index > 0 && value != length)) return false;
    length = value;
  }
  return true;
}

// A session for one hop: straight to the server when `proxy` is empty,
// else through it, except for the servers `bypass` lists.
UniqueWinHttp openSession(const std::string& proxy, const std::string& bypass) {
  const std::wstring proxyName = widen(proxy);
  const std::wstring bypassList = widen(bypass);
  UniqueWinHttp session(
      proxyName.empty()
          ? ::WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)
          : ::WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxyName.c_str(),
                          bypassList.empty() ? WINHTTP_NO_PROXY_BYPASS : bypassList.c_str(), 0));
  if (!session) return session;
  // A server that accepts the connection and then says nothing would block
  // the worker forever where the platform's handle close does not end a
  // waiting read (Wine): every wait on the server is bounded, so such a
  // transfer fails (and is restarted if it had received bytes) instead of
  // hanging the loading screen. A server that keeps sending headers a byte
  // at a time is bounded by the owner's poll (HttpDownloader::running).
  const int wait = static_cast<int>(kHeaderWaitMs);
  ::WinHttpSetTimeouts(session.get(), wait, wait, wait, wait);  // best effort
  // WinHTTP on older systems offers TLS 1.0 alone unless asked for more,
  // and hosting that takes TLS 1.2 and later only would be out of reach;
  // a system that does not know TLS 1.3 refuses the first set.
  for (DWORD protocols : {kTlsProtocols | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3, kTlsProtocols}) {
    if (::WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) break;
  }
  return session;
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
  // Made fresh, and only where it was meant to be: a link or a hard link
  // another account left under the package's name fails the attempt
  // before a byte is written.
  file = createCheckedFile(localPath, heldFolder, GENERIC_WRITE);
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
  UniqueWinHttp& session = connection.session;
  UniqueWinHttp& connect = connection.connect;
  UniqueWinHttp& request = connection.request;
  const SystemProxy system = systemProxy();
  // Redirects are followed here, not by WinHTTP: a server that redirects to
  // itself would keep the attempt busy for ever, with no report, and each
  // hop must be checked (never from https down to http). A few hops are
  // allowed; one more fails the attempt.
  UrlParts hop = target;
  for (int hops = 0;; ++hops) {
    // The last hop's handles, request first; each hop may take another road.
    request.reset();
    connect.reset();
    const std::string proxy = proxyFor(system.servers, hop.secure);
    session = openSession(proxy, system.bypass);
    if (!session || stopped.load(std::memory_order_acquire)) return false;
    // Straight to the server, an IPv6 address is connected to without its
    // brackets; through a proxy, the server is named in the request line,
    // where it keeps them ("http://[::1]:8080/p").
    const std::string server = proxy.empty() ? connectName(hop) : hop.host;
    connect.reset(::WinHttpConnect(session.get(), widen(server).c_str(), hop.port, 0));
    if (!connect || stopped.load(std::memory_order_acquire)) return false;
    const DWORD flags = kRequestFlags | (hop.secure ? WINHTTP_FLAG_SECURE : 0);
    request.reset(::WinHttpOpenRequest(connect.get(), L"GET", widen(requestTarget(hop.path)).c_str(), L"HTTP/1.1",
                                       WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request || stopped.load(std::memory_order_acquire)) return false;
    DWORD disabled = kDisabledFeatures;
    if (!::WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled)) return false;
    DWORD responseWait = kHeaderWaitMs;
    ::WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseWait,
                       sizeof responseWait);  // best effort: the owner's poll bounds it too
    // The Host line is written here: an IPv6 server keeps its brackets
    // ("[::1]:8080"), which the client, given the bare address to connect
    // to, would leave out.
    const std::wstring headers = L"Host: " + widen(hostHeaderValue(hop)) + L"\r\nConnection: close\r\n";

    sentAt.store(::GetTickCount(), std::memory_order_relaxed);
    awaitingHeaders.store(true, std::memory_order_release);
    const bool answered = ::WinHttpSendRequest(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                                               WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
                          ::WinHttpReceiveResponse(request.get(), nullptr);
    // Checked here too, for an owner that does not poll: headers that came
    // late count as none.
    const bool late = headersOverdue();
    awaitingHeaders.store(false, std::memory_order_relaxed);
    if (!answered || late || stopped.load(std::memory_order_acquire)) return false;

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
      return false;
    statusCode.store(status, std::memory_order_relaxed);
    if (!isRedirect(status)) return status >= 200 && status <= 299;
    if (hops == kMaxRedirects) return false;
    std::string location;
    UrlParts next;
    // A step down from https to http is refused by redirectTarget: the
    // package asked for over TLS never comes in clear text.
    if (!headerText(request.get(), WINHTTP_QUERY_LOCATION, location) || !redirectTarget(hop, location, next))
      return false;
    hop = next;
  }
}

bool HttpDownloader::Transfer::attempt(Connection& connection) {
  if (!openFile()) return false;
  if (!sendFollowingRedirects(connection)) return false;
  return readBody(connection.request.get());
}

bool HttpDownloader::Transfer::readBody(HINTERNET request) {
  // Read as text: a length of 4 GiB or more must not wrap into a small one.
  // Without a length the body runs until the server ends it.
  std::uint64_t announced = 0;
  if (!announcedLength(request, announced)) return false;
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
    // worker for as long as it liked. The query waits for at least one
    // byte, or the end of the body (0), bounded by the receive timeout; a
    // failed query is a failed read.
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(request, &available)) return false;
    const DWORD want = available == 0 || available > kReadSize ? kReadSize : available;
    DWORD n = 0;
    if (!::WinHttpReadData(request, buffer, want, &n)) return false;
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
