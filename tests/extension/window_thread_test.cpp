// The host's window thread through a whole first start of a package large
// enough that reading it takes a while: the check reads it on another
// thread, the host's reports keep their order, and the window thread's
// longest answer to a watchdog is printed (a figure, not a pass mark: the
// benchmarks measure it on a native build).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

#include "extension/loader_fixture.h"
#include "support/answer_watch.h"
#include "support/import_patch.h"

namespace fyrel::test {
namespace {

// Threads that hashed the package and checked its signature, seen through
// the DLL's own imports (the calls themselves go to the real CryptoAPI).
std::atomic<DWORD> gHashThread{0};
std::atomic<DWORD> gVerifyThread{0};
std::atomic<int> gHashCalls{0};

// Only the package's check (MD5) counts: the game DLL is hashed (SHA-256)
// on the window thread as it is loaded, as the loading of a game is.
BOOL WINAPI recordedHashData(HCRYPTHASH hash, const BYTE* data, DWORD length, DWORD flags) {
  ALG_ID algorithm = 0;
  DWORD size = sizeof algorithm;
  if (::CryptGetHashParam(hash, HP_ALGID, reinterpret_cast<BYTE*>(&algorithm), &size, 0) && algorithm == CALG_MD5) {
    gHashThread.store(::GetCurrentThreadId());
    ++gHashCalls;
  }
  return ::CryptHashData(hash, data, length, flags);
}

BOOL WINAPI recordedVerifySignature(HCRYPTHASH hash, const BYTE* signature, DWORD length, HCRYPTKEY key,
                                    LPCSTR description, DWORD flags) {
  gVerifyThread.store(::GetCurrentThreadId());
  return ::CryptVerifySignatureA(hash, signature, length, key, description, flags);
}

class WindowThread : public LoaderTest {
 protected:
  WindowThread() : LoaderTest("127.51") {}
};

TEST_F(WindowThread, LargePackageIsCheckedOffTheWindowThreadAndReportsKeepTheirOrder) {
  gHashThread = 0;
  gVerifyThread = 0;
  gHashCalls = 0;
  ImportPatch hash(library.module(), "advapi32.dll", "CryptHashData", reinterpret_cast<void*>(&recordedHashData));
  ImportPatch verify(library.module(), "advapi32.dll", "CryptVerifySignatureA",
                     reinterpret_cast<void*>(&recordedVerifySignature));
  ASSERT_TRUE(hash.applied());
  ASSERT_TRUE(verify.applied());

  startServer().enqueue(Response::file(fixture("large.pkg")));
  AnswerWatch watch(window.hwnd());
  double checkStartMs = -1, extractingMs = -1;
  host.onNotify([&](const Pair& pair) {
    if (pair.second == "STATE_CHECKSIGNATURE") checkStartMs = watch.sinceStartMs();
    if (pair.second == "STATE_EXTRACTING") extractingMs = watch.sinceStartMs();
  });
  ASSERT_TRUE(create());
  ASSERT_TRUE(waitFor("STATE_GAME_STARTED", 300000));
  host.onNotify(nullptr);

  EXPECT_EQ(host.notifications(), (States{kDownloading, kCheck, kExtracting, kReady, kCreated, kStarted}));
  const DWORD windowThread = ::GetWindowThreadProcessId(window.hwnd(), nullptr);
  EXPECT_GT(gHashCalls.load(), 1);
  EXPECT_NE(gHashThread.load(), 0u);
  EXPECT_NE(gHashThread.load(), windowThread) << "the package was hashed on the window thread";
  EXPECT_NE(gVerifyThread.load(), 0u);
  EXPECT_NE(gVerifyThread.load(), windowThread) << "the signature was checked on the window thread";
  EXPECT_EQ(gHashThread.load(), gVerifyThread.load());
  std::printf("window thread: longest answer %.1f ms over the whole start, %.1f ms during the check (%.0f ms)\n",
              watch.longestAnswerMs(), watch.longestAnswerMs(checkStartMs, extractingMs), extractingMs - checkStartMs);
}

}  // namespace
}  // namespace fyrel::test
