// What happens when a host or a game lets an exception out of a call across
// the interface, which neither may do (include/fyrel/extension_api.h): the
// process ends at once through std::terminate, on i686 (where no other module
// can catch it) and on x86_64 alike, and nothing of the loader carries on
// half-done. Each case runs in a child process of its own (a death test): the
// real DLL, a host that throws or a real game DLL that throws, and the child's
// exit code and error output are checked.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "support/test_host.h"
#include "support/test_paths.h"
#include "support/test_window.h"

namespace fyrel::test {
namespace {

// The test host, but one of its two operations throws for one name.
class ThrowingHost final : public ExtensionHost {
 public:
  void Notify(const char* first, const char* second) override {
    if (throwOnNotify == second) throw std::runtime_error("host Notify failed");
    values.Notify(first, second);
  }
  int GetValue(const char* name, std::string* value) override {
    if (throwOnValue == name) throw std::runtime_error("host GetValue failed");
    return values.GetValue(name, value);
  }

  TestHost values;
  std::string throwOnValue;   // GetValue throws when asked for this name
  std::string throwOnNotify;  // Notify throws when handed this state name
};

// One life in develop mode (no download), driven through the exports as a
// host drives them, with the test game variant `variant`. Returns only if
// nothing ended the process.
void liveWithGame(ThrowingHost& host, const std::string& variant) {
  const std::string folder = scratchDir("foreign_" + variant);
  ::CopyFileA((binDir() + "games\\" + variant + "\\testgame.dll").c_str(), (folder + "testgame.dll").c_str(), FALSE);
  host.values.set("gamename", "testgame");
  host.values.set("partnername", "acme");
  host.values.set("developdir", folder);
  host.values.set("gamewidth", "320");
  host.values.set("gameheight", "200");
  ExtensionLibrary library;
  TestWindow window;
  Generic::GenericExtension* extension = library.create(window.hwnd(), 0, library.module(), &host);
  if (extension == nullptr) return;
  window.attach(extension, library.processMsg);
  if (pumpUntil([&] { return host.values.received("STATE_GAME_STARTED"); }, 20000)) {
    ::SendMessageA(window.hwnd(), WM_KEYDOWN, 'A', 0);
    pumpFor(200);
  }
  window.detach();
  library.destroy(extension);
}

TEST(ForeignException, FromTheHostOrTheGameEndsTheProcessThroughTerminate) {
  static const struct {
    const char* where;
    const char* throwOnValue;
    const char* throwOnNotify;
    const char* gameVariant;
    const char* what;  // the exception's text, as the terminate handler prints it
  } cases[] = {
      {"host GetValue", "partnername", "", "ok", "host GetValue failed"},
      {"host Notify", "", "STATE_GAME_READY", "ok", "host Notify failed"},
      {"game CreateFyrelGame", "", "", "create_throws", "game CreateFyrelGame failed"},
      {"game ProcessFyrelMsg", "", "", "message_throws", "game ProcessFyrelMsg failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    // Both builds end in the C++ runtime's terminate handler, then in
    // msvcrt's abort (exit code 3). On i686 the thrower's own runtime
    // terminates and names the exception; on x86_64 the extension's noexcept
    // call terminates, in a runtime that did not throw it.
#if defined(__i386__)
    const std::string expectedOutput = std::string("what\\(\\):  ") + c.what;
#else
    const std::string expectedOutput = "terminate called without an active exception";
#endif
    EXPECT_EXIT(
        {
          ThrowingHost host;
          host.throwOnValue = c.throwOnValue;
          host.throwOnNotify = c.throwOnNotify;
          liveWithGame(host, c.gameVariant);
          std::fprintf(stderr, "the process went on after the exception\n");
          std::exit(0);
        },
        ::testing::ExitedWithCode(3), expectedOutput);
  }
}

}  // namespace
}  // namespace fyrel::test
