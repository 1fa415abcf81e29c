#include "download/download_transfer.h"

#include <string>

#include "common/diagnostic_text.h"
#include "download/body_limit.h"
#include "download/proxy_choice.h"
#include "download/retry_pacing.h"
#include "download/system_proxy.h"
#include "storage/checked_file.h"

namespace fyrel {
namespace {

constexpr wchar_t kAgent[] = L"Mozilla/4.0 (compatible; fyrel)";
// Large pieces: each read costs a pass through WinHTTP (and Wine), however
// few bytes it brings; the counters still move with every piece.
constexpr DWORD kReadSize = 64 * 1024;
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
// The socket errors (WSAECONNRESET and its kin) that Wine's WinHTTP hands
// on unchanged, named here without the socket header.
constexpr DWORD kSocketConnectionAborted = 10053;
constexpr DWORD kSocketConnectionReset = 10054;
constexpr DWORD kSocketTimedOut = 10060;
constexpr DWORD kSocketConnectionRefused = 10061;
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

// A TLS failure's certificate problems, which WinHTTP passes only to a
// status callback; the request's context value is its transfer, which
// outlives the request.
void CALLBACK noteSecureFailure(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  if (status != WINHTTP_CALLBACK_STATUS_SECURE_FAILURE || context == 0 || info == nullptr || length < sizeof(DWORD))
    return;
  auto* problems = reinterpret_cast<std::atomic<std::uint32_t>*>(context);
  problems->store(*static_cast<const DWORD*>(info), std::memory_order_relaxed);
}

std::string number(std::uint64_t value) { return std::to_string(value); }

}  // namespace

bool HttpDownloader::Transfer::fail(const std::string& why) {
  std::lock_guard<std::mutex> guard(reportLock);
  if (failure.empty()) failure = why;
  return false;
}

bool HttpDownloader::Transfer::failWithError(const char* during, DWORD error) {
  std::string why = errorName(error) + " " + during;
  const std::uint32_t problems = certificateProblems.load(std::memory_order_relaxed);
  if (problems != 0) why += " (certificate problems: " + fyrel::certificateProblems(problems) + ")";
  return fail(why);
}

bool HttpDownloader::Transfer::failHeadersLate() noexcept {
  transient.store(true, std::memory_order_relaxed);
  try {
    return fail("no complete answer headers within " + number(kHeaderWaitMs / 1000) + " s");
  } catch (...) {
    return false;  // out of memory: the attempt ends all the same, unexplained
  }
}

std::string HttpDownloader::Transfer::report() const {
  std::lock_guard<std::mutex> guard(reportLock);
  std::string text = failure;
  if (!redirects.empty()) text += (text.empty() ? "" : "; ") + std::string("redirected ") + redirects;
  return text;
}

void HttpDownloader::Transfer::abandon() {
  std::lock_guard<std::mutex> guard(lock);
  stopped.store(true, std::memory_order_release);
  file.reset();
}

bool HttpDownloader::Transfer::takePackage(UniqueFile& package, PackageHashes& packageHashes) {
  std::lock_guard<std::mutex> guard(lock);
  if (running.load(std::memory_order_acquire) || !succeeded.load(std::memory_order_relaxed) ||
      stopped.load(std::memory_order_relaxed) || !file)
    return false;
  package = std::move(file);
  packageHashes = std::move(hashes);
  return true;
}

bool HttpDownloader::Transfer::takeFailedPart(UniqueFile& part, PackageHashes& partHashes) {
  std::lock_guard<std::mutex> guard(lock);
  if (running.load(std::memory_order_acquire) || succeeded.load(std::memory_order_relaxed) ||
      stopped.load(std::memory_order_relaxed) || !file)
    return false;
  part = std::move(file);
  partHashes = std::move(hashes);
  return true;
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
    // A complete package stays open, as it was written, for the check and
    // the extraction: nobody can change it between its bytes' hashing and
    // their use.
    if (complete && !stopped.load(std::memory_order_relaxed))
      succeeded.store(true, std::memory_order_relaxed);
    else if (!keepFailedPart || stopped.load(std::memory_order_relaxed) || writeFailed.load(std::memory_order_relaxed))
      file.reset();
    // Otherwise the part stays open, as written and hashed, for the next
    // attempt of this start: nobody can write it in the pause between.
  }
  running.store(false, std::memory_order_release);  // outcome and counters first
}

