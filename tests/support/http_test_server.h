// A small HTTP/1.1 server that runs inside the test process (winsock). It
// listens on one loopback address, records every request and answers each
// one from a script, faults included, so the download tests talk to a real
// socket peer they control byte for byte.
//
//   HttpTestServer server("127.0.0.11");
//   server.enqueue(Response::ok("body"));
//   server.enqueue(Response::ok(big).closeAfter(1000));
//   ... download "http://127.0.0.11/pack.cab" ...
//   server.waitForRequests(2, 5000);
//   server.requests()[0].target == "/pack.cab";
//
// The destructor stops the server: the listening socket and every client
// connection are shut and every thread is joined, whatever the test did.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fyrel::test {

// One scripted answer. Build it with the factories, then add faults:
//   Response::ok(body).withoutLength()
//   Response::status(404, "gone")
//   Response::file(path).closeAfter(4096)
//   Response::ok(body).withLength(10)     // announces 10, sends the whole body
//   Response::ok(body).stallAfter(512)    // sends 512 body bytes, then waits for release()
//   Response::ok(piece).endless()          // sends piece again and again until the client leaves
//   Response::ok(body).dripEvery(200)      // one body byte every 200 ms
//   Response::ok(body).dripHeadersEvery(500)  // the headers one byte every 500 ms
//   Response::continueForever(300)         // "100 Continue" every 300 ms, never an answer
//   Response::file(path).etag("\"v1\"").ranges()  // 206 for "Range: bytes=N-" when If-Range matches
//   Response::file(path).ranges().rangeStartOff(1)  // ... with a Content-Range one byte off
//   Response::file(path).ranges416()       // 416 for every range asked for
//   Response::reset()                      // the connection reset before any answer
struct Response {
  int code = 200;        // HTTP status code
  std::string body;      // sent when bodyFile is empty
  std::string bodyFile;  // streamed from this file (Windows path) when set
  bool sendLength = true;
  std::optional<std::uint64_t> announcedLength;  // Content-Length to send instead of the true size
  std::optional<std::uint64_t> closeAfterBytes;  // close the connection after this many body bytes
  std::optional<std::uint64_t> stallAfterBytes;  // wait for release() after this many body bytes
  bool stallBeforeHeaders = false;               // wait for release() before sending anything
  bool repeatBody = false;                       // the body again and again, without end
  unsigned dripMs = 0;                           // one byte at a time, this far apart
  unsigned headerDripMs = 0;                     // the head one byte at a time, this far apart
  unsigned continueMs = 0;                       // only interim "100 Continue" heads, this far apart
  std::vector<std::pair<std::string, std::string>> extraHeaders;
  bool honourRanges = false;      // "Range: bytes=N-" answered with 206 (If-Range permitting)
  bool refuseRanges = false;      // "Range" answered with 416
  bool ignoreIfRange = false;     // 206 whatever If-Range says (a server that gets it wrong)
  long long rangeStartDelta = 0;  // misstates the Content-Range's first byte by this much
  long long rangeTotalDelta = 0;  // ... and its total
  bool resetConnection = false;   // no answer: the connection is reset

  static Response ok(std::string body);
  static Response status(int code, std::string body = {});
  static Response file(std::string path);  // status 200, body streamed from path

  Response& withoutLength();
  Response& withLength(std::uint64_t announced);
  Response& closeAfter(std::uint64_t bodyBytes);
  Response& stallAfter(std::uint64_t bodyBytes);
  Response& stallFirst();
  // Without a length unless one is announced; framing is then up to it.
  Response& endless();
  Response& dripEvery(unsigned ms);
  Response& dripHeadersEvery(unsigned ms);
  static Response continueForever(unsigned ms);
  Response& header(std::string name, std::string value);
  Response& etag(std::string value);          // an ETag header, a validator for If-Range
  Response& lastModified(std::string value);  // a Last-Modified header, likewise
  Response& ranges();                         // honours Range, says "Accept-Ranges: bytes"
  Response& ranges416();
  Response& rangesIgnoringIfRange();
  Response& rangeStartOff(long long delta);
  Response& rangeTotalOff(long long delta);
  static Response reset();
};

