// The signature's cases end to end: the package hashed as it arrives
// (whole, resumed within a start in the handle the failed attempt wrote
// through, or resumed across starts from the bytes on disk), its trailer
// found in the bytes held back, and the package kept from writers from its
// first byte to the end of its extraction. Packages made from the cabinet
// gcab built and the signature openssl made (make_packages.py), served by
// the in-process server.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "extension/loader_fixture.h"
#include "support/import_patch.h"

namespace fyrel::test {
namespace {

// Restart pauses pass at the next timer step (the DLL's 64-bit tick count
// jumps a minute at every reading).
std::atomic<unsigned long long> clockJump{0};
ULONGLONG WINAPI jumpingClock() { return ::GetTickCount64() + clockJump.fetch_add(60000); }

// The bytes the DLL reads from a file named game.pkg: the package is read
// only where a part of it was on disk before its transfer began.
std::atomic<std::uint64_t> packageBytesRead{0};
BOOL WINAPI countingReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
  const BOOL ok = ::ReadFile(file, buffer, size, read, overlapped);
  wchar_t path[1024];
  const DWORD length = ::GetFinalPathNameByHandleW(file, path, 1024, 0);
  const std::wstring name = L"\\game.pkg";
  if (ok && read != nullptr && length > name.size() && length < 1024 &&
      std::wstring(path + length - name.size(), path + length) == name)
    packageBytesRead += *read;
  return ok;
}

constexpr std::size_t kWindow = 102400;  // the trailer's first marker lies in the last this many bytes
const char kV1[] = "\"v1\"";

States operator+(States a, const States& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
const States kInstalled{kCheck, kExtracting, kReady, kCreated, kStarted};

class SignedPackage : public LoaderTest {
 protected:
  SignedPackage() : LoaderTest("127.54") {}

  void SetUp() override {
    LoaderTest::SetUp();
    content_ = readFile(fixture("game.cab"));
    const std::string signedPackage = readFile(fixture("game.pkg"));
    ASSERT_GT(signedPackage.size(), content_.size());
    trailer_ = signedPackage.substr(content_.size());  // marker, signature, marker
    badTrailer_ = trailer_;
    badTrailer_[20] = static_cast<char>(badTrailer_[20] ^ 0x01);  // a byte of the signature
    clock_ = std::make_unique<ImportPatch>(library.module(), "kernel32.dll", "GetTickCount64",
                                           reinterpret_cast<void*>(&jumpingClock));
    ASSERT_TRUE(clock_->applied());
    reads_ = std::make_unique<ImportPatch>(library.module(), "kernel32.dll", "ReadFile",
                                           reinterpret_cast<void*>(&countingReadFile));
    ASSERT_TRUE(reads_->applied());
  }
  void TearDown() override {
    LoaderTest::TearDown();
    reads_.reset();
    clock_.reset();
  }

  std::string package() const { return gameFolder() + "game.pkg"; }
  std::string record() const { return gameFolder() + "game.pkg.resume"; }
  // The package's bytes in a file the server streams, in a folder of the
  // case's own: the cases run side by side, and making the folder empties it.
  std::string served(const std::string& name, const std::string& bytes) const {
    const std::string folder =
        std::string("signed_package_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string path = scratchDir(folder) + name + ".pkg";
    writeFile(path, bytes);
    return path;
  }
  bool ended() const {
    for (const Pair& pair : host.notifications())
      if (pair == kStarted || pair.first == "FE_ERROR") return true;
    return false;
  }
  void expectInstalled() {
    EXPECT_EQ(readFile(gameFolder() + "testgame.dll"), readFile(binDir() + "games\\ok\\testgame.dll"));
    EXPECT_FALSE(fileExists(package()));
    EXPECT_FALSE(fileExists(record()));
  }
  void expectRefused() {
    EXPECT_FALSE(fileExists(gameFolder() + "testgame.dll"));
    EXPECT_FALSE(fileExists(package()));
    EXPECT_FALSE(fileExists(record()));
  }

  std::string content_;
  std::string trailer_;
  std::string badTrailer_;

 private:
  std::unique_ptr<ImportPatch> clock_;
  std::unique_ptr<ImportPatch> reads_;
};

TEST_F(SignedPackage, TrailerRulesHoldForThePackageHashedAsItArrives) {
  const std::string& c = content_;
  const std::string& t = trailer_;
  const std::string& bad = badTrailer_;
  auto tail = [](std::size_t n) { return std::string(n, 'T'); };
  // Where the first attempt's connection drops (0: it does not), from the
  // package's end or from its start.
  struct Cut {
    std::size_t fromEnd = 0;
    std::size_t fromStart = 0;
  };
  struct Row {
    const char* what;
    std::string bytes;
    bool accepted;
    Cut cut;
  };
  const std::size_t trailerLength = t.size();
  const std::vector<Row> rows = {
      {"trailer in the last bytes", c + t, true, {}},
      {"trailer in the last bytes, cut inside the window", c + t, true, {kWindow / 2, 0}},
      {"trailer in the last bytes, cut inside the signature", c + t, true, {trailerLength - 30, 0}},
      {"signature of other content", readFile(fixture("badsig.pkg")), false, {}},
      {"signature of other content, cut inside the window", readFile(fixture("badsig.pkg")), false, {kWindow / 3, 0}},
      {"first marker at the window's first byte", c + t + tail(kWindow - trailerLength), true, {}},
      {"first marker at the window's first byte, cut before the window",
       c + t + tail(kWindow - trailerLength),
       true,
       {kWindow + 5000, 0}},
      {"first marker at the window's first byte, cut right after it",
       c + t + tail(kWindow - trailerLength),
       true,
       {kWindow - 1, 0}},
      {"first marker one byte before the window", c + t + tail(kWindow - trailerLength + 1), false, {}},
      {"first marker one byte before the window, cut inside the window",
       c + t + tail(kWindow - trailerLength + 1),
       false,
       {kWindow / 2, 0}},
      {"content across the window's start", c + t + tail(kWindow / 2), true, {0, 1000}},
      {"two trailers, the first good", c + t + bad, true, {}},
      {"two trailers, the first good, cut inside the second", c + t + bad, true, {trailerLength / 2, 0}},
      {"two trailers, the first bad", c + bad + t, false, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    destroy();
    removeTree(partnerFolder());
    host.clear();
    const std::string file = served("case", row.bytes);
    const std::size_t cutAt = row.cut.fromEnd != 0 ? row.bytes.size() - row.cut.fromEnd : row.cut.fromStart;
    packageBytesRead = 0;
    HttpTestServer& s = startServer();
    if (cutAt != 0) s.enqueue(Response::file(file).etag(kV1).ranges().closeAfter(cutAt));
    s.enqueue(Response::file(file).etag(kV1).ranges());
    ASSERT_TRUE(create());
    ASSERT_TRUE(pumpUntil([&] { return ended(); }, 60000)) << host.lastStateName();
    const States downloads(cutAt != 0 ? 2 : 1, kDownloading);
    // A package put together from pieces that fails is fetched whole once
    // more before it is refused.
    const States refused =
        cutAt != 0 ? States{kCheck, kDownloading, kCheck, kVerificationFailed} : States{kCheck, kVerificationFailed};
    EXPECT_EQ(host.notifications(), downloads + (row.accepted ? kInstalled : refused));
    // Hashed as it came; the part a failed attempt wrote stays open and
    // hashed for the next attempt, which appends to it in the same handle
    // and never reads it back.
    EXPECT_EQ(packageBytesRead.load(), 0u);
    if (cutAt != 0) {
      ASSERT_GE(s.requestCount(), 2u);
      EXPECT_EQ(s.requests()[1].header("Range"), "bytes=" + std::to_string(cutAt) + "-");
    }
    if (row.accepted)
      expectInstalled();
    else
      expectRefused();
    destroy();
    server.reset();
  }
}

TEST_F(SignedPackage, APartLeftByAnEarlierStartIsHashedFromDiskBeforeTheRestIsAppended) {
  static const struct {
    const char* what;
    bool firstTrailerGood;
    std::size_t stallFromEnd;  // where the first start is deleted
  } cases[] = {
      // The part on disk ends up to 64 KiB before the stall.
      {"good, part ends inside the window", true, 1000},
      {"good, part ends before the window", true, kWindow + 20000},
      {"first trailer bad, part ends inside the window", false, 1000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    destroy();
    removeTree(partnerFolder());
    host.clear();
    const std::string bytes = content_ + (c.firstTrailerGood ? trailer_ + badTrailer_ : badTrailer_ + trailer_);
    const std::string file = served("across", bytes);
    std::size_t part = 0;
    {
      HttpTestServer& s = startServer();
      s.enqueue(Response::file(file).etag(kV1).ranges().stallAfter(bytes.size() - c.stallFromEnd));
      ASSERT_TRUE(create());
      ASSERT_TRUE(pumpUntil([&] { return s.stallCount() >= 1; }, 20000));
      ASSERT_TRUE(pumpUntil([&] { return fileExists(record()) && !readFile(package()).empty(); }, 20000));
      destroy();
      server.reset();
      host.clear();
      // Up to one write buffer short of where the body stalled.
      part = readFile(package()).size();
      ASSERT_GT(part, 0u);
    }
    packageBytesRead = 0;
    HttpTestServer& s = startServer();
    s.enqueue(Response::file(file).etag(kV1).ranges());
    ASSERT_TRUE(create());
    ASSERT_TRUE(pumpUntil([&] { return ended(); }, 60000)) << host.lastStateName();
    EXPECT_EQ(s.requests()[0].header("Range"), "bytes=" + std::to_string(part) + "-");
    EXPECT_EQ(packageBytesRead.load(), part);
    if (c.firstTrailerGood) {
      EXPECT_EQ(host.notifications(), States{kDownloading} + kInstalled) << installLogText();
      EXPECT_EQ(s.bodyBytesSent(), bytes.size() - part);
      expectInstalled();
    } else {
      EXPECT_EQ(host.notifications(), (States{kDownloading, kCheck, kDownloading, kCheck, kVerificationFailed}))
          << installLogText();
      expectRefused();
    }
    destroy();
    server.reset();
  }
}

// Another program that opens the package for writing while it downloads,
// in the pause between two attempts, when the check begins, or while it is
// extracted, is refused: the bytes hashed are the bytes extracted. (Done from the test's own process: the
// file's sharing is checked the same way whichever process asks.)
TEST_F(SignedPackage, NobodyCanWriteThePackageFromItsFirstByteToTheEndOfItsExtraction) {
  const std::string newer = readFile(fixture("game2.pkg"));
  struct Attempt {
    const char* when;
    bool opened = false;
    DWORD error = 0;
  };
  std::vector<Attempt> attempts;
  // Tries to put another signed package (a newer version) in its place.
  auto replace = [&](const char* when) {
    Attempt attempt{when};
    HANDLE file =
        ::CreateFileA(package().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
    attempt.error = ::GetLastError();
    if (file != INVALID_HANDLE_VALUE) {
      attempt.opened = true;
      DWORD written = 0;
      ::WriteFile(file, newer.data(), static_cast<DWORD>(newer.size()), &written, nullptr);
      ::SetEndOfFile(file);
      ::CloseHandle(file);
    }
    attempts.push_back(attempt);
  };
  int downloads = 0;
  host.onNotify([&](const Pair& pair) {
    // The second report comes as the restart begins, before the next
    // attempt has taken the part over.
    if (pair == kDownloading && ++downloads == 2) replace("between two attempts");
    if (pair == kCheck) replace("as the check begins");
    if (pair == kExtracting) replace("as the extraction begins");
  });
  const std::string bytes = readFile(fixture("game.pkg"));
  HttpTestServer& s = startServer();
  // The first attempt stalls at a third, then drops at half; the second
  // asks for the rest.
  s.enqueue(
      Response::file(fixture("game.pkg")).etag(kV1).ranges().stallAfter(bytes.size() / 3).closeAfter(bytes.size() / 2));
  s.enqueue(Response::file(fixture("game.pkg")).etag(kV1).ranges());
  ASSERT_TRUE(create());
  ASSERT_TRUE(pumpUntil([&] { return s.stallCount() >= 1; }, 20000));
  replace("during the download");
  s.release();
  ASSERT_TRUE(pumpUntil([&] { return ended(); }, 60000)) << host.lastStateName();
  host.onNotify(nullptr);
  ASSERT_EQ(attempts.size(), 4u);
  for (const Attempt& attempt : attempts) {
    SCOPED_TRACE(attempt.when);
    EXPECT_FALSE(attempt.opened);
    EXPECT_EQ(attempt.error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }
  EXPECT_EQ(host.notifications(), (States{kDownloading, kDownloading} + kInstalled)) << installLogText();
  ASSERT_EQ(s.requestCount(), 2u);
  EXPECT_EQ(s.requests()[1].header("Range"), "bytes=" + std::to_string(bytes.size() / 2) + "-");
  EXPECT_EQ(packageBytesRead.load(), 0u);  // the part was never read back
  // The version that came, not the one put in its place.
  std::string level(256 * 40, '\0');
  for (std::size_t i = 0; i < level.size(); ++i) level[i] = static_cast<char>(i % 256);
  EXPECT_TRUE(readFile(gameFolder() + "data\\levels\\1.dat") == level);
  expectInstalled();
}

}  // namespace
}  // namespace fyrel::test