bool HttpDownloader::Transfer::openFile(std::uint32_t& onDisk, bool& hashed) {
  std::lock_guard<std::mutex> guard(lock);
  onDisk = 0;
  hashed = false;
  // Once stopped, the path may belong to a newer transfer: not even emptied.
  if (stopped.load(std::memory_order_relaxed)) return false;
  if (partCarried) {
    partCarried = false;
    if (goOnInCarriedPart(onDisk)) {
      hashed = true;
      return true;
    }
    file.reset();  // no longer what `from` describes: opened afresh below
  }
  // Made fresh when nothing in it can be resumed, else the part on disk is
  // opened as it is. Either way only where it was meant to be: a link or a
  // hard link another account left under the package's name fails the
  // attempt before a byte is written.
  // Read access too: a part on disk is hashed through this handle, and
  // the complete package is checked and extracted through it.
  hashes.restart();
  bool resuming = from.resumable();
  if (resuming) file = openCheckedFile(localPath, heldFolder, GENERIC_READ | GENERIC_WRITE);
  if (!file) {
    resuming = false;
    file = createCheckedFile(localPath, heldFolder, GENERIC_READ | GENERIC_WRITE);
  }
  if (!file) return failWithError("making the package file in the game folder", ::GetLastError());
  LARGE_INTEGER size{};
  if (resuming && !::GetFileSizeEx(file.get(), &size))
    return failWithError("reading the package's size", ::GetLastError());
  // Only a part of the package, never all of it or more: anything else is
  // no prefix of what the validator vouches for.
  const bool keep = resuming && size.QuadPart > 0 && static_cast<std::uint64_t>(size.QuadPart) < from.total;
  if (!keep) {
    if (resuming) {
      LARGE_INTEGER start{};
      if (!::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get()))
        return failWithError("emptying the package", ::GetLastError());
    }
    {
      std::lock_guard<std::mutex> guardLearned(learnedLock);
      learnedChanged = learnedChanged || learned.resumable();
      learned = ResumePoint();
    }
    setProgress(0, 0);
    startOffset.store(0, std::memory_order_relaxed);
    return true;
  }
  LARGE_INTEGER end{};
  if (!::SetFilePointerEx(file.get(), end, nullptr, FILE_END))
    return failWithError("going to the package's end", ::GetLastError());
  onDisk = static_cast<std::uint32_t>(size.QuadPart);
  startOffset.store(onDisk, std::memory_order_relaxed);
  setProgress(onDisk, from.total);
  return true;
}

// Called with `lock` held. The part is every byte the last attempt wrote,
// each one hashed, and nobody else could write the file since: it goes on
// as it is when it is the part `from` describes.
bool HttpDownloader::Transfer::goOnInCarriedPart(std::uint32_t& onDisk) {
  LARGE_INTEGER size{};
  if (!file || !from.resumable() || hashes.failed() || !::GetFileSizeEx(file.get(), &size)) return false;
  const auto length = static_cast<std::uint64_t>(size.QuadPart);
  if (length == 0 || length >= from.total || length != from.onDisk || length != hashes.window().total()) return false;
  LARGE_INTEGER end{};
  if (!::SetFilePointerEx(file.get(), end, nullptr, FILE_END)) return false;
  onDisk = static_cast<std::uint32_t>(length);
  startOffset.store(onDisk, std::memory_order_relaxed);
  setProgress(onDisk, from.total);
  return true;
}

