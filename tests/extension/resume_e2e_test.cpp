// Broken downloads end to end: resumed within a start and across starts,
// never spliced onto another version, and tried again after failures that
// may pass. Signed packages (openssl), cabinets (gcab), the in-process
// server answering ranges as scripted.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "extension/loader_fixture.h"
#include "support/import_patch.h"

namespace fyrel::test {
namespace {

// The restart pauses are measured on the DLL's 64-bit tick count and only
// there: jumping it on by a minute at every reading lets every pause pass
// at the next timer step, so rows about counts do not sit out the pauses.
std::atomic<unsigned long long> clockJump{0};
ULONGLONG WINAPI jumpingClock() { return ::GetTickCount64() + clockJump.fetch_add(60000); }

const char kV1[] = "\"v1\"";
const char kV2[] = "\"v2\"";
const char kDate[] = "Tue, 01 Dec 2026 10:00:00 GMT";

States downloads(std::size_t n) { return States(n, kDownloading); }
States operator+(States a, const States& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
const States kInstalled{kCheck, kExtracting, kReady, kCreated, kStarted};

std::string level(bool newer) {
  std::string bytes(256 * 40, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(newer ? 255 - i % 256 : i % 256);
  return bytes;
}

std::uint64_t fileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

class Resume : public LoaderTest {
 protected:
  Resume() : LoaderTest("127.53") {}

  std::string package() const { return gameFolder() + "game.pkg"; }
  std::string record() const { return gameFolder() + "game.pkg.resume"; }
  std::uint64_t size(const char* name) const { return readFile(fixture(name)).size(); }
  void fastClock() {
    clock_ = std::make_unique<ImportPatch>(library.module(), "kernel32.dll", "GetTickCount64",
                                           reinterpret_cast<void*>(&jumpingClock));
    ASSERT_TRUE(clock_->applied());
  }
  void realClock() { clock_.reset(); }
  // The game the package held: the first version or the newer one.
  void expectInstalled(bool newer) {
    EXPECT_EQ(readFile(gameFolder() + "testgame.dll"), readFile(binDir() + "games\\ok\\testgame.dll"));
    EXPECT_EQ(readFile(gameFolder() + "data\\levels\\1.dat"), level(newer));
    EXPECT_FALSE(fileExists(package()));
    EXPECT_FALSE(fileExists(record()));
  }
  bool ended() {
    for (const Pair& pair : host.notifications())
      if (pair == kStarted || pair.first == "FE_ERROR") return true;
    return false;
  }
  // A first start that the host deletes while the body stalls at half the
  // package, once the record is written and part of it is on disk. Returns
  // the bytes left on disk.
  std::uint64_t leavePartialPackage(const std::string& gamecab = {}) {
    const std::uint64_t whole = size("game.pkg");
    HttpTestServer& s = startServer();
    s.enqueue(Response::file(fixture("game.pkg")).etag(kV1).ranges().stallAfter(whole / 2));
    EXPECT_TRUE(gamecab.empty() ? create() : create({{"gamecab", gamecab}}));
    EXPECT_TRUE(pumpUntil([&] { return s.stallCount() >= 1; }, 20000));
    EXPECT_TRUE(pumpUntil([&] { return fileExists(record()) && fileSize(package()) > 0; }, 20000));
    destroy();
    EXPECT_EQ(host.notifications(), (States{kDownloading, kClosed}));
    server.reset();
    host.clear();
    EXPECT_TRUE(fileExists(record()));
    const std::uint64_t onDisk = fileSize(package());
    EXPECT_GT(onDisk, 0u);
    EXPECT_LE(onDisk, whole / 2);
    return onDisk;
  }

 private:
  std::unique_ptr<ImportPatch> clock_;
};

TEST_F(Resume, BrokenDownloadsGoOnFromTheBytesOnDiskOnlyWhenTheAnswerFits) {
  const std::uint64_t S = size("game.pkg");
  const std::uint64_t S2 = size("game2.pkg");
  const std::uint64_t q = (S + 3) / 4;  // four pieces cover the package
  const std::string game = fixture("game.pkg");
  const std::string game2 = fixture("game2.pkg");
  const std::string badsig = fixture("badsig.pkg");
  constexpr std::uint64_t kAny = 0;  // body bytes not fixed: a refused part was partly sent
  struct Row {
    const char* what;
    std::vector<Response> script;  // the last one answers every later request too
    States reports;
    bool newer;                // the newer version is installed
    std::vector<bool> ranged;  // per request: asked for a range (and If-Range)
    std::uint64_t bodyBytes;
  };
  const std::vector<Row> rows = {
      {"strong ETag, cut at every quarter",
       {Response::file(game).etag(kV1).ranges().closeAfter(q)},
       downloads(4) + kInstalled,
       false,
       {false, true, true, true},
       S},
      {"Last-Modified only",
       {Response::file(game).lastModified(kDate).ranges().closeAfter(q)},
       downloads(4) + kInstalled,
       false,
       {false, true, true, true},
       S},
      {"weak ETag alone: whole again",
       {Response::file(game).etag("W/\"v1\"").ranges().closeAfter(q), Response::file(game).etag("W/\"v1\"").ranges()},
       downloads(2) + kInstalled,
       false,
       {false, false},
       q + S},
      {"no validator: whole again",
       {Response::file(game).ranges().closeAfter(q), Response::file(game).ranges()},
       downloads(2) + kInstalled,
       false,
       {false, false},
       q + S},
      {"server ignores ranges: its 200 starts over",
       {Response::file(game).etag(kV1).closeAfter(q), Response::file(game).etag(kV1)},
       downloads(2) + kInstalled,
       false,
       {false, true},
       q + S},
      {"file changed (new ETag): the new one whole",
       {Response::file(game).etag(kV1).ranges().closeAfter(2 * q), Response::file(game2).etag(kV2).ranges()},
       downloads(2) + kInstalled,
       true,
       {false, true},
       2 * q + S2},
      {"server ignores If-Range, its part names the new ETag: not taken",
       {Response::file(game).etag(kV1).ranges().closeAfter(2 * q),
        Response::file(game2).etag(kV2).rangesIgnoringIfRange()},
       downloads(2) + kInstalled,
       true,
       {false, true, false},
       kAny},
      {"server ignores If-Range, spliced package fails: fetched whole once more",
       {Response::file(game).lastModified(kDate).ranges().closeAfter(q), Response::file(badsig).rangesIgnoringIfRange(),
        Response::file(game).lastModified(kDate).ranges()},
       downloads(2) + States{kCheck, kDownloading} + kInstalled,
       false,
       {false, true, false},
       2 * S},
      {"wrong Content-Range start: from zero",
       {Response::file(game).etag(kV1).ranges().closeAfter(q),
        Response::file(game).etag(kV1).ranges().rangeStartOff(1)},
       downloads(2) + kInstalled,
       false,
       {false, true, false},
       kAny},
      {"wrong Content-Range total: from zero",
       {Response::file(game).etag(kV1).ranges().closeAfter(q),
        Response::file(game).etag(kV1).ranges().rangeTotalOff(1)},
       downloads(2) + kInstalled,
       false,
       {false, true, false},
       kAny},
      {"416: from zero",
       {Response::file(game).etag(kV1).ranges().closeAfter(q), Response::file(game).etag(kV1).ranges416()},
       downloads(2) + kInstalled,
       false,
       {false, true, false},
       q + S},
      {"redirected to the same address again: the rest from there",
       {Response::status(302).header("Location", "/mirror/a.pkg"),
        Response::file(game).etag(kV1).ranges().closeAfter(q),
        Response::status(302).header("Location", "/mirror/a.pkg"), Response::file(game).etag(kV1).ranges()},
       downloads(2) + kInstalled,
       false,
       {false, false, false, true},
       S},
      {"redirected elsewhere: its validator does not count there",
       {Response::status(302).header("Location", "/mirror/a.pkg"),
        Response::file(game).etag(kV1).ranges().closeAfter(q),
        Response::status(302).header("Location", "/mirror/b.pkg"), Response::file(game).etag(kV1).ranges()},
       downloads(2) + kInstalled,
       false,
       {false, false, false, false},
       q + S},
      {"503 to the request for the rest: the part is kept",
       {Response::file(game).etag(kV1).ranges().closeAfter(q), Response::status(503),
        Response::file(game).etag(kV1).ranges()},
       downloads(3) + kInstalled,
       false,
       {false, true, true},
       S},
      {"server ignores ranges once, and its whole answer breaks too: the rest of that one",
       {Response::file(game).etag(kV1).ranges().closeAfter(q), Response::file(game).etag(kV1).closeAfter(2 * q),
        Response::file(game).etag(kV1).ranges()},
       downloads(3) + kInstalled,
       false,
       {false, true, true},
       q + S},
      {"404 to the request for the rest: final, the part deleted",
       {Response::file(game).etag(kV1).ranges().closeAfter(q), Response::status(404)},
       downloads(2) + States{kDownloadFailed},
       false,
       {false, true},
       q},
      {"408, 502, 504 once each: tried again",
       {Response::status(408), Response::status(502), Response::status(504), Response::file(game)},
       downloads(4) + kInstalled,
       false,
       {false, false, false, false},
       S},
      {"reset twice: tried again",
       {Response::reset(), Response::reset(), Response::file(game)},
       downloads(3) + kInstalled,
       false,
       {false, false, false},
       S},
      {"500 four times: three retries, then final",
       {Response::status(500)},
       downloads(4) + States{kDownloadFailed},
       false,
       {false, false, false, false},
       kAny},
      {"404: final at once", {Response::status(404)}, downloads(1) + States{kDownloadFailed}, false, {false}, kAny},
      {"403: final at once", {Response::status(403)}, downloads(1) + States{kDownloadFailed}, false, {false}, kAny},
      {"410: final at once", {Response::status(410)}, downloads(1) + States{kDownloadFailed}, false, {false}, kAny},
  };
  fastClock();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    destroy();
    removeTree(partnerFolder());
    host.clear();
    HttpTestServer& s = startServer();
    for (const Response& r : row.script) s.enqueue(r);
    ASSERT_TRUE(create());
    ASSERT_TRUE(pumpUntil([&] { return ended(); }, 60000)) << host.lastStateName();
    EXPECT_EQ(host.notifications(), row.reports);
    const std::vector<Request> requests = s.requests();
    ASSERT_EQ(requests.size(), row.ranged.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(requests[i].hasHeader("Range"), row.ranged[i]);
      EXPECT_EQ(requests[i].hasHeader("If-Range"), row.ranged[i]);
    }
    if (row.bodyBytes != kAny) {
      EXPECT_EQ(s.bodyBytesSent(), row.bodyBytes);
    }
    if (row.reports.back() == kStarted) {
      expectInstalled(row.newer);
    } else {
      EXPECT_FALSE(fileExists(package()));
      EXPECT_FALSE(fileExists(record()));
    }
    destroy();
    server.reset();
  }
}

TEST_F(Resume, FailuresThatMayPassWaitOneTwoAndFourSecondsOrAsTheServerAsks) {
  static const struct {
    const char* what;
    const char* retryAfter;  // null: none
    std::size_t failures;
    unsigned pausesMs[3];
  } cases[] = {
      {"503 twice", nullptr, 2, {1000, 2000, 0}},
      {"503 three times: 1, 2 and 4 s", nullptr, 3, {1000, 2000, 4000}},
      {"429 with Retry-After: 3", "3", 1, {3000, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    destroy();
    removeTree(partnerFolder());
    host.clear();
    HttpTestServer& s = startServer();
    for (std::size_t i = 0; i < c.failures; ++i) {
      Response failure = Response::status(c.retryAfter ? 429 : 503);
      if (c.retryAfter) failure.header("Retry-After", c.retryAfter);
      s.enqueue(failure);
    }
    s.enqueue(Response::file(fixture("game.pkg")));
    ASSERT_TRUE(create());
    ASSERT_TRUE(waitFor("STATE_GAME_STARTED", 60000));
    EXPECT_EQ(host.notifications(), downloads(c.failures + 1) + kInstalled);
    const std::vector<Request> requests = s.requests();
    ASSERT_EQ(requests.size(), c.failures + 1);
    // Never sooner than the pause (the tick count moves in steps of up to
    // 16 ms).
    for (std::size_t i = 0; i < c.failures; ++i)
      EXPECT_GE(requests[i + 1].receivedAtMs - requests[i].receivedAtMs + 16, c.pausesMs[i]) << i;
    destroy();
    server.reset();
  }
}

TEST_F(Resume, RefusedConnectionIsTriedThreeTimesThenFinal) {
  fastClock();
  ASSERT_TRUE(create());  // nothing listens at the case's address
  ASSERT_TRUE(waitFor("STATE_GAME_DOWNLOAD_FAILED", 60000));
  EXPECT_EQ(host.notifications(), downloads(4) + States{kDownloadFailed});
}

// A part whose Content-Range fits but whose Content-Length states the whole
// file (a server that gets 206 wrong): the part cannot be taken, and the
// package must come whole from zero, as for any part that does not fit,
// instead of the bytes on disk being thrown away with a final failure.
TEST_F(Resume, APartAnnouncingTheWholeLengthStartsOverInsteadOfFailing) {
  fastClock();
  const std::uint64_t S = size("game.pkg");
  const std::uint64_t q = (S + 3) / 4;
  HttpTestServer& s = startServer();
  s.enqueue(Response::file(fixture("game.pkg")).etag(kV1).ranges().closeAfter(q));
  s.enqueue(Response::file(fixture("game.pkg")).etag(kV1).ranges().withLength(S));
  ::DeleteFileA(installLogPath().c_str());
  ASSERT_TRUE(create());
  ASSERT_TRUE(pumpUntil([&] { return ended(); }, 60000)) << host.lastStateName();
  ASSERT_GE(s.requestCount(), 2u);
  EXPECT_TRUE(s.requests()[1].hasHeader("Range"));
  ASSERT_FALSE(host.notifications().empty());
  EXPECT_EQ(host.notifications().back(), kStarted);
  if (host.notifications().back() == kStarted) expectInstalled(false);
  // Whatever ended the second attempt is named: never a failure without a cause.
  const std::string log = installLogText();
  EXPECT_EQ(log.find("failed: ;"), std::string::npos) << log;
}

// A link that drops the connection right after the headers of the answer
// for the rest: nothing was added, but nothing on disk is wrong either. The
// bytes kept must not be thrown away with a final failure.
TEST_F(Resume, ACutRightAfterThePartsHeadersKeepsTheBytesOnDisk) {
  fastClock();
  const std::uint64_t S = size("game.pkg");
  const std::uint64_t q = (S + 3) / 4;
  HttpTestServer& s = startServer();
  s.enqueue(Response::file(fixture("game.pkg")).etag(kV1).ranges().closeAfter(q));
  s.enqueue(Response::file(fixture("game.pkg")).etag(kV1).ranges().closeAfter(0));
  s.enqueue(Response::file(fixture("game.pkg")).etag(kV1).ranges());
  ASSERT_TRUE(create());
  ASSERT_TRUE(pumpUntil([&] { return ended(); }, 60000)) << host.lastStateName();
  ASSERT_FALSE(host.notifications().empty());
  EXPECT_EQ(host.notifications().back(), kStarted);
  if (host.notifications().back() == kStarted) expectInstalled(false);
  EXPECT_EQ(s.bodyBytesSent(), S);
}

TEST_F(Resume, DeleteDuringAPauseIsImmediate) {
  Response busy = Response::status(503);
  busy.header("Retry-After", "30");
  startServer().enqueue(busy);
  ASSERT_TRUE(create());
  ASSERT_TRUE(pumpUntil([&] { return server->requestCount() >= 1; }, 20000));
  pumpFor(500);
  const DWORD start = ::GetTickCount();
  destroy();
  EXPECT_LT(::GetTickCount() - start, 1000u);
  EXPECT_EQ(host.notifications(), (States{kDownloading, kClosed}));
  EXPECT_EQ(server->requestCount(), 1u);
}

TEST_F(Resume, ANewStartFetchesOnlyWhatTheDeletedOneLeftOut) {
  const std::uint64_t onDisk = leavePartialPackage();
  HttpTestServer& s = startServer();
  s.enqueue(Response::file(fixture("game.pkg")).etag(kV1).ranges());
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED", 60000));
  EXPECT_EQ(host.notifications(), downloads(1) + kInstalled);
  ASSERT_EQ(s.requestCount(), 1u);
  EXPECT_EQ(s.requests()[0].header("Range"), "bytes=" + std::to_string(onDisk) + "-");
  EXPECT_EQ(s.requests()[0].header("If-Range"), kV1);
  EXPECT_EQ(s.bodyBytesSent(), size("game.pkg") - onDisk);
  expectInstalled(false);
}

TEST_F(Resume, ANewStartWithAnotherAddressDropsThePartBeforeItsFirstByte) {
  leavePartialPackage();
  HttpTestServer& s = startServer();
  s.enqueue(Response::file(fixture("game.pkg")).etag(kV1).ranges().stallFirst());
  ASSERT_TRUE(create({{"gamecab", url("/games/v2/game.pkg")}}));
  ASSERT_TRUE(pumpUntil([&] { return s.stallCount() >= 1; }, 20000));
  EXPECT_FALSE(fileExists(record()));
  EXPECT_EQ(fileSize(package()), 0u);
  s.release();
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED", 60000));
  EXPECT_FALSE(s.requests()[0].hasHeader("Range"));
  EXPECT_EQ(s.bodyBytesSent(), size("game.pkg"));
  expectInstalled(false);
}

TEST_F(Resume, ARecordAnotherAccountAlteredSplicesNothing) {
  static const struct {
    const char* what;
    const char* from;  // replaced in the record; null: the whole record
    const char* to;
    std::size_t requests;  // the first asks for a range when the record was believed
  } cases[] = {
      {"garbage", nullptr, "address http://elsewhere/\nnonsense", 1},
      {"another address", "/games/game.pkg", "/games/other.pkg", 1},
      {"a longer total", "\ntotal ", "\ntotal 1", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    destroy();
    removeTree(partnerFolder());
    host.clear();
    leavePartialPackage();
    std::string text = readFile(record());
    if (c.from == nullptr) {
      text = c.to;
    } else {
      ASSERT_NE(text.find(c.from), std::string::npos);
      text.replace(text.find(c.from), std::string(c.from).size(), c.to);
    }
    writeFile(record(), text);
    HttpTestServer& s = startServer();
    s.enqueue(Response::file(fixture("game.pkg")).etag(kV1).ranges());
    ASSERT_TRUE(create());
    ASSERT_TRUE(waitFor("STATE_GAME_STARTED", 60000));
    EXPECT_EQ(host.notifications(), downloads(1) + kInstalled);
    const std::vector<Request> requests = s.requests();
    ASSERT_EQ(requests.size(), c.requests);
    EXPECT_EQ(requests[0].hasHeader("Range"), c.requests == 2);
    EXPECT_FALSE(requests.back().hasHeader("Range"));
    expectInstalled(false);
    destroy();
    server.reset();
  }
}

TEST_F(Resume, APartAlteredOnDiskFailsItsCheckOnceAndComesWhole) {
  leavePartialPackage();
  std::string part = readFile(package());
  part[100] = static_cast<char>(part[100] ^ 0x01);
  writeFile(package(), part);
  HttpTestServer& s = startServer();
  s.enqueue(Response::file(fixture("game.pkg")).etag(kV1).ranges());
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED", 60000));
  const States expected = downloads(1) + States{kCheck, kDownloading} + kInstalled;
  EXPECT_EQ(host.notifications(), expected);
  const std::vector<Request> requests = s.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[0].hasHeader("Range"));
  EXPECT_FALSE(requests[1].hasHeader("Range"));
  expectInstalled(false);
}

}  // namespace
}  // namespace fyrel::test
