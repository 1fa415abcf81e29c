// Why an install failed, as a host team reads it: every cause ends in the
// same report and the same screen text as ever, and leaves a line naming
// it in the debug channel and in the account's install log.
#include <gtest/gtest.h>

#include <string>

#include "extension/loader_fixture.h"
#include "support/debug_channel.h"

namespace fyrel::test {
namespace {

class FailureCauses : public LoaderTest {
 protected:
  FailureCauses() : LoaderTest("127.57") {}
};

struct Cause {
  const char* what;
  // Serves the case (the server is fresh for each); null: no server at all.
  void (*serve)(HttpTestServer& server, const std::string& fixtureFolder);
  const char* gamecab;  // empty: the case's own server
  const char* report;   // the final state reported
  const char* line;     // a text only this cause's lines hold
};

TEST_F(FailureCauses, EveryCauseLeavesALineNamingItAndTheReportsStayAsTheyWere) {
  static const Cause causes[] = {
      {"not found", [](HttpTestServer& s, const std::string&) { s.enqueue(Response::status(404)); }, "",
       "STATE_GAME_DOWNLOAD_FAILED", "failed: HTTP 404 Not Found; 0 of 0 bytes on disk; not tried again"},
      {"server error, tried again and again",
       [](HttpTestServer& s, const std::string&) {
         for (int i = 0; i < 4; ++i) s.enqueue(Response::status(500).header("Retry-After", "0"));
       },
       "", "STATE_GAME_DOWNLOAD_FAILED", "attempt 4 of http://"},
      {"connection refused", nullptr, "", "STATE_GAME_DOWNLOAD_FAILED",
       "ERROR_WINHTTP_CANNOT_CONNECT (12029) before an answer came; 0 of 0 bytes on disk; not tried again"},
      {"no such server", nullptr, "http://no-such-host.invalid/games/game.pkg", "STATE_GAME_DOWNLOAD_FAILED",
       "ERROR_WINHTTP_NAME_NOT_RESOLVED (12007)"},
      {"redirected to nothing",
       [](HttpTestServer& s, const std::string&) {
         s.enqueue(Response::status(302).header("Location", "/mirror/game.pkg?sig=s3cret"));
         s.enqueue(Response::status(410));
       },
       "", "STATE_GAME_DOWNLOAD_FAILED", "HTTP 410 Status; redirected 302 -> http://"},
      {"bad signature",
       [](HttpTestServer& s, const std::string& fixtures) { s.enqueue(Response::file(fixtures + "badsig.pkg")); }, "",
       "STATE_CAB_VERIFICATION_FAILED", "the signature does not match the package and the built-in key"},
      {"no signature", [](HttpTestServer& s, const std::string&) { s.enqueue(Response::ok(std::string(5000, 'x'))); },
       "", "STATE_CAB_VERIFICATION_FAILED", "no signature trailer"},
  };
  for (const Cause& c : causes) {
    SCOPED_TRACE(c.what);
    removeTree(partnerFolder());
    ::DeleteFileA(installLogPath().c_str());
    host.clear();
    server.reset();
    if (c.serve != nullptr) c.serve(startServer(), fixtureDir() + "extension\\");
    DebugChannelCapture debug;
    const std::string gamecab = *c.gamecab != '\0' ? c.gamecab : url("/games/game.pkg");
    ASSERT_TRUE(create({{"gamecab", gamecab}}));
    ASSERT_TRUE(waitFor(c.report, 60000));
    destroy();

    const std::string log = installLogText();
    EXPECT_NE(log.find(c.line), std::string::npos) << log;
    EXPECT_NE(debug.text().find(c.line), std::string::npos) << debug.text();
    EXPECT_NE(log.find(std::string("install failed: ") + c.report), std::string::npos) << log;
    EXPECT_EQ(log.find("s3cret"), std::string::npos) << log;  // no query string
  }
}

TEST_F(FailureCauses, ABodyCutShortIsNamedAndTheNextAttemptGoesOn) {
  HttpTestServer& s = startServer();
  s.enqueue(Response::file(fixture("game.pkg")).closeAfter(1000));
  s.enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  const std::string size = std::to_string(readFile(fixture("game.pkg")).size());
  const std::string log = installLogText();
  EXPECT_NE(log.find("attempt 1 of " + url("/games/game.pkg") + ": failed: "), std::string::npos) << log;
  EXPECT_NE(log.find("1000 of " + size + " bytes on disk; going on in "), std::string::npos) << log;
  EXPECT_NE(log.find("attempt 2 of " + url("/games/game.pkg") + ": complete, " + size + " bytes"), std::string::npos)
      << log;
  EXPECT_EQ(log.find("install failed"), std::string::npos) << log;
}

TEST_F(FailureCauses, ALogThatCannotBeWrittenNeverChangesTheInstall) {
  // A folder where the log file belongs: no line can be written there.
  createFolderChain(installLogFolder());
  ASSERT_TRUE(::CreateDirectoryA(installLogPath().c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
  HttpTestServer& s = startServer();
  s.enqueue(Response::status(503));
  s.enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_EQ(host.notifications(),
            (States{kDownloading, kDownloading, kCheck, kExtracting, kReady, kCreated, kStarted}));
  destroy();
  EXPECT_TRUE(::RemoveDirectoryA(installLogPath().c_str()));
  // Never in the shared game folder either.
  EXPECT_EQ(entriesOf(gameFolder()).find(".log"), std::string::npos);
}

}  // namespace
}  // namespace fyrel::test
