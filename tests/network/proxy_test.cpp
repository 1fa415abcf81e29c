// The loader behind real proxies, set the way a Windows user sets them:
// squid as a company's forward proxy, and mitmdump as a middlebox that
// alters what passes through it. with_network_parts.sh starts them for each
// case; the package comes from the in-process server behind them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "extension/loader_fixture.h"
#include "network/network_parts.h"
#include "screen/screen_rig.h"

namespace fyrel::test {
namespace {

constexpr std::uint32_t kErrorRed = 0xFF0000;
// Only catches a hang: a refused or unreachable proxy ends the start at once.
constexpr unsigned kPromptMs = 15000;
// A failure that may pass is tried three times more, 1, 2 and 4 s apart.
constexpr unsigned kRetriedMs = kPromptMs + 7000;

// Names of the files in a folder (none for a missing folder).
std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  return names;
}

class ThroughProxy : public LoaderTest {
 protected:
  ThroughProxy(const char* firstOctets, const char* variable) : LoaderTest(firstOctets), variable_(variable) {}

  void SetUp() override {
    before_ = proxySettingText();
    LoaderTest::SetUp();
    proxyAddress = networkPart(variable_);
    ASSERT_FALSE(proxyAddress.empty()) << variable_ << " is not set: run through tests/network/with_network_parts.sh"
                                       << " (CTest does)";
  }
  void TearDown() override {
    LoaderTest::TearDown();
    proxy.reset();
    EXPECT_EQ(proxySettingText(), before_) << "the prefix's proxy setting was not put back";
  }
  // Each case of a table starts as the first would: no extension, no
  // reports, no origin, no game folder.
  void startAfresh() {
    destroy();
    host.clear();
    server.reset();
    removeTree(partnerFolder());
    ::DeleteFileA(installLogPath().c_str());
  }

  // The previous setting is put back before the new one is saved, so the
  // last restore leaves the prefix as the case found it.
  void useProxy(const std::string& servers, const std::string& straight = "") {
    proxy.reset();
    proxy = std::make_unique<ProxySetting>(servers, straight);
  }

  // The start ended in `state` with no prompt on the way; the window shows
  // the error line (saved as <build>/snapshots/screen/<snapshot>.png).
  void expectErrorShown(const char* snapshot) {
    pumpFor(1200);  // the logo ends its slide-in, so the snapshot shows the screen at rest
    const Frame frame = Frame::ofWindow(window.hwnd());
    frame.saveSnapshot(snapshot);
    EXPECT_GT(frame.find(kErrorRed, 0, frame.height() - 1).count, 20) << "no error line on the screen";
    EXPECT_EQ(otherVisibleWindows(window.hwnd()), 0) << "a window was opened (a prompt?)";
  }

  std::string proxyAddress;
  std::unique_ptr<ProxySetting> proxy;

 private:
  static std::string proxySettingText() {
    std::string text;
    for (const char* name : {"ProxyEnable", "ProxyServer", "ProxyOverride"}) {
      DWORD type = REG_NONE;
      std::string bytes = "(none)";
      readValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", name, type,
                bytes);
      text += std::string(name) + "=" + std::to_string(type) + ":" + bytes + ";";
    }
    return text;
  }

  const char* variable_;
  std::string before_;
};

class Squid : public ThroughProxy {
 protected:
  Squid() : ThroughProxy("127.62", "FYREL_NET_SQUID") {}

  std::string accessLog() const { return readFile(linuxFileAsWindowsPath(networkPart("FYREL_NET_SQUID_LOG"))); }
  // Squid writes a request's line when it has ended; waits for it.
  bool logHas(const std::string& text) {
    return pumpUntil([&] { return accessLog().find(text) != std::string::npos; }, 5000);
  }
};

TEST_F(Squid, FirstStartGoesThroughTheProxyWhichLogsThePackageRequest) {
  startServer().enqueue(Response::file(fixture("game.pkg")));
  useProxy(proxyAddress + ":3128");
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kCheck, kExtracting, kReady, kCreated, kStarted}));
  EXPECT_EQ(readFile(gameFolder() + "testgame.dll"), readFile(binDir() + "games\\ok\\testgame.dll"));

  ASSERT_EQ(server->requestCount(), 1u);
  const Request request = server->requests()[0];
  EXPECT_EQ(request.target, "/games/game.pkg");
  EXPECT_NE(request.header("Via").find("squid"), std::string::npos) << "came straight, not through squid";
  EXPECT_TRUE(logHas("TCP_MISS/200")) << accessLog();
  EXPECT_TRUE(logHas(" GET " + url("/games/game.pkg") + " ")) << accessLog();
}

