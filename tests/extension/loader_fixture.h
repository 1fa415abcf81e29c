// The host side of the end-to-end tests: the real DLL loaded as a host
// loads it, a real window whose messages go through EXT_ProcessMsg, a
// recording host, and the in-process HTTP server.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/proc_address.h"
#include "storage/install_log.h"
#include "storage/player_folder.h"
#include "support/game_call_log.h"
#include "support/http_test_server.h"
#include "support/installed_by_this_account.h"
#include "support/test_host.h"
#include "support/test_paths.h"
#include "support/test_window.h"

namespace fyrel::test {

// The reports of the loader's road, as the host receives them.
using States = std::vector<Pair>;
inline const Pair kDownloading{"FE_STATE", "STATE_DOWNLOADING"};
inline const Pair kCheck{"FE_STATE", "STATE_CHECKSIGNATURE"};
inline const Pair kExtracting{"FE_STATE", "STATE_EXTRACTING"};
inline const Pair kReady{"FE_STATE", "STATE_GAME_READY"};
inline const Pair kCreated{"FE_STATE", "STATE_GAME_CREATE_SUCCEEDED"};
inline const Pair kStarted{"FE_STATE", "STATE_GAME_STARTED"};
inline const Pair kClosed{"FE_STATE", ""};
inline const Pair kDownloadFailed{"FE_ERROR", "STATE_GAME_DOWNLOAD_FAILED"};
inline const Pair kVerificationFailed{"FE_ERROR", "STATE_CAB_VERIFICATION_FAILED"};

class LoaderTest : public ::testing::Test {
 protected:
  // Each test case gets a loopback address and a game folder of its own,
  // derived from its name, so test processes may run side by side.
  // firstOctets: e.g. "127.50" for one test suite.
  explicit LoaderTest(const std::string& firstOctets) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = info != nullptr ? info->name() : "unnamed";
    unsigned hash = 2166136261u;
    for (char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    address_ = firstOctets + "." + std::to_string((hash >> 8) % 250 + 1) + "." + std::to_string(hash % 250 + 1);
    partner_ = "e2e_" + name;
  }

  void SetUp() override {
    ASSERT_NE(library.module(), nullptr) << "FyrelExtension.dll not found beside the test";
    clearGameCalls();
    setGameMessageResult(true);
    removeTree(partnerFolder());
  }
  void TearDown() override {
    destroy();
    server.reset();
    removeTree(partnerFolder());
  }

  std::string partnerFolder() const { return resolvePlayerFolder() + partner_ + "\\"; }
  std::string gameFolder() const { return partnerFolder() + "testgame\\"; }
  // The account's install log of this case's game, and what it holds.
  std::string installLogPath() const { return installLogFolder() + partner_ + "-testgame.log"; }
  std::string installLogText() const { return readFile(installLogPath()); }
  const std::string& address() const { return address_; }  // the case's loopback address
  std::string url(const std::string& path) const { return "http://" + address_ + path; }
  HttpTestServer& startServer() {
    server = std::make_unique<HttpTestServer>(address_);
    EXPECT_TRUE(server->listening()) << address_;
    return *server;
  }
  std::string fixture(const std::string& name) const { return fixtureDir() + "extension\\" + name; }

  // The usual parameters plus overrides.
  std::map<std::string, std::string> parameters(const std::map<std::string, std::string>& overrides = {}) const {
    std::map<std::string, std::string> params = {{"gamename", "testgame"},
                                                 {"partnername", partner_},
                                                 {"gamecab", url("/games/game.pkg")},
                                                 {"gamewidth", "320"},
                                                 {"gameheight", "200"}};
    for (const auto& [name, value] : overrides) params[name] = value;
    return params;
  }
  // Creates the extension with the usual parameters plus overrides.
  bool create(const std::map<std::string, std::string>& overrides = {}) {
    for (const auto& [name, value] : parameters(overrides)) host.set(name, value);
    extension = library.create(window.hwnd(), 0, library.module(), &host);
    if (extension != nullptr) window.attach(extension, library.processMsg);
    return extension != nullptr;
  }
  void destroy() {
    if (extension == nullptr) return;
    window.detach();
    library.destroy(extension);
    extension = nullptr;
  }
  bool waitFor(const std::string& stateName, unsigned timeoutMs = 20000) {
    return pumpUntil([&] { return host.received(stateName); }, timeoutMs);
  }
  // Calls one of the test game's own exports (the game must be loaded).
  template <typename Fn>
  Fn gameHook(const char* name) {
    HMODULE game = ::GetModuleHandleA((gameFolder() + "testgame.dll").c_str());
    return game ? procAddress<Fn>(game, name) : nullptr;
  }

  ExtensionLibrary library;
  TestWindow window;
  TestHost host;
  std::unique_ptr<HttpTestServer> server;
  Generic::GenericExtension* extension = nullptr;

 private:
  std::string address_;
  std::string partner_;
};

}  // namespace fyrel::test
