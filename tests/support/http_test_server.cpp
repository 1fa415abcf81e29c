#include "support/http_test_server.h"

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace fyrel::test {

namespace {

const char* reasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 206:
      return "Partial Content";
    case 300:
      return "Multiple Choices";
    case 304:
      return "Not Modified";
    case 404:
      return "Not Found";
    case 416:
      return "Range Not Satisfiable";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The body comes from memory or from a file read piece by piece, so a big
// package is never held in memory by the server.
class BodySource {
 public:
  explicit BodySource(const Response& response) : memory_(&response.body) {
    if (!response.bodyFile.empty()) {
      file_ = std::fopen(response.bodyFile.c_str(), "rb");
      if (file_ != nullptr) {
        std::fseek(file_, 0, SEEK_END);
        size_ = static_cast<std::uint64_t>(std::ftell(file_));
        std::fseek(file_, 0, SEEK_SET);
      }
    } else {
      size_ = memory_->size();
    }
  }
  ~BodySource() {
    if (file_ != nullptr) std::fclose(file_);
  }
  BodySource(const BodySource&) = delete;
  BodySource& operator=(const BodySource&) = delete;

  std::uint64_t size() const { return size_; }

  // Starts the body `from` bytes in.
  void skip(std::uint64_t from) {
    if (file_ != nullptr)
      std::fseek(file_, static_cast<long>(from), SEEK_SET);
    else
      offset_ = std::min(from, size_);
  }

  std::size_t read(char* buffer, std::size_t want) {
    if (file_ != nullptr) return std::fread(buffer, 1, want, file_);
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(want, size_ - offset_));
    std::memcpy(buffer, memory_->data() + offset_, n);
    offset_ += n;
    return n;
  }

 private:
  const std::string* memory_;
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
  std::uint64_t offset_ = 0;
};

}  // namespace

Response Response::ok(std::string body) {
  Response r;
  r.body = std::move(body);
  return r;
}

Response Response::status(int code, std::string body) {
  Response r;
  r.code = code;
  r.body = std::move(body);
  return r;
}

Response Response::file(std::string path) {
  Response r;
  r.bodyFile = std::move(path);
  return r;
}

Response& Response::withoutLength() {
  sendLength = false;
  return *this;
}
Response& Response::withLength(std::uint64_t announced) {
  sendLength = true;
  announcedLength = announced;
  return *this;
}
Response& Response::closeAfter(std::uint64_t bodyBytes) {
  closeAfterBytes = bodyBytes;
  return *this;
}
Response& Response::stallAfter(std::uint64_t bodyBytes) {
  stallAfterBytes = bodyBytes;
  return *this;
}
Response& Response::stallFirst() {
  stallBeforeHeaders = true;
  return *this;
}
Response& Response::endless() {
  repeatBody = true;
  sendLength = announcedLength.has_value();
  return *this;
}

Response& Response::dripEvery(unsigned ms) {
  dripMs = ms;
  return *this;
}

Response& Response::dripHeadersEvery(unsigned ms) {
  headerDripMs = ms;
  return *this;
}

Response Response::continueForever(unsigned ms) {
  Response r;
  r.continueMs = ms;
  return r;
}

Response& Response::header(std::string name, std::string value) {
  extraHeaders.emplace_back(std::move(name), std::move(value));
  return *this;
}

Response& Response::etag(std::string value) { return header("ETag", std::move(value)); }
Response& Response::lastModified(std::string value) { return header("Last-Modified", std::move(value)); }
Response& Response::ranges() {
  honourRanges = true;
  return *this;
}
Response& Response::rangesIgnoringIfRange() {
  honourRanges = true;
  ignoreIfRange = true;
  return *this;
}
Response& Response::ranges416() {
  refuseRanges = true;
  return *this;
}
Response& Response::rangeStartOff(long long delta) {
  rangeStartDelta = delta;
  return *this;
}
Response& Response::rangeTotalOff(long long delta) {
  rangeTotalDelta = delta;
  return *this;
}
Response Response::reset() {
  Response r;
  r.resetConnection = true;
  return r;
}