TEST_F(Squid, TheProxyListIsReadAsWindowsWritesIt) {
  // Each setting names squid somewhere; only some send the package
  // through it.
  static const struct {
    const char* what;
    const char* servers;  // %s: squid's address
    bool straight;        // ProxyOverride names the origin
    bool throughSquid;
  } cases[] = {
      {"an entry for http", "http=%s:3128;https=%s:3129", false, true},
      {"an entry for https only", "https=%s:3128", false, false},
      {"the origin listed to be reached straight", "%s:3128", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    startAfresh();
    startServer().enqueue(Response::file(fixture("game.pkg")));
    std::string servers = c.servers;
    for (std::size_t at; (at = servers.find("%s")) != std::string::npos;) servers.replace(at, 2, proxyAddress);
    const std::string path =
        std::string("/games/") + (c.throughSquid ? "via" : "straight") + std::to_string(&c - cases) + "/game.pkg";
    useProxy(servers, c.straight ? address() : "");
    ASSERT_TRUE(create({{"gamecab", url(path)}}));
    ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
    ASSERT_EQ(server->requestCount(), 1u);
    EXPECT_EQ(server->requests()[0].header("Via").find("squid") != std::string::npos, c.throughSquid);
    if (c.throughSquid) {
      EXPECT_TRUE(logHas(" GET " + url(path) + " ")) << accessLog();
    } else {
      EXPECT_EQ(accessLog().find(path), std::string::npos) << accessLog();
    }
  }
}

TEST_F(Squid, AnIpv6PackageAddressReachesTheProxyWithItsBrackets) {
  HttpTestServer origin("::1", 19082);
  ASSERT_TRUE(origin.listening());
  origin.enqueue(Response::file(fixture("game.pkg")));
  useProxy(proxyAddress + ":3128");
  ASSERT_TRUE(create({{"gamecab", "http://[::1]:19082/games/v6/game.pkg"}}));
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  ASSERT_EQ(origin.requestCount(), 1u);
  EXPECT_NE(origin.requests()[0].header("Via").find("squid"), std::string::npos);
  EXPECT_EQ(origin.requests()[0].header("Host"), "[::1]:19082");
  EXPECT_TRUE(logHas(" GET http://[::1]:19082/games/v6/game.pkg ")) << accessLog();
}

TEST_F(Squid, HttpsPackageComesThroughTheProxyByConnect) {
  // with_network_parts.sh starts the HTTPS servers for this case too; the
  // proxy only sees a tunnel, the certificate is checked end to end.
  TrustedTestCa ca;
  ASSERT_TRUE(ca.added());
  useProxy(proxyAddress + ":3128");
  ASSERT_TRUE(create({{"gamecab", tlsUrl(19443, "/extension/game.pkg")}}));
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED", 60000));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kCheck, kExtracting, kReady, kCreated, kStarted}));
  EXPECT_EQ(readFile(gameFolder() + "testgame.dll"), readFile(binDir() + "games\\ok\\testgame.dll"));
  EXPECT_TRUE(logHas(" CONNECT " + networkPart("FYREL_NET_TLS") + ":19443 ")) << accessLog();
}

TEST_F(Squid, ProxySetButNotRunningFailsTheDownloadPromptlyWithTheErrorOnScreen) {
  // The origin would serve the package: only the proxy setting keeps the
  // loader from it.
  startServer().enqueue(Response::file(fixture("game.pkg")));
  useProxy(proxyAddress + ":3130");  // nothing listens there
  ASSERT_TRUE(create());
  // A refused connection may be a moment's trouble: tried again three
  // times, 1, 2 and 4 s apart, then final.
  ASSERT_TRUE(waitFor("STATE_GAME_DOWNLOAD_FAILED", kRetriedMs));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kDownloading, kDownloading, kDownloading, kDownloadFailed}));
  EXPECT_EQ(server->requestCount(), 0u);
  expectErrorShown("proxy_not_running");
  // The line names the proxy, so a host team looks there and not at the
  // publisher's server.
  EXPECT_NE(installLogText().find("attempt 4 of " + url("/games/game.pkg") +
                                  ": failed: ERROR_WINHTTP_CANNOT_CONNECT (12029) before an answer came through the "
                                  "proxy " +
                                  proxyAddress + ":3130"),
            std::string::npos)
      << installLogText();
}

