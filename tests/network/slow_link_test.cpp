// The loading screen on a slow link: a package of a few MB from the paced
// server that with_network_parts.sh starts (1 MB/s, first byte after
// 100 ms). The extension is the library's own code in this process, so the
// test can read the screen's caption beside the pixels it reads back.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "extension/game_loader_extension.h"
#include "network/network_parts.h"
#include "screen/progress_screen.h"
#include "screen/screen_rig.h"
#include "storage/player_folder.h"
#include "support/test_host.h"
#include "support/test_paths.h"
#include "support/test_window.h"

namespace fyrel::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kLime = 0xCCFF00;
constexpr int kCaptionTop = 340;  // 640 x 480 window, 235 x 100 logo

bool __cdecl processThroughExtension(Generic::GenericExtension* extension, UINT msg, WPARAM wParam, LPARAM lParam,
                                     LRESULT* result) {
  return extension->ProcessMsg(msg, wParam, lParam, result);
}

// " : 45%" -> 45; -1 for anything else.
int percentOf(const std::string& text) {
  int percent = -1;
  char end = 0;
  if (std::sscanf(text.c_str(), " : %d%c", &percent, &end) != 2 || end != '%') return -1;
  return percent;
}

// One look at the screen: the frame read back from the window between two
// readings of the screen's caption and percentage.
struct Look {
  double ms;
  std::string captionBefore, percentBefore;
  Frame frame;
  std::string captionAfter, percentAfter;
};

TEST(SlowLink, HalfWayThroughTheDownloadTheScreenShowsAboutHalf) {
  const std::string server = networkPart("FYREL_NET_PACED");
  ASSERT_FALSE(server.empty()) << "FYREL_NET_PACED is not set: run through tests/network/with_network_parts.sh"
                               << " (CTest does)";
  const std::string partner = "slowlink_e2e";
  removeTree(resolvePlayerFolder() + partner + "\\");

  TestWindow window(640, 480, "fyrel slow link test");
  TestHost host;
  for (const auto& [name, value] : std::vector<Pair>{{"gamename", "testgame"},
                                                     {"partnername", partner},
                                                     {"gamecab", "http://" + server + "/slow.pkg"},
                                                     {"gamewidth", "320"},
                                                     {"gameheight", "200"}}) {
    host.set(name, value);
  }
  const Clock::time_point start = Clock::now();
  const auto msSinceStart = [&] { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); };
  double downloadEndMs = -1;
  host.onNotify([&](const Pair& pair) {
    if (pair.second == "STATE_CHECKSIGNATURE") downloadEndMs = msSinceStart();
  });
  auto extension = std::make_unique<GameLoaderExtension>();
  extension->host = &host;
  ASSERT_TRUE(extension->Create(window.hwnd(), 0, ::GetModuleHandleA(nullptr)));
  window.attach(extension.get(), &processThroughExtension);
  ProgressScreen& screen = *extension->screen();

  // A look about every 100 ms until the download has ended.
  std::vector<Look> looks;
  double lastLookMs = -1000;
  const bool downloaded = pumpUntil(
      [&] {
        if (downloadEndMs >= 0 || host.received("STATE_GAME_DOWNLOAD_FAILED")) return true;
        const double now = msSinceStart();
        if (now - lastLookMs >= 100) {
          lastLookMs = now;
          Look look{now, screen.caption(), screen.percentText(), Frame::ofWindow(window.hwnd()), {}, {}};
          look.captionAfter = screen.caption();
          look.percentAfter = screen.percentText();
          looks.push_back(std::move(look));
        }
        return false;
      },
      120000);
  ASSERT_TRUE(downloaded);
  ASSERT_GE(downloadEndMs, 0) << "the download failed";
  ASSERT_TRUE(pumpUntil([&] { return host.received("STATE_GAME_READY"); }, 30000));
  window.detach();
  extension.reset();
  removeTree(resolvePlayerFolder() + partner + "\\");

  // The look nearest to half the download's time.
  const double halfMs = downloadEndMs / 2;
  const Look* half = nullptr;
  for (const Look& look : looks) {
    if (half == nullptr || std::abs(look.ms - halfMs) < std::abs(half->ms - halfMs)) half = &look;
  }
  ASSERT_NE(half, nullptr);
  half->frame.saveSnapshot("slow_link_half_way");
  std::printf("download %.0f ms; look at %.0f ms: \"%s%s\" (snapshots/screen/slow_link_half_way.png)\n", downloadEndMs,
              half->ms, half->captionBefore.c_str(), half->percentBefore.c_str());
  EXPECT_LT(std::abs(half->ms - halfMs), 400) << "no look near half way";
  for (const auto& [caption, percentText] :
       {std::pair{half->captionBefore, half->percentBefore}, std::pair{half->captionAfter, half->percentAfter}}) {
    EXPECT_EQ(caption, "Downloading");
    const int percent = percentOf(percentText);
    EXPECT_GE(percent, 30) << percentText;
    EXPECT_LE(percent, 70) << percentText;
  }
  // The caption line is drawn where the screen puts it.
  EXPECT_GT(half->frame.find(kLime, kCaptionTop, kCaptionTop + 19).count, 20);
}

}  // namespace
}  // namespace fyrel::test
