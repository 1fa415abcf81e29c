// Packages over HTTPS, from the loader's creation to the installed game:
// the platform's certificate checks decide which server is talked to at
// all, redirects may climb to TLS but never step down from it.
// with_network_parts.sh starts tests/network/tls_server.py for each case,
// with a test CA made for it, which the fixture trusts in the prefix's
// machine root store while the case runs.
#include <windows.h>
#include <gtest/gtest.h>
#include <wininet.h>

#include <cstdio>
#include <string>

#include "common/unique_handle.h"
#include "common/unique_internet.h"
#include "extension/loader_fixture.h"
#include "network/network_parts.h"

namespace fyrel::test {
namespace {

// What WinINet itself reports for a GET of url (0: an answer came), for
// the table's printout: the loader keeps no failure text.
DWORD winInetErrorFor(const std::string& url) {
  URL_COMPONENTSA parts{};
  char host[256] = {};
  char path[1024] = {};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof host;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = sizeof path;
  if (!::InternetCrackUrlA(url.c_str(), 0, 0, &parts)) return ::GetLastError();
  UniqueInternet internet(::InternetOpenA("fyrel-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  UniqueInternet connect(
      ::InternetConnectA(internet.get(), host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  UniqueInternet request(::HttpOpenRequestA(connect.get(), "GET", path, nullptr, nullptr, nullptr,
                                            INTERNET_FLAG_SECURE | INTERNET_FLAG_RELOAD, 0));
  if (!request) return ::GetLastError();
  return ::HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0) ? 0 : ::GetLastError();
}

class Tls : public LoaderTest {
 protected:
  Tls() : LoaderTest("127.19") {}

  void SetUp() override {
    LoaderTest::SetUp();
    ASSERT_FALSE(networkPart("FYREL_NET_TLS").empty())
        << "FYREL_NET_TLS is not set: run through tests/network/with_network_parts.sh (CTest does)";
    ASSERT_TRUE(ca_.added()) << "the test CA could not be added to the prefix's root store";
  }

  void startAfresh() {
    destroy();
    host.clear();
    server.reset();
    removeTree(partnerFolder());
    ::DeleteFileA(installLogPath().c_str());
  }
  // Requests the TLS server logged for this port and path ("PORT PATH").
  std::size_t tlsRequests(unsigned port, const std::string& path) const {
    const std::string log = readFile(linuxFileAsWindowsPath(networkPart("FYREL_NET_TLS_LOG")));
    const std::string line = std::to_string(port) + " " + path + "\n";
    std::size_t count = 0;
    for (std::size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1))
      count += at == 0 || log[at - 1] == '\n';
    return count;
  }
  bool ended() { return host.received("STATE_GAME_STARTED") || host.received("STATE_GAME_DOWNLOAD_FAILED"); }
  // The last download attempt's line in the install log ("" when none failed).
  std::string failureLine() const {
    const std::string log = installLogText();
    const std::size_t attempt = log.rfind("download attempt ");
    const std::size_t at = attempt == std::string::npos ? attempt : log.find("failed: ", attempt);
    return at == std::string::npos ? std::string() : log.substr(at, log.find('\r', at) - at);
  }

 private:
  TrustedTestCa ca_;
};

TEST_F(Tls, OnlyACertificateThePlatformTrustsForThisServerInstallsTheGame) {
  static const struct {
    const char* what;
    unsigned port;  // tests/network/tls_server.py
    bool installs;
  } cases[] = {
      {"trusted", 19443, true},        {"expired", 19444, false},
      {"not yet valid", 19445, false}, {"issued for another address", 19446, false},
      {"self-signed", 19447, false},   {"issued by an unknown CA", 19448, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    startAfresh();
    const std::string url = tlsUrl(c.port, "/extension/game.pkg");
    ASSERT_TRUE(create({{"gamecab", url}}));
    ASSERT_TRUE(pumpUntil([&] { return ended(); }, 60000));
    // The download fails at once: a certificate problem is no dropped
    // connection, and nothing is tried again.
    if (c.installs) {
      EXPECT_EQ(host.notifications(), (States{kDownloading, kCheck, kExtracting, kReady, kCreated, kStarted}));
      EXPECT_EQ(readFile(gameFolder() + "testgame.dll"), readFile(binDir() + "games\\ok\\testgame.dll"));
      EXPECT_EQ(tlsRequests(c.port, "/extension/game.pkg"), 1u);
    } else {
      EXPECT_EQ(host.notifications(), (States{kDownloading, kDownloadFailed}));
      EXPECT_FALSE(fileExists(gameFolder() + "testgame.dll"));
      EXPECT_EQ(tlsRequests(c.port, "/extension/game.pkg"), 0u) << "a request passed the TLS handshake";
      // The line says it was the certificate, not the network. Windows
      // names the problem (ERROR_WINHTTP_SECURE_FAILURE with the
      // certificate's problem flags); Wine's WinHTTP answers every one of
      // them with ERROR_WINHTTP_SECURE_CHANNEL_ERROR and no flags.
      EXPECT_NE(failureLine().find("ERROR_WINHTTP_SECURE_"), std::string::npos) << installLogText();
    }
    // The game goes before the comparison GET below starts WinINet's
    // threads: a thread started while a game runs keeps its module loaded.
    destroy();
    std::printf("%-28s %s (WinINet's own GET: error %lu)\n  %s\n", c.what,
                host.stateNames().empty() ? "-" : host.stateNames().back().c_str(),
                static_cast<unsigned long>(winInetErrorFor(url)), failureLine().c_str());
  }
}

TEST_F(Tls, RedirectsClimbToTlsButNeverStepDown) {
  const std::string package = tlsUrl(19443, "/extension/game.pkg");

  // http -> https: the package comes over TLS.
  startServer().enqueue(Response::status(301).header("Location", package));
  ASSERT_TRUE(create({{"gamecab", url("/games/game.pkg")}}));
  ASSERT_TRUE(pumpUntil([&] { return ended(); }, 60000));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kCheck, kExtracting, kReady, kCreated, kStarted}));
  EXPECT_EQ(server->requestCount(), 1u);
  EXPECT_EQ(tlsRequests(19443, "/extension/game.pkg"), 1u);

  // https -> http: refused before any request reaches the clear-text server.
  startAfresh();
  startServer().enqueue(Response::file(fixture("game.pkg")));
  const std::string down = "/redirect?to=" + url("/games/game.pkg");
  ASSERT_TRUE(create({{"gamecab", tlsUrl(19443, down)}}));
  ASSERT_TRUE(pumpUntil([&] { return ended(); }, 60000));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kDownloadFailed}));
  EXPECT_EQ(tlsRequests(19443, down), 1u);
  EXPECT_EQ(server->requestCount(), 0u);
  EXPECT_NE(failureLine().find("refused (from https to http"), std::string::npos) << installLogText();
  EXPECT_FALSE(fileExists(gameFolder() + "testgame.dll"));

  // A loop over TLS still stops after ten hops.
  startAfresh();
  ASSERT_TRUE(create({{"gamecab", tlsUrl(19443, "/loop")}}));
  ASSERT_TRUE(pumpUntil([&] { return ended(); }, 120000));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kDownloadFailed}));
  EXPECT_EQ(tlsRequests(19443, "/loop"), 11u);
  EXPECT_NE(failureLine().find("failed: more than 10 redirects"), std::string::npos) << installLogText();
}

}  // namespace
}  // namespace fyrel::test
