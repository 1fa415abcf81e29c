// A game module for tests. One source, built into several DLLs by
// compile-time switches: TEST_GAME_NO_<EXPORT> leaves an entry point out,
// TEST_GAME_CREATE_NULL and TEST_GAME_START_FALSE make creation or start
// fail, TEST_GAME_CREATE_THROWS and TEST_GAME_MESSAGE_THROWS (on a key-down)
// let an exception out of an entry point, which no game may do. Every call is
// reported, with its arguments, to the recorder the test executable exports.
// Some messages and notifications make the game call back into the extension
// from inside the call, as games may.
#include <fyrel/game_module.h>
#include <fyrel/module_unload.h>
#include <process.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

Generic::GenericExtension* extension = nullptr;
[[maybe_unused]] HWND gameWindow = nullptr;
[[maybe_unused]] int instanceToken = 0;
[[maybe_unused]] constexpr UINT TEST_GAME_RELEASE_MESSAGE = WM_APP + 7;
// Set by TestGameSendOnRelease: the pair ReleaseFyrelGame sends up.
std::string releasePairFirst;
std::string releasePairSecond;

void record(const std::string& line) {
  using Recorder = void (*)(const char*);
  auto recorder = reinterpret_cast<Recorder>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA(nullptr), "fyrelTestRecordGameCall")));
  if (recorder != nullptr) recorder(line.c_str());
}

[[maybe_unused]] bool messageResult() {
  auto* result = reinterpret_cast<int*>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA(nullptr), "fyrelTestGameMessageResult")));
  return result == nullptr || *result != 0;
}

[[maybe_unused]] std::string currentFolder() {
  char buffer[MAX_PATH] = {};
  ::GetCurrentDirectoryA(MAX_PATH, buffer);
  return buffer;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // Loaded and unloaded once per life in the soak: nothing may stay behind.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) fyrel::releaseStaticCppRuntime();
  return TRUE;
}

#ifndef TEST_GAME_NO_CREATE
FYREL_GAME_EXPORT void* __cdecl CreateFyrelGame(Generic::GenericExtension* ext, HWND window, const std::string* folder,
                                                int width, int height) {
  extension = ext;
  gameWindow = window;
  char line[512];
  std::snprintf(line, sizeof line, "Create ext=%p window=%p folder=%s size=%dx%d cwd=%s", static_cast<void*>(ext),
                static_cast<void*>(window), folder->c_str(), width, height, currentFolder().c_str());
  record(line);
#ifdef TEST_GAME_CREATE_THROWS
  throw std::runtime_error("game CreateFyrelGame failed");
#endif
#ifdef TEST_GAME_CREATE_NULL
  return nullptr;
#else
  return &instanceToken;
#endif
}
#endif

#ifndef TEST_GAME_NO_START
FYREL_GAME_EXPORT bool __cdecl StartFyrelGame() {
  record("Start");
#ifdef TEST_GAME_START_FALSE
  return false;
#else
  return true;
#endif
}
#endif

#ifndef TEST_GAME_NO_MESSAGE
FYREL_GAME_EXPORT bool __cdecl ProcessFyrelMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  // Timer and paint messages arrive all the time; only the rest is logged.
  if (msg != WM_TIMER && msg != WM_PAINT) {
    char line[128];
    std::snprintf(line, sizeof line, "Message %u %llu %lld", msg, static_cast<unsigned long long>(wParam),
                  static_cast<long long>(lParam));
    record(line);
  }
#ifdef TEST_GAME_MESSAGE_THROWS
  if (msg == WM_KEYDOWN) throw std::runtime_error("game ProcessFyrelMsg failed");
#endif
  if (msg == WM_PAINT) ::ValidateRect(gameWindow, nullptr);
  // A game that ends itself from inside its own message handler.
  if (msg == TEST_GAME_RELEASE_MESSAGE && extension != nullptr) {
    extension->ReleaseGame();
    record("Message returns");
  }
  *result = 0;
  return messageResult();
}
#endif

#ifndef TEST_GAME_NO_NOTIFICATION
FYREL_GAME_EXPORT void __cdecl ReceiveFyrelNotification(const std::string& name, const std::string& value) {
  record("Notification " + name + "=" + value);
  if (extension == nullptr) return;
  // "echo": answers at once with a pair for the host; "release": the game
  // ends itself from inside the notification.
  if (name == "echo") extension->NotifyHost("echoed", value.c_str());
  if (name == "release") {
    extension->ReleaseGame();
    record("Notification returns");
  }
}
#endif

#ifndef TEST_GAME_NO_RELEASE
FYREL_GAME_EXPORT void __cdecl ReleaseFyrelGame() {
  record("Release");
  if (extension != nullptr && !releasePairFirst.empty())
    extension->NotifyHost(releasePairFirst.c_str(), releasePairSecond.c_str());
  extension = nullptr;
}
#endif

// Test hooks: calls back into the extension the way a game would.
FYREL_GAME_EXPORT void __cdecl TestGameNotifyHost(const char* first, const char* second) {
  if (extension != nullptr) extension->NotifyHost(first, second);
}

// Offers pairs from several threads of the game's own at once.
FYREL_GAME_EXPORT void __cdecl TestGameNotifyFromThreads(int threadCount, int pairsEach) {
  std::vector<std::thread> threads;
  for (int t = 0; t < threadCount; ++t) {
    threads.emplace_back([t, pairsEach] {
      for (int i = 0; i < pairsEach; ++i) {
        if (extension != nullptr)
          extension->NotifyHost(("thread" + std::to_string(t)).c_str(), std::to_string(i).c_str());
      }
    });
  }
  for (auto& thread : threads) thread.join();
}

// A final pair, such as a score, that ReleaseFyrelGame sends up.
FYREL_GAME_EXPORT void __cdecl TestGameSendOnRelease(const char* first, const char* second) {
  releasePairFirst = first;
  releasePairSecond = second;
}

// A thread the game starts and never stops, as a game that forgets one in
// ReleaseFyrelGame does: it runs this module's code for the life of the
// process, and dies the moment the module is unloaded.
DWORD WINAPI runForever(void*) {
  for (;;) ::Sleep(5);
}
FYREL_GAME_EXPORT void __cdecl TestGameLeaveThreadRunning() {
  HANDLE thread = ::CreateThread(nullptr, 0, &runForever, nullptr, 0, nullptr);
  if (thread != nullptr) ::CloseHandle(thread);
}
// The same through the C runtime, as most games start their threads: such a
// thread starts inside the runtime's DLL, not this module.
unsigned __stdcall runForeverFromRuntime(void*) {
  for (;;) ::Sleep(5);
}
FYREL_GAME_EXPORT void __cdecl TestGameLeaveRuntimeThreadRunning() {
  HANDLE thread = reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &runForeverFromRuntime, nullptr, 0, nullptr));
  if (thread != nullptr) ::CloseHandle(thread);
}
FYREL_GAME_EXPORT void __cdecl TestGameLeaveStdThreadRunning() {
  std::thread([] {
    for (;;) ::Sleep(5);
  }).detach();
}

FYREL_GAME_EXPORT int __cdecl TestGameGetHostValue(const char* name, char* buffer, int size) {
  if (extension == nullptr) return -1;
  std::string value;
  int length = extension->GetHostValue(name, value);
  std::snprintf(buffer, static_cast<std::size_t>(size), "%s", value.c_str());
  return length;
}