std::string Request::header(const std::string& name) const {
  for (const auto& h : headers)
    if (equalsIgnoreCase(h.first, name)) return h.second;
  return {};
}

bool Request::hasHeader(const std::string& name) const {
  for (const auto& h : headers)
    if (equalsIgnoreCase(h.first, name)) return true;
  return false;
}

HttpTestServer::HttpTestServer(const std::string& address, unsigned short port)
    : address_(address), port_(port), listenSocket_(INVALID_SOCKET) {
  WSADATA data;
  winsockStarted_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  if (!winsockStarted_) return;

  const bool v6 = address.find(':') != std::string::npos;
  SOCKET s = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return;
  listenSocket_ = s;
  // Tests reuse their address right after the previous server closed it.
  BOOL reuse = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
  sockaddr_in where{};
  sockaddr_in6 where6{};
  where.sin_family = AF_INET;
  where.sin_port = ::htons(port);
  where6.sin6_family = AF_INET6;
  where6.sin6_port = ::htons(port);
  if (v6 ? ::inet_pton(AF_INET6, address.c_str(), &where6.sin6_addr) != 1
         : ::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1)
    return;
  if (v6 ? ::bind(s, reinterpret_cast<const sockaddr*>(&where6), sizeof where6) != 0
         : ::bind(s, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0)
    return;
  if (::listen(s, SOMAXCONN) != 0) return;

  stopEvent_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (stopEvent_ == nullptr) return;
  listening_ = true;
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
  stop();
  if (stopEvent_ != nullptr) ::CloseHandle(stopEvent_);
  if (winsockStarted_) ::WSACleanup();
}

std::string HttpTestServer::baseUrl() const {
  std::string url = "http://" + (address_.find(':') != std::string::npos ? "[" + address_ + "]" : address_);
  if (port_ != 80) url += ":" + std::to_string(port_);
  return url;
}

void HttpTestServer::enqueue(Response response) {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(std::move(response));
}

std::vector<Request> HttpTestServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::size_t HttpTestServer::requestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

bool HttpTestServer::waitForRequests(std::size_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return requests_.size() >= count; });
}

std::size_t HttpTestServer::stallCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stalls_;
}

std::uint64_t HttpTestServer::bodyBytesSent() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bodyBytes_;
}

std::size_t HttpTestServer::endedConnections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ended_;
}

bool HttpTestServer::waitForEndedConnections(std::size_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return ended_ >= count; });
}

bool HttpTestServer::waitForStalls(std::size_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return stalls_ >= count; });
}

void HttpTestServer::release() {
  std::lock_guard<std::mutex> lock(mutex_);
  released_ = true;
  changed_.notify_all();
}

void HttpTestServer::dropStalled() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++drops_;
  changed_.notify_all();
}

void HttpTestServer::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }
  if (stopEvent_ != nullptr) ::SetEvent(stopEvent_);
  if (acceptThread_.joinable()) acceptThread_.join();
  if (listenSocket_ != INVALID_SOCKET) {
    ::closesocket(listenSocket_);
    listenSocket_ = INVALID_SOCKET;
  }
  listening_ = false;
  // The accept loop is gone, so nothing adds to the list any more; the stop
  // event wakes every connection thread wherever it waits.
  for (auto& c : connections_) {
    if (c->thread.joinable()) c->thread.join();
    ::closesocket(c->socket);
  }
  connections_.clear();
}

