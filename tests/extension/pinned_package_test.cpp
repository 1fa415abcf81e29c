// A host that knows which package it means pins its SHA-256
// ("gamecabsha256"): only that package installs, even among packages the
// publisher signed, and an installed game recorded with another does not
// start.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "common/diagnostic_text.h"
#include "common/sha256.h"
#include "common/unique_handle.h"
#include "extension/loader_fixture.h"

namespace fyrel::test {
namespace {

// The digits the signing tool prints for a package.
std::string sha256Of(const std::string& path) {
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  Sha256Digest digest{};
  if (!file || !sha256OfFile(file.get(), digest)) return {};
  return hexText(digest.data(), digest.size());
}

class PinnedPackage : public LoaderTest {
 protected:
  PinnedPackage() : LoaderTest("127.58") {}
};

TEST_F(PinnedPackage, OnlyThePinnedPackageInstallsAndOnlyItsInstallStarts) {
  const std::string pinned = sha256Of(fixture("game.pkg"));
  const std::string other = sha256Of(fixture("game2.pkg"));  // signed by the same publisher
  ASSERT_EQ(pinned.size(), 64u);
  std::string upper = pinned;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

  // The pinned package, its digits in either case.
  startServer().enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create({{"gamecabsha256", upper}}));
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  destroy();
  host.clear();
  ASSERT_TRUE(create({{"gamecabsha256", pinned}}));
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
  EXPECT_EQ(host.notifications().front(), kReady);  // installed, and that install was the pinned one
  destroy();

  // The same marker, but the host now means another package: the install
  // is not trusted, and the package served at the address (an older one,
  // signed all the same: a rollback) installs nothing.
  host.clear();
  server->enqueue(Response::file(fixture("game.pkg")));
  ASSERT_TRUE(create({{"gamecabsha256", other}}));
  ASSERT_TRUE(waitFor("STATE_CAB_VERIFICATION_FAILED"));
  EXPECT_EQ(host.notifications(), (States{kDownloading, kCheck, kVerificationFailed}));
  EXPECT_FALSE(fileExists(gameFolder() + "_version.bin"));
  EXPECT_FALSE(fileExists(gameFolder() + "game.pkg"));
  EXPECT_EQ(server->requestCount(), 2u);
  destroy();
  const std::string log = installLogText();
  EXPECT_NE(log.find("installed package game.pkg is not the pinned one: installing afresh"), std::string::npos) << log;
  EXPECT_NE(log.find("failed: package SHA-256 " + pinned + " is not the pinned " + other), std::string::npos) << log;

  // The pinned one served: it installs.
  host.clear();
  server->enqueue(Response::file(fixture("game2.pkg")));
  ASSERT_TRUE(create({{"gamecabsha256", other}}));
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED"));
}

TEST_F(PinnedPackage, AHashThatIsNotSixtyFourHexDigitsIsRefusedAtCreation) {
  const std::string digits(64, 'a');
  for (const std::string& value : {digits.substr(1), digits + "0", "sha256:" + digits.substr(7),
                                   digits.substr(0, 63) + "g", " " + digits.substr(1)}) {
    SCOPED_TRACE(value);
    host.clear();
    EXPECT_FALSE(create({{"gamecabsha256", value}}));
    ASSERT_FALSE(host.stateNames().empty());
    EXPECT_EQ(host.stateNames().front(), "STATE_INVALID_PARAMS");
  }
}

}  // namespace
}  // namespace fyrel::test