TEST_F(Squid, ProxyRefusalsEndInTheDownloadFailureWithoutAPrompt) {
  enum class Origin { Serves, HangsUp, Absent };
  static const struct {
    const char* what;
    const char* port;
    const char* path;
    Origin origin;
    const char* squidAnswer;  // as squid logs it
    const char* snapshot;
    std::size_t attempts;  // a gateway's 502 and 503 may pass: tried again three times
    const char* line;      // what the install log says of the last attempt
  } cases[] = {
      // Squid asks for a login (Basic) that the loader does not have.
      {"login required", "3129", "/login/game.pkg", Origin::Serves, "TCP_DENIED/407", "proxy_login_required", 1,
       "failed: HTTP 407 Proxy Authentication Required; 0 of 0 bytes on disk; not tried again"},
      // The origin takes the request and hangs up without a word.
      {"bad gateway", "3128", "/hangup/game.pkg", Origin::HangsUp, "/502 ", "proxy_bad_gateway", 4,
       "failed: HTTP 502 Bad Gateway; 0 of 0 bytes on disk; trying again in 1000 ms"},
      // Nothing listens at the origin.
      {"origin unreachable", "3128", "/absent/game.pkg", Origin::Absent, "/503 ", "proxy_origin_unreachable", 4,
       "failed: HTTP 503 Service Unavailable; 0 of 0 bytes on disk; not tried again"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    startAfresh();
    if (c.origin != Origin::Absent) {
      HttpTestServer& s = startServer();
      s.enqueue(c.origin == Origin::Serves ? Response::file(fixture("game.pkg"))
                                           : Response::file(fixture("game.pkg")).stallFirst());
    }
    useProxy(proxyAddress + ":" + c.port);
    ASSERT_TRUE(create({{"gamecab", url(c.path)}}));
    bool hungUp = false;
    const bool ended = pumpUntil(
        [&] {
          if (c.origin == Origin::HangsUp && !hungUp && server->stallCount() > 0) {
            server->stop();  // closes the connection before any answer
            hungUp = true;
          }
          return host.received("STATE_GAME_DOWNLOAD_FAILED");
        },
        kRetriedMs);
    ASSERT_TRUE(ended) << host.stateNames().size() << " reports";
    States expected(c.attempts, kDownloading);
    expected.push_back(kDownloadFailed);
    EXPECT_EQ(host.notifications(), expected);
    EXPECT_FALSE(fileExists(gameFolder() + "testgame.dll"));
    EXPECT_TRUE(logHas(" GET " + url(c.path) + " ")) << accessLog();
    EXPECT_NE(accessLog().find(c.squidAnswer), std::string::npos) << accessLog();
    if (c.origin == Origin::Serves) {
      EXPECT_EQ(server->requestCount(), 0u);
    }
    expectErrorShown(c.snapshot);
    EXPECT_NE(installLogText().find(c.line), std::string::npos) << installLogText();
  }
}

class Middlebox : public ThroughProxy {
 protected:
  Middlebox() : ThroughProxy("127.63", "FYREL_NET_MIDDLEBOX") {}
};

// Whatever the transport delivers, the signature decides: a package
// changed on the way, or a login page in its place, is refused and deleted
// and nothing of it is installed.
TEST_F(Middlebox, AlteredPackagesAreRefusedDeletedAndNothingIsExtracted) {
  static const struct {
    const char* what;
    const char* mode;  // tests/network/middlebox.py
    std::size_t originRequests;
  } cases[] = {
      {"one bit flipped in the body", "flip", 1},
      {"a captive portal's login page with status 200", "portal", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    startAfresh();
    startServer().enqueue(Response::file(fixture("game.pkg")));
    useProxy(proxyAddress);
    ASSERT_TRUE(create({{"gamecab", url(std::string("/") + c.mode + "/games/game.pkg")}}));
    ASSERT_TRUE(waitFor("STATE_CAB_VERIFICATION_FAILED"));
    EXPECT_EQ(host.notifications(), (States{kDownloading, kCheck, kVerificationFailed}));
    EXPECT_EQ(filesIn(gameFolder()), std::vector<std::string>{}) << "package deleted, nothing extracted";
    ASSERT_EQ(server->requestCount(), c.originRequests);
    if (c.originRequests > 0) {
      EXPECT_EQ(server->requests()[0].header("X-Fyrel-Middlebox"), c.mode);
    }
  }
}

TEST_F(Middlebox, UnchangedBytesInstallTheGame) {
  startServer().enqueue(Response::file(fixture("game.pkg")));
  useProxy(proxyAddress);
  ASSERT_TRUE(create({{"gamecab", url("/pass/games/game.pkg")}}));
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kCheck, kExtracting, kReady, kCreated, kStarted}));
  EXPECT_EQ(readFile(gameFolder() + "testgame.dll"), readFile(binDir() + "games\\ok\\testgame.dll"));
  ASSERT_EQ(server->requestCount(), 1u);
  EXPECT_EQ(server->requests()[0].target, "/games/game.pkg");
  EXPECT_EQ(server->requests()[0].header("X-Fyrel-Middlebox"), "pass");
}

}  // namespace
}  // namespace fyrel::test