void HttpTestServer::reapFinished() {
  for (auto it = connections_.begin(); it != connections_.end();) {
    if ((*it)->done.load(std::memory_order_acquire)) {
      (*it)->thread.join();
      ::closesocket((*it)->socket);
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

void HttpTestServer::acceptLoop() {
  // Waiting on an event beside the stop event lets stop() end the loop
  // without depending on how closing a socket wakes a blocked accept.
  WSAEVENT acceptEvent = ::WSACreateEvent();
  if (acceptEvent == WSA_INVALID_EVENT) return;
  ::WSAEventSelect(listenSocket_, acceptEvent, FD_ACCEPT);
  HANDLE waits[2] = {stopEvent_, acceptEvent};
  for (;;) {
    DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (woke != WAIT_OBJECT_0 + 1) break;
    WSANETWORKEVENTS events;
    ::WSAEnumNetworkEvents(listenSocket_, acceptEvent, &events);
    for (;;) {
      SOCKET client = ::accept(listenSocket_, nullptr, nullptr);
      if (client == INVALID_SOCKET) break;
      BOOL noDelay = TRUE;
      ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
      reapFinished();
      auto connection = std::make_unique<Connection>();
      connection->socket = client;
      Connection& c = *connection;
      connections_.push_back(std::move(connection));
      c.thread = std::thread([this, &c] {
        serve(c);
        c.done.store(true, std::memory_order_release);
      });
    }
  }
  ::WSAEventSelect(listenSocket_, nullptr, 0);
  ::WSACloseEvent(acceptEvent);
}

Response HttpTestServer::nextResponse() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!queue_.empty()) {
    last_ = std::move(queue_.front());
    queue_.pop_front();
  }
  if (last_) return *last_;
  return Response::status(404, "no answer scripted\n");
}

void HttpTestServer::serve(Connection& connection) {
  SOCKET s = connection.socket;
  // Every wait also watches the stop event: a thread blocked in recv or send
  // is not reliably woken by shutting or closing its socket under Wine.
  WSAEVENT event = ::WSACreateEvent();
  if (event == WSA_INVALID_EVENT) return;
  ::WSAEventSelect(s, event, FD_READ | FD_WRITE | FD_CLOSE);
  Io io{s, event, stopEvent_};
  serveRequests(io);
  ::WSAEventSelect(s, nullptr, 0);
  ::WSACloseEvent(event);
  if (io.reset) {
    // Closed at once with no lingering: the client sees a reset.
    LINGER abort = {1, 0};
    ::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    ::closesocket(s);
    connection.socket = INVALID_SOCKET;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  ++ended_;
  changed_.notify_all();
}

void HttpTestServer::serveRequests(Io& io) {
  std::string pending;
  char buffer[16384];
  for (;;) {
    std::size_t end;
    while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
      int n = io.receive(buffer, sizeof buffer, INFINITE);
      if (n <= 0) return;
      pending.append(buffer, static_cast<std::size_t>(n));
    }
    std::string head = pending.substr(0, end);
    pending.erase(0, end + 4);

    Request request;
    request.receivedAtMs = ::GetTickCount64();
    std::size_t lineEnd = head.find("\r\n");
    request.line = head.substr(0, lineEnd);
    {
      std::size_t a = request.line.find(' ');
      std::size_t b = request.line.rfind(' ');
      if (a != std::string::npos && b != a) {
        request.method = request.line.substr(0, a);
        request.target = request.line.substr(a + 1, b - a - 1);
        request.version = request.line.substr(b + 1);
      }
    }
    while (lineEnd != std::string::npos) {
      std::size_t start = lineEnd + 2;
      lineEnd = head.find("\r\n", start);
      std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
      std::size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      std::size_t value = line.find_first_not_of(" \t", colon + 1);
      request.headers.emplace_back(line.substr(0, colon), value == std::string::npos ? "" : line.substr(value));
    }
    // A request body is read and dropped so the next request starts clean.
    std::size_t bodyLength = std::strtoul(request.header("Content-Length").c_str(), nullptr, 10);
    while (pending.size() < bodyLength) {
      int n = io.receive(buffer, sizeof buffer, INFINITE);
      if (n <= 0) return;
      pending.append(buffer, static_cast<std::size_t>(n));
    }
    pending.erase(0, bodyLength);

    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
      changed_.notify_all();
    }
    if (!answer(io, nextResponse(), request)) {
      if (io.reset) return;
      break;
    }
  }
  // Closing with the answer fully sent: half-close and let the client read
  // to the end before the socket goes (a close with unread input would reset
  // the connection and could drop the answer's tail).
  ::shutdown(io.socket, SD_SEND);
  while (io.receive(buffer, sizeof buffer, 2000) > 0) {
  }
}

