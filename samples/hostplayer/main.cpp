// hostplayer: the reference host. It does what every host of
// FyrelExtension.dll must do: a window whose procedure hands every message
// to EXT_ProcessMsg, an ExtensionHost that answers GetValue and takes
// Notify, and EXT_DeleteExtension before the window goes away.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "command_line.h"
#include "extension_library.h"
#include "host_window.h"
#include "player_host.h"
#include "window_snapshot.h"

namespace fyrel::hostplayer {
namespace {

enum ExitCode { kArrived = 0, kFailed = 1, kTimedOut = 2, kBadUsage = 3 };

class PlayerRun {
 public:
  PlayerRun(const HostOptions& options, ExtensionLibrary& library, HostWindow& window, PlayerHost& host)
      : options_(options), library_(library), window_(window), host_(host) {}

  int run(std::uint64_t startTick) {
    extension_ = library_.create(window_.hwnd(), 0, library_.module(), &host_);
    const bool created = extension_ != nullptr;
    if (created) window_.attach(extension_, library_.processMsg);

    const std::uint64_t deadline = startTick + static_cast<std::uint64_t>(options_.timeoutSeconds) * 1000;
    if (created) pump([&] { return host_.ending() != Ending::None || window_.closeRequested(); }, deadline);
    if (host_.ending() != Ending::None)
      pump([&] { return window_.closeRequested(); }, ::GetTickCount64() + static_cast<unsigned>(options_.lingerMs));

    if (created) {
      saveSnapshot("before-delete");
      window_.detach();
      library_.destroy(extension_);
      extension_ = nullptr;
    }
    afterMessage();  // the closing report

    switch (host_.ending()) {
      case Ending::UntilArrived:
        return kArrived;
      case Ending::Failed:
        return kFailed;
      case Ending::None:
        break;
    }
    if (!created) {
      std::fprintf(stderr, "hostplayer: EXT_CreateExtension returned null without an error report\n");
      return kFailed;
    }
    std::fprintf(stderr, "hostplayer: %s before %s arrived\n", window_.closeRequested() ? "window closed" : "timed out",
                 options_.until.c_str());
    return kTimedOut;
  }

 private:
  // Runs the message loop until done() or the deadline; true when done().
  // Waits in MsgWaitForMultipleObjectsEx, so an idle host costs nothing.
  bool pump(const std::function<bool()>& done, std::uint64_t deadline) {
    for (;;) {
      afterMessage();
      if (done()) return true;
      const std::uint64_t now = ::GetTickCount64();
      if (now >= deadline) return false;
      MSG msg;
      if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
        continue;
      }
      const std::uint64_t wait = deadline - now;
      ::MsgWaitForMultipleObjectsEx(0, nullptr, wait < INFINITE ? static_cast<DWORD>(wait) : INFINITE - 1, QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
  }

  // Work that must not run inside the extension's own call chain: snapshots
  // (which repaint first) and the host's notifications to the game.
  void afterMessage() {
    const std::vector<std::string> labels = host_.takeSnapshotLabels();
    for (const std::string& label : labels) saveSnapshot(label);
    if (!sent_ && extension_ != nullptr && host_.gameStarted()) {
      sent_ = true;
      for (const auto& [name, value] : options_.sends) library_.sendUp(extension_, name.c_str(), value.c_str());
    }
  }

  void saveSnapshot(const std::string& label) {
    if (options_.snapshotDir.empty()) return;
    // Let the window catch up with the state just reported before reading it.
    ::UpdateWindow(window_.hwnd());
    std::string folder = options_.snapshotDir;
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    const std::string path = folder + snapshotFileName(++snapshotCount_, label);
    if (!saveClientArea(window_.hwnd(), path)) std::fprintf(stderr, "hostplayer: cannot write %s\n", path.c_str());
  }

  const HostOptions& options_;
  ExtensionLibrary& library_;
  HostWindow& window_;
  PlayerHost& host_;
  Generic::GenericExtension* extension_ = nullptr;
  bool sent_ = false;
  int snapshotCount_ = 0;
};

int hostMain(int argc, char** argv) {
  const ParsedCommandLine parsed = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.kind == ParsedCommandLine::Kind::Help) {
    std::fputs(usageText(), stdout);
    return kArrived;
  }
  if (parsed.kind == ParsedCommandLine::Kind::Error) {
    std::fprintf(stderr, "hostplayer: %s\n%s", parsed.error.c_str(), usageText());
    return kBadUsage;
  }
  const HostOptions& options = parsed.options;
  const std::uint64_t startTick = ::GetTickCount64();

  if (!options.snapshotDir.empty() && !makeFolders(options.snapshotDir)) {
    std::fprintf(stderr, "hostplayer: cannot create %s\n", options.snapshotDir.c_str());
    return kBadUsage;
  }
  ExtensionLibrary library(options.extensionPath.empty() ? extensionBesideProgram() : options.extensionPath);
  if (!library.loaded()) {
    std::fprintf(stderr, "hostplayer: %s\n", library.error().c_str());
    return kBadUsage;
  }

  NamedValues values;
  for (const auto& [name, value] : options.values) values.set(name, value);
  PlayerHost host(std::move(values), options.until, options.times, startTick);
  HostWindow window(options.width, options.height, "Fyrel host player");
  if (window.hwnd() == nullptr) {
    std::fprintf(stderr, "hostplayer: cannot create the window (error %lu)\n", ::GetLastError());
    return kBadUsage;
  }
  const int code = PlayerRun(options, library, window, host).run(startTick);
  window.leaveToProcessExitUnderWine();
  return code;
}

}  // namespace
}  // namespace fyrel::hostplayer

int main(int argc, char** argv) { return fyrel::hostplayer::hostMain(argc, argv); }
