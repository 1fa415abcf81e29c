// A host that deletes the extension during a download and frees the DLL at
// once, again and again: the download worker, which keeps the module loaded
// until it ends, then holds the last reference, and the module's unload runs
// on that worker instead of the host's thread. Whatever ran the last unload,
// the host's thread must not be left with what the module's runtime kept
// for it (a thread handle, an event, a TLS slot per load: the process would
// run out of TLS slots after about a thousand loads and abort).
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/proc_address.h"
#include "storage/player_folder.h"
#include "support/http_test_server.h"
#include "support/process_stats.h"
#include "support/test_host.h"
#include "support/test_paths.h"
#include "support/test_window.h"

namespace fyrel::test {
namespace {

constexpr char kAddress[] = "127.71.9.17";
constexpr char kPartner[] = "worker_unload";

DWORD nextFreeTlsSlot() {
  const DWORD slot = ::TlsAlloc();
  ::TlsFree(slot);
  return slot;
}

class WorkerUnload : public ::testing::Test {
 protected:
  void SetUp() override { removeTree(partnerFolder()); }
  void TearDown() override { removeTree(partnerFolder()); }
  static std::string partnerFolder() { return resolvePlayerFolder() + kPartner + "\\"; }
  static std::string modulePath() { return binDir() + "FyrelExtension.dll"; }

  // One life: load, create, delete and free once the body flows. True when
  // the worker, not this thread, ran the module's last unload.
  bool oneLife(HttpTestServer& server, bool& ok) {
    ok = false;
    HMODULE module = ::LoadLibraryA(modulePath().c_str());
    if (module == nullptr) return false;
    auto create = procAddress<EXT_CreateExtensionFn>(module, "EXT_CreateExtension");
    auto destroy = procAddress<EXT_DeleteExtensionFn>(module, "EXT_DeleteExtension");
    auto processMsg = procAddress<EXT_ProcessMsgFn>(module, "EXT_ProcessMsg");
    const std::size_t stallsBefore = server.stallCount();
    Generic::GenericExtension* extension = create ? create(window.hwnd(), 0, module, &host) : nullptr;
    if (extension == nullptr || destroy == nullptr) {
      ::FreeLibrary(module);
      return false;
    }
    window.attach(extension, processMsg);
    // The worker now waits inside the body, which the server holds back.
    const bool flowing = pumpUntil([&] { return server.stallCount() > stallsBefore; }, 20000);
    window.detach();
    destroy(extension);
    ::FreeLibrary(module);
    // Still loaded: the worker's reference is the last, and the worker
    // leaves when the server lets the connection go.
    const bool workerLast = ::GetModuleHandleA(modulePath().c_str()) != nullptr;
    server.dropStalled();
    ok = flowing && pumpUntil([&] { return ::GetModuleHandleA(modulePath().c_str()) == nullptr; }, 20000);
    return workerLast;
  }

  TestWindow window;
  TestHost host;
};

TEST_F(WorkerUnload, AHostThatFreesTheDllRightAfterADeleteDuringADownloadLivesOnWithFlatHandles) {
  HttpTestServer server(kAddress);
  ASSERT_TRUE(server.listening());
  server.enqueue(Response::ok(std::string(64 * 1024, 'x')).stallAfter(1024));
  host.set("gamename", "testgame");
  host.set("partnername", kPartner);
  host.set("gamecab", std::string("http://") + kAddress + "/games/game.pkg");
  host.set("gamewidth", "320");
  host.set("gameheight", "200");

  bool ok = false;
  oneLife(server, ok);  // what stays loaded once used is not the module's
  ASSERT_TRUE(ok) << describeThreads();
  const auto handlesBefore = describeHandles();
  const int handleCountBefore = handleCount();
  const DWORD slotBefore = nextFreeTlsSlot();

  constexpr int kLives = 1000;
  int workerLast = 0;
  for (int i = 0; i < kLives; ++i) {
    workerLast += oneLife(server, ok);
    ASSERT_TRUE(ok) << "life " << i << "\n" << describeThreads();
  }
  const int gained = handleCount() - handleCountBefore;
  const long slotsGained = static_cast<long>(nextFreeTlsSlot()) - static_cast<long>(slotBefore);
  std::printf("worker unload: %d lives, the worker unloaded the module in %d; %+d handles, %+ld TLS slots\n", kLives,
              workerLast, gained, slotsGained);
  // The case under test must be the common one, not a rare race.
  EXPECT_GT(workerLast, kLives / 2);
  // A leak per life would be a thousand or more; Wine keeps a few events
  // of its own now and then.
  EXPECT_LE(gained, 10) << handlesGained(handlesBefore, describeHandles());
  EXPECT_LE(slotsGained, 0);
}

}  // namespace
}  // namespace fyrel::test