bool HttpDownloader::Transfer::hashBytesOnDisk(std::uint32_t onDisk) {
  // Through the handle that appends the rest, held against writers since
  // it was opened: the bytes hashed are the ones that stay. A piece at a
  // time under the lock, so a stop waits for one read at most.
  std::vector<unsigned char> piece(kReadSize);
  std::uint32_t hashed = 0;
  bool rewound = false;
  while (hashed < onDisk) {
    std::lock_guard<std::mutex> guard(lock);
    if (stopped.load(std::memory_order_relaxed)) return false;
    LARGE_INTEGER start{};
    if (!rewound && !::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN))
      return failWithError("reading the part of the package on disk", ::GetLastError());
    rewound = true;
    const DWORD want = onDisk - hashed < kReadSize ? onDisk - hashed : kReadSize;
    DWORD n = 0;
    if (!::ReadFile(file.get(), piece.data(), want, &n, nullptr) || n != want) {
      const DWORD error = ::GetLastError();
      return failWithError("reading the part of the package on disk", error != 0 ? error : ERROR_HANDLE_EOF);
    }
    hashes.add(piece.data(), n);
    hashed += n;
  }
  // The file's position is its end (onDisk is its length): the rest goes
  // on from there.
  return true;
}

bool HttpDownloader::Transfer::emptyFile() {
  std::lock_guard<std::mutex> guard(lock);
  if (stopped.load(std::memory_order_relaxed)) return false;
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get()))
    return failWithError("emptying the package", ::GetLastError());
  hashes.restart();
  {
    std::lock_guard<std::mutex> guardLearned(learnedLock);
    learned = ResumePoint();
    learnedChanged = true;
  }
  setProgress(0, 0);
  startOffset.store(0, std::memory_order_relaxed);
  return true;
}

// The owner may read the two counters between the stores: the one that
// keeps received <= total is stored first.
void HttpDownloader::Transfer::setProgress(std::uint32_t received, std::uint32_t total) noexcept {
  if (total >= receivedBytes.load(std::memory_order_relaxed)) {
    totalBytes.store(total, std::memory_order_relaxed);
    receivedBytes.store(received, std::memory_order_relaxed);
  } else {
    receivedBytes.store(received, std::memory_order_relaxed);
    totalBytes.store(total, std::memory_order_relaxed);
  }
}

void HttpDownloader::Transfer::learn(const ResumePoint& point) {
  std::lock_guard<std::mutex> guard(learnedLock);
  learned = point;
  learnedChanged = true;
}

void HttpDownloader::Transfer::noteTransient(DWORD error) noexcept {
  // A refused or dropped connection and a timeout may pass; a certificate
  // problem, a name that does not resolve or a refused redirect will not.
  // Wine passes a connection's own failure on as the socket's error code.
  if (error == ERROR_WINHTTP_CANNOT_CONNECT || error == ERROR_WINHTTP_CONNECTION_ERROR ||
      error == ERROR_WINHTTP_TIMEOUT || error == kSocketConnectionReset || error == kSocketConnectionAborted ||
      error == kSocketConnectionRefused || error == kSocketTimedOut)
    transient.store(true, std::memory_order_relaxed);
}

bool HttpDownloader::Transfer::writeOut(std::vector<char>& pending) {
  // Called with `lock` held. A package that did not reach the disk whole
  // must never count as complete: a failed write ends the attempt, and
  // tells the owner that trying again is no use.
  if (pending.empty()) return true;
  DWORD written = 0;
  const auto size = static_cast<DWORD>(pending.size());
  const bool ok = ::WriteFile(file.get(), pending.data(), size, &written, nullptr) && written == size;
  const DWORD error = ok ? 0 : ::GetLastError();
  if (ok) hashes.add(pending.data(), pending.size());
  pending.clear();
  if (ok) return true;
  writeFailed.store(true, std::memory_order_relaxed);
  return failWithError("writing the package", error != 0 ? error : ERROR_HANDLE_DISK_FULL);
}