bool HttpTestServer::stall() {
  std::unique_lock<std::mutex> lock(mutex_);
  ++stalls_;
  const std::size_t drops = drops_;
  changed_.notify_all();
  changed_.wait(lock, [&] { return released_ || stopping_ || drops_ != drops; });
  return released_ && !stopping_;
}

int HttpTestServer::Io::receive(char* buffer, std::size_t size, unsigned long timeoutMs) {
  for (;;) {
    int n = ::recv(socket, buffer, static_cast<int>(size), 0);
    if (n >= 0) return n;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    if (!waitReady(timeoutMs)) return -1;
  }
}

bool HttpTestServer::Io::sendAll(const char* data, std::size_t size) {
  while (size > 0) {
    int chunk = static_cast<int>(std::min<std::size_t>(size, 1 << 20));
    int n = ::send(socket, data, chunk, 0);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
    } else if (n < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) {
      if (!waitReady(INFINITE)) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool HttpTestServer::Io::waitReady(unsigned long timeoutMs) {
  HANDLE waits[2] = {stopEvent, event};
  if (::WaitForMultipleObjects(2, waits, FALSE, timeoutMs) != WAIT_OBJECT_0 + 1) return false;
  WSANETWORKEVENTS events;
  ::WSAEnumNetworkEvents(socket, event, &events);  // resets the event for the next wait
  return true;
}

bool HttpTestServer::sendBody(Io& io, const Response& response, std::uint64_t limit, std::uint64_t from) {
  if (response.repeatBody || response.dripMs != 0) return sendShapedBody(io, response, limit);
  BodySource source(response);
  source.skip(from);
  std::uint64_t end = std::min(limit, source.size() - std::min(from, source.size()));
  std::uint64_t stallAt = response.stallAfterBytes.value_or(UINT64_MAX);
  std::uint64_t sent = 0;
  static constexpr std::size_t kPiece = 65536;
  std::unique_ptr<char[]> piece(new char[kPiece]);
  for (;;) {
    if (sent == stallAt && !stall()) return false;
    if (sent >= end) return true;
    std::uint64_t upTo = sent < stallAt ? std::min(end, stallAt) : end;
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, upTo - sent));
    std::size_t got = source.read(piece.get(), want);
    if (got == 0) return false;
    if (!io.sendAll(piece.get(), got)) return false;
    sent += got;
    std::lock_guard<std::mutex> lock(mutex_);
    bodyBytes_ += got;
  }
}

// Endless and dripping bodies: from memory, until the limit, the client's
// end or stop().
bool HttpTestServer::sendShapedBody(Io& io, const Response& response, std::uint64_t limit) {
  const std::string& body = response.body;
  if (body.empty()) return false;
  const std::uint64_t end = response.repeatBody ? limit : std::min<std::uint64_t>(limit, body.size());
  std::uint64_t stallAt = response.stallAfterBytes.value_or(UINT64_MAX);
  std::uint64_t sent = 0;
  std::string piece;
  while (sent < end) {
    if (sent == stallAt && !stall()) return false;
    const std::size_t at = static_cast<std::size_t>(sent % body.size());
    std::size_t want = response.dripMs != 0 ? 1 : body.size() - at;
    want =
        static_cast<std::size_t>(std::min<std::uint64_t>({want, end - sent, sent < stallAt ? stallAt - sent : want}));
    if (response.dripMs != 0 && sent != 0 && ::WaitForSingleObject(io.stopEvent, response.dripMs) != WAIT_TIMEOUT)
      return false;
    if (!io.sendAll(body.data() + at, want)) return false;
    sent += want;
    std::lock_guard<std::mutex> lock(mutex_);
    bodyBytes_ += want;
  }
  return true;
}