struct Request {
  std::string line;  // the request line as received, without CRLF
  std::string method;
  std::string target;  // path and query, byte for byte
  std::string version;
  std::vector<std::pair<std::string, std::string>> headers;  // in order, as received
  unsigned long long receivedAtMs = 0;                       // GetTickCount64 when its head was read

  // Value of the first header of that name (case-insensitive); empty if absent.
  std::string header(const std::string& name) const;
  bool hasHeader(const std::string& name) const;
};

class HttpTestServer {
 public:
  // Starts listening on address:port at once; listening() tells whether it
  // worked. An address with a ":" is IPv6 ("::1").
  explicit HttpTestServer(const std::string& address, unsigned short port = 80);
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  bool listening() const noexcept { return listening_; }
  // "http://<address>" (with ":port" when not 80; an IPv6 address in brackets).
  std::string baseUrl() const;

  // Answers are taken in order, one per request. With the queue empty the
  // last answer taken is repeated; before any, the answer is a 404.
  void enqueue(Response response);

  std::vector<Request> requests() const;
  std::size_t requestCount() const;
  bool waitForRequests(std::size_t count, int timeoutMs) const;

  // Body bytes sent so far, over every answer (what crossed the link).
  std::uint64_t bodyBytesSent() const;

  // Connections that have ended (either side closed, or stop()), and a wait for it.
  std::size_t endedConnections() const;
  bool waitForEndedConnections(std::size_t count, int timeoutMs) const;

  // Number of answers that reached a stall so far, and a wait for it.
  std::size_t stallCount() const;
  bool waitForStalls(std::size_t count, int timeoutMs) const;
  // Lets every stalled answer go on, now and later (stalls stop stalling).
  void release();
  // Ends the answers stalled now: each closes its connection where it stands.
  // Later answers still stall.
  void dropStalled();

  // Closes the listening socket and every connection, and joins all threads.
  // Safe to call more than once.
  void stop();

 private:
  struct Connection {
    std::uintptr_t socket;
    std::thread thread;
    std::atomic<bool> done{false};
  };

  // A connection's non-blocking socket with the events its waits watch.
  struct Io {
    std::uintptr_t socket;
    void* event;
    void* stopEvent;
    bool reset = false;  // the answer is a reset: close at once, without lingering
    // Bytes read, 0 at the peer's end, -1 on error, timeout or stop.
    int receive(char* buffer, std::size_t size, unsigned long timeoutMs);
    bool sendAll(const char* data, std::size_t size);
    bool waitReady(unsigned long timeoutMs);
  };

  void acceptLoop();
  void serve(Connection& connection);
  void serveRequests(Io& io);
  bool answer(Io& io, const Response& response, const Request& request);
  bool sendBody(Io& io, const Response& response, std::uint64_t limit, std::uint64_t from = 0);
  bool sendShapedBody(Io& io, const Response& response, std::uint64_t limit);
  bool sendHead(Io& io, const Response& response, const std::string& head);
  // Waits until release() or stop(); false when stopping.
  bool stall();
  Response nextResponse();
  void reapFinished();

  std::string address_;
  unsigned short port_;
  bool listening_ = false;
  bool winsockStarted_ = false;
  std::uintptr_t listenSocket_;
  void* stopEvent_ = nullptr;  // manual-reset event that wakes the accept loop
  std::thread acceptThread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<Response> queue_;
  std::optional<Response> last_;
  std::vector<Request> requests_;
  std::size_t stalls_ = 0;
  std::size_t ended_ = 0;
  std::uint64_t bodyBytes_ = 0;
  bool released_ = false;
  std::size_t drops_ = 0;  // dropStalled() calls so far
  bool stopping_ = false;
  std::list<std::unique_ptr<Connection>> connections_;
};

}  // namespace fyrel::test