bool HttpDownloader::Transfer::sendFollowingRedirects(Connection& connection, const ResumePoint* resume,
                                                      std::uint32_t onDisk, DWORD& status, UrlParts& answeredBy) {
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
    if (!session) return failWithError("opening an HTTP session", ::GetLastError());
    if (stopped.load(std::memory_order_acquire)) return false;
    // Straight to the server, an IPv6 address is connected to without its
    // brackets; through a proxy, the server is named in the request line,
    // where it keeps them ("http://[::1]:8080/p").
    const std::string server = proxy.empty() ? connectName(hop) : hop.host;
    connect.reset(::WinHttpConnect(session.get(), widen(server).c_str(), hop.port, 0));
    if (!connect) return failWithError(("naming the server " + server).c_str(), ::GetLastError());
    if (stopped.load(std::memory_order_acquire)) return false;
    const DWORD flags = kRequestFlags | (hop.secure ? WINHTTP_FLAG_SECURE : 0);
    request.reset(::WinHttpOpenRequest(connect.get(), L"GET", widen(requestTarget(hop.path)).c_str(), L"HTTP/1.1",
                                       WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request) return failWithError("opening the request", ::GetLastError());
    if (stopped.load(std::memory_order_acquire)) return false;
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&certificateProblems);
    ::WinHttpSetOption(request.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
    ::WinHttpSetStatusCallback(request.get(), noteSecureFailure, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);
    DWORD disabled = kDisabledFeatures;
    if (!::WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled))
      return failWithError("setting up the request", ::GetLastError());
    DWORD responseWait = kHeaderWaitMs;
    ::WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseWait,
                       sizeof responseWait);  // best effort: the owner's poll bounds it too
    // The Host line is written here: an IPv6 server keeps its brackets
    // ("[::1]:8080"), which the client, given the bare address to connect
    // to, would leave out.
    std::wstring headers = L"Host: " + widen(hostHeaderValue(hop)) + L"\r\nConnection: close\r\n";
    // The rest only from the address whose answer began the file: the same
    // validator from elsewhere vouches for nothing.
    if (resume != nullptr && sameTarget(hop, resume->source))
      headers += L"Range: " + widen(rangeFrom(onDisk)) + L"\r\nIf-Range: " + widen(resume->validator) + L"\r\n";

    sentAt.store(::GetTickCount(), std::memory_order_relaxed);
    awaitingHeaders.store(true, std::memory_order_release);
    const bool answered = ::WinHttpSendRequest(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                                               WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
                          ::WinHttpReceiveResponse(request.get(), nullptr);
    const DWORD error = answered ? 0 : ::GetLastError();
    // Checked here too, for an owner that does not poll: headers that came
    // late count as none.
    const bool late = headersOverdue();
    awaitingHeaders.store(false, std::memory_order_relaxed);
    if (!answered) noteTransient(error);
    if (late) return failHeadersLate();
    if (stopped.load(std::memory_order_acquire)) return false;
    if (!answered) {
      const std::string via = proxy.empty() ? "" : " through the proxy " + addressForLog(proxy);
      return failWithError(("before an answer came" + via).c_str(), error);
    }

    status = 0;
    DWORD size = sizeof status;
    if (!::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
      return failWithError("reading the answer's status", ::GetLastError());
    statusCode.store(status, std::memory_order_relaxed);
    if (!isRedirect(status)) {
      answeredBy = hop;
      return true;
    }
    if (hops == kMaxRedirects) return fail("more than " + number(kMaxRedirects) + " redirects");
    std::string location;
    UrlParts next;
    // A step down from https to http is refused by redirectTarget: the
    // package asked for over TLS never comes in clear text.
    if (!headerText(request.get(), WINHTTP_QUERY_LOCATION, location)) return fail("a redirect without a Location");
    if (!redirectTarget(hop, location, next))
      return fail("redirect " + number(status) + " to " + addressForLog(location) +
                  " refused (from https to http, or no usable address)");
    {
      std::lock_guard<std::mutex> guard(reportLock);
      redirects += (redirects.empty() ? "" : ", ") + number(status) + " -> " +
                   addressForLog((next.secure ? "https://" : "http://") + hostHeaderValue(next) + next.path);
    }
    hop = next;
  }
}