// The head at once, or a byte at a time; false once the client has gone.
bool HttpTestServer::sendHead(Io& io, const Response& response, const std::string& head) {
  if (response.headerDripMs == 0) return io.sendAll(head.data(), head.size());
  for (std::size_t i = 0; i < head.size(); ++i) {
    if (i != 0 && ::WaitForSingleObject(io.stopEvent, response.headerDripMs) != WAIT_TIMEOUT) return false;
    if (!io.sendAll(head.data() + i, 1)) return false;
  }
  return true;
}

// The value of a header the script adds; empty if none.
std::string scriptedHeader(const Response& response, const std::string& name) {
  for (const auto& h : response.extraHeaders)
    if (equalsIgnoreCase(h.first, name)) return h.second;
  return {};
}

bool HttpTestServer::answer(Io& io, const Response& response, const Request& request) {
  if (response.resetConnection) {
    io.reset = true;
    return false;
  }
  if (response.stallBeforeHeaders && !stall()) return false;
  if (response.continueMs != 0) {
    // Interim answers only, until the client or stop() ends it.
    static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
    do {
      if (!io.sendAll(kContinue, sizeof kContinue - 1)) return false;
    } while (::WaitForSingleObject(io.stopEvent, response.continueMs) == WAIT_TIMEOUT);
    return false;
  }

  std::uint64_t size;
  {
    BodySource probe(response);
    size = probe.size();
  }
  // "Range: bytes=N-" of a request, as the scripted answer takes it.
  int code = response.code;
  std::uint64_t from = 0;
  std::string rangeHeaders;
  if (response.honourRanges || response.refuseRanges) {
    if (response.honourRanges) rangeHeaders += "Accept-Ranges: bytes\r\n";
    const std::string range = request.header("Range");
    unsigned long long start = 0;
    char dash = 0;
    if (code == 200 && std::sscanf(range.c_str(), "bytes=%llu%c", &start, &dash) == 2 && dash == '-') {
      const std::string ifRange = request.header("If-Range");
      const bool sameVersion = ifRange.empty() || response.ignoreIfRange ||
                               ifRange == scriptedHeader(response, "ETag") ||
                               ifRange == scriptedHeader(response, "Last-Modified");
      if (response.refuseRanges || (sameVersion && start >= size)) {
        code = 416;
        rangeHeaders += "Content-Range: bytes */" + std::to_string(size) + "\r\n";
      } else if (sameVersion) {
        code = 206;
        from = start;
        rangeHeaders += "Content-Range: bytes " +
                        std::to_string(static_cast<long long>(start) + response.rangeStartDelta) + "-" +
                        std::to_string(size - 1) + "/" +
                        std::to_string(static_cast<long long>(size) + response.rangeTotalDelta) + "\r\n";
      }
    }
  }
  // Only a well-formed answer keeps the connection: anything that cuts,
  // stalls or misstates the body would leave the next answer misframed.
  bool noBody = response.code == 204 || response.code == 304 || response.code < 200;
  // A refused range is answered without a body.
  const bool empty = code == 416;
  bool keepAlive = response.sendLength && !response.announcedLength && !response.closeAfterBytes &&
                   !response.stallAfterBytes && !response.repeatBody && response.dripMs == 0 && !noBody &&
                   code == response.code;

  std::string head = "HTTP/1.1 " + std::to_string(code) + " " + reasonPhrase(code) + "\r\n";
  head += "Server: fyrel-test\r\n";
  if (response.sendLength)
    head += "Content-Length: " + std::to_string(empty ? 0 : response.announcedLength.value_or(size - from)) + "\r\n";
  head += rangeHeaders;
  for (const auto& h : response.extraHeaders) head += h.first + ": " + h.second + "\r\n";
  head += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
  head += "\r\n";
  if (!sendHead(io, response, head)) return false;

  if (empty) return false;
  bool bodyOk = sendBody(io, response, response.closeAfterBytes.value_or(UINT64_MAX), from);
  return bodyOk && keepAlive;
}

}  // namespace fyrel::test