bool HttpDownloader::Transfer::attempt(Connection& connection) {
  std::uint32_t onDisk = 0;
  // The part on disk is hashed before the request goes out: a server
  // would not wait for that with the rest.
  bool hashed = false;
  if (!openFile(onDisk, hashed) || (!hashed && !hashBytesOnDisk(onDisk))) return false;
  // At most two requests: the rest of the file, and, when the answer to
  // that cannot continue it, the whole file once more from its first byte.
  for (;;) {
    DWORD status = 0;
    UrlParts answeredBy;
    if (!sendFollowingRedirects(connection, onDisk != 0 ? &from : nullptr, onDisk, status, answeredBy)) return false;
    HINTERNET request = connection.request.get();
    if (onDisk != 0) {
      std::string text;
      ContentRange range;
      // A part that names another version than the one asked for is no part
      // of it, whatever the server made of If-Range.
      std::string named;
      const DWORD validatorHeader = isStrongEtag(from.validator) ? WINHTTP_QUERY_ETAG : WINHTTP_QUERY_LAST_MODIFIED;
      const bool otherVersion = headerText(request, validatorHeader, named) && named != from.validator;
      // The part's own length must be the rest to the byte: a server that
      // announces the whole file's length for a part is answered like one
      // whose range does not fit.
      std::uint64_t partLength = 0;
      const bool lengthFits =
          announcedLength(request, partLength) && (partLength == 0 || partLength == from.total - onDisk);
      if (status == 206 && !otherVersion && sameTarget(answeredBy, from.source) &&
          headerText(request, WINHTTP_QUERY_CONTENT_RANGE, text) && parseContentRange(text, range) &&
          rangeContinues(range, onDisk, from.total) && lengthFits)
        return readBody(request, onDisk, from.total);
      // A whole answer: the server ignores ranges or the file changed. A
      // part that does not fit, or a range refused: asked for again from
      // the start. Any other answer (a server busy for a moment) fails the
      // attempt below with the bytes on disk kept for the next one.
      if (status == 200 || status == 206 || status == 416) {
        if (!emptyFile()) return false;
        onDisk = 0;
        if (status != 200) continue;
      }
    }
    if (status < 200 || status > 299) {
      std::string reason;
      headerText(request, WINHTTP_QUERY_STATUS_TEXT, reason);
      fail("HTTP " + number(status) + (reason.empty() ? "" : " " + reason));
      if (isTransientStatus(status)) {
        transient.store(true, std::memory_order_relaxed);
        std::string text;
        std::uint32_t ms = 0;
        if (headerText(request, WINHTTP_QUERY_RETRY_AFTER, text) && parseRetryAfter(text, ms)) {
          retryAfterMs.store(ms, std::memory_order_relaxed);
          retryAfterGiven.store(true, std::memory_order_relaxed);
        }
      }
      return false;
    }
    return readWholeBody(request, status, answeredBy);
  }
}

// A whole answer: what it announces is the package's length, and what it
// names as its version is what a later attempt may resume from. Only a
// 200 with a length can vouch for that: without a length there is no end
// to ask for the rest of.
bool HttpDownloader::Transfer::readWholeBody(HINTERNET request, DWORD status, const UrlParts& answeredBy) {
  // Read as text: a length of 4 GiB or more must not wrap into a small one.
  // Without a length the body runs until the server ends it.
  std::uint64_t announced = 0;
  if (!announcedLength(request, announced)) return fail("an invalid or conflicting Content-Length");
  // A package this large could not be counted, cut or hashed: refused
  // before a byte of it is read.
  if (announced > bodyLimit)
    return fail("an announced length of " + number(announced) + " bytes, over the limit of " + number(bodyLimit));
  const auto length = static_cast<std::uint32_t>(announced);
  ResumePoint point;
  if (status == 200 && length != 0) {
    std::string etag;
    std::string modified;
    std::string ranges;
    const bool hasEtag = headerText(request, WINHTTP_QUERY_ETAG, etag);
    const bool hasModified = headerText(request, WINHTTP_QUERY_LAST_MODIFIED, modified);
    point.source = answeredBy;
    point.validator = resumeValidator(hasEtag, etag, hasModified, modified);
    point.total = length;
    point.rangesAccepted = headerText(request, WINHTTP_QUERY_ACCEPT_RANGES, ranges) && offersByteRanges(ranges);
  }
  learn(point);
  return readBody(request, 0, length);
}

bool HttpDownloader::Transfer::readBody(HINTERNET request, std::uint32_t offset, std::uint32_t total) {
  const bool lengthKnown = total != 0;
  setProgress(offset, total);

  // A bound of the body, announced or not: with a length, one byte more
  // than announced ends the attempt; without, the limit does.
  const std::uint32_t bound = lengthKnown ? total : bodyLimit;
  std::vector<char> pending;
  pending.reserve(kWriteBufferSize + kReadSize);
  std::uint32_t received = offset;
  // What came before a failed read is the package's next bytes: kept on
  // disk for the next attempt to go on from. A failure before the first
  // byte may be one that passes.
  auto keepWhatCame = [&](DWORD error) {
    if (received == offset) noteTransient(error);
    failWithError(("after " + number(received) + " of " + number(total) + " bytes").c_str(), error);
    std::lock_guard<std::mutex> guard(lock);
    if (!stopped.load(std::memory_order_relaxed)) writeOut(pending);
    return false;
  };
  for (;;) {
    if (stopped.load(std::memory_order_acquire)) return false;
    // Only what has arrived is read: a read that asked for more would wait
    // for it, and a server that drips one byte at a time would hold the
    // worker for as long as it liked. The query waits for at least one
    // byte, or the end of the body (0), bounded by the receive timeout; a
    // failed query is a failed read.
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(request, &available)) return keepWhatCame(::GetLastError());
    const DWORD want = available == 0 || available > kReadSize ? kReadSize : available;
    const std::size_t had = pending.size();
    pending.resize(had + want);
    DWORD n = 0;
    const bool read = ::WinHttpReadData(request, pending.data() + had, want, &n);
    const DWORD readError = read ? 0 : ::GetLastError();
    pending.resize(had + (read ? n : 0));
    if (!read) return keepWhatCame(readError);
    if (n == 0) break;

    std::lock_guard<std::mutex> guard(lock);
    if (stopped.load(std::memory_order_relaxed)) return false;
    // received never exceeds bound (at most 2 GiB - 1) before this sum, so
    // it cannot wrap.
    received += n;
    if (received > bound)
      return fail("more bytes than the " + number(bound) + (lengthKnown ? " announced" : " allowed"));
    receivedBytes.store(received, std::memory_order_relaxed);
    if (pending.size() >= kWriteBufferSize && !writeOut(pending)) return false;
  }

  std::lock_guard<std::mutex> guard(lock);
  if (stopped.load(std::memory_order_relaxed) || !writeOut(pending)) return false;
  if (received == 0) return fail("an empty body");
  if (lengthKnown && received != total) {
    // Under Wine a dropped connection reads as the end of the body: what
    // came is kept, and a drop before the first byte may pass like a
    // reset connection.
    transient.store(true, std::memory_order_relaxed);
    return fail("the body ended after " + number(received) + " of " + number(total) + " bytes");
  }
  // The handle holds no bytes of its own (no runtime buffer): every byte
  // is in the file, and the file stays open for the check (run()).
  // An empty body is no package: a failed download (final, with no byte
  // received), not a package that fails its signature check.
  return received != 0 && (!lengthKnown || received == total);
}

}  // namespace fyrel
