// paddle.dll: the sample game module. The extension loads it from the game
// folder once the package is installed, and calls its five entry points on
// the host's window thread:
//   CreateFyrelGame          set up in the host window (nothing moves yet)
//   StartFyrelGame           the loading screen is gone: start playing
//   ProcessFyrelMsg          every window message from then on
//   ReceiveFyrelNotification a pair the host sent down (EXT_SendUp)
//   ReleaseFyrelGame         stop every thread, free everything
// The game draws with GDI into the host's window; it talks to the host only
// through the GenericExtension it was given.
#include <fyrel/game_module.h>
#include <fyrel/module_unload.h>
#include <windowsx.h>

#include <memory>
#include <string>

#include "common/unique_handle.h"
#include "paddle_rules.h"
#include "score_reporter.h"

namespace paddle {
namespace {

using fyrel::PaintScope;
using fyrel::SelectGuard;
using fyrel::UniqueBitmap;
using fyrel::UniqueBrush;
using fyrel::UniqueFont;
using fyrel::UniqueMemoryDC;
using fyrel::WindowDC;

// The loader's own timer has id 0 and keeps arriving; ours must differ.
constexpr UINT_PTR kFrameTimer = 0x7061;
constexpr UINT kFrameMs = 15;
constexpr int kNudge = 40;  // pixels per arrow key press

class PaddleGame {
 public:
  PaddleGame(Generic::GenericExtension* extension, HWND window, int width, int height)
      : extension_(extension), window_(window) {
    RECT client = {};
    ::GetClientRect(window, &client);
    // The host's own size wins; the start-up parameters may leave it out.
    game_ = newGame({width > 0 ? width : client.right, height > 0 ? height : client.bottom});

    // Any value the host knows can be read by name; hosts answer with an
    // empty value when they have none.
    std::string name;
    extension_->GetHostValue("playername", name);
    playerName_ = name.c_str();  // stop at a NUL the host may have counted
    if (playerName_.empty()) playerName_ = "Player";

    WindowDC windowDc(window);
    backBuffer_.reset(::CreateCompatibleDC(windowDc.get()));
    backBitmap_.reset(::CreateCompatibleBitmap(windowDc.get(), game_.court.width, game_.court.height));
    font_.reset(::CreateFontA(18, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial"));
  }

  bool ready() const { return backBuffer_ && backBitmap_; }

  void start() {
    lastTick_ = ::GetTickCount64();
    reporter_.start(extension_);
    ::SetTimer(window_, kFrameTimer, kFrameMs, nullptr);
    ::InvalidateRect(window_, nullptr, FALSE);  // replace the loading screen's last frame at once
  }

  void stop() {
    ::KillTimer(window_, kFrameTimer);
    reporter_.stop();
  }

  // True when the message was handled (the caller turns it around).
  bool handle(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (msg) {
      case WM_TIMER:
        if (wParam != kFrameTimer) return false;
        advance();
        break;
      case WM_PAINT: {
        PaintScope paint(window_);
        draw(paint.dc());
        break;
      }
      case WM_ERASEBKGND:
        *result = 1;  // every frame covers the whole court; erasing would only flicker
        return true;
      case WM_MOUSEMOVE:
        movePaddleTo(game_, static_cast<float>(GET_X_LPARAM(lParam)));
        break;
      case WM_LBUTTONDOWN:
        setPaused(!game_.paused);
        break;
      case WM_KEYDOWN:
        if (wParam == VK_LEFT || wParam == VK_RIGHT)
          movePaddleTo(game_, game_.paddleX + (wParam == VK_LEFT ? -kNudge : kNudge));
        else if (wParam == VK_SPACE || wParam == 'P')
          setPaused(!game_.paused);
        else
          return false;
        break;
      default:
        return false;
    }
    *result = 0;
    return true;
  }

  void receive(const std::string& name, const std::string& value) {
    // The host pauses the game when, say, its window loses the player's
    // attention; the answer goes back up through the reporter.
    if (name == "pause") setPaused(value == "1");
  }

 private:
  void advance() {
    const std::uint64_t now = ::GetTickCount64();
    step(game_, static_cast<int>(now - lastTick_));
    lastTick_ = now;
    reporter_.setScore(game_.score);
    ::InvalidateRect(window_, nullptr, FALSE);
  }

  void setPaused(bool paused) {
    game_.paused = paused;
    lastTick_ = ::GetTickCount64();  // the pause itself is no playing time
    reporter_.setPaused(paused);
    ::InvalidateRect(window_, nullptr, FALSE);
  }

  // One frame into the back buffer, then one copy to the window.
  void draw(HDC target) {
    const Court& c = game_.court;
    SelectGuard bitmap(backBuffer_.get(), backBitmap_.get());
    const HDC dc = backBuffer_.get();

    fill(dc, {0, 0, c.width, c.height}, RGB(16, 24, 48));
    const int top = static_cast<int>(paddleTop(c));
    const int paddleLeft = static_cast<int>(game_.paddleX - kPaddleWidth / 2);
    fill(dc, {paddleLeft, top, paddleLeft + static_cast<int>(kPaddleWidth), top + static_cast<int>(kPaddleHeight)},
         RGB(235, 235, 235));
    {
      UniqueBrush ballBrush(::CreateSolidBrush(RGB(255, 200, 40)));
      SelectGuard brush(dc, ballBrush.get());
      SelectGuard pen(dc, ::GetStockObject(NULL_PEN));
      const int r = static_cast<int>(kBallRadius);
      const int x = static_cast<int>(game_.ballX), y = static_cast<int>(game_.ballY);
      ::Ellipse(dc, x - r, y - r, x + r + 1, y + r + 1);
    }

    SelectGuard font(dc, font_.get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(200, 220, 255));
    const std::string line =
        playerName_ + "    score " + std::to_string(game_.score) + "    best " + std::to_string(game_.best);
    ::TextOutA(dc, 12, 10, line.c_str(), static_cast<int>(line.size()));
    const char* hint = game_.paused      ? "PAUSED - click or press space to go on"
                       : game_.autopilot ? "move the mouse or press left/right to play"
                                         : nullptr;
    if (hint != nullptr) {
      SIZE size = {};
      ::GetTextExtentPoint32A(dc, hint, lstrlenA(hint), &size);
      ::TextOutA(dc, (c.width - size.cx) / 2, c.height / 2, hint, lstrlenA(hint));
    }
    ::BitBlt(target, 0, 0, c.width, c.height, dc, 0, 0, SRCCOPY);
  }

  static void fill(HDC dc, RECT rect, COLORREF colour) {
    UniqueBrush brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &rect, brush.get());
  }

  Generic::GenericExtension* extension_;
  HWND window_;
  Game game_;
  std::string playerName_;
  std::uint64_t lastTick_ = 0;
  UniqueMemoryDC backBuffer_;
  UniqueBitmap backBitmap_;
  UniqueFont font_;
  ScoreReporter reporter_;  // last: its thread stops before the rest goes
};

// The extension runs one game per loaded module.
std::unique_ptr<PaddleGame> theGame;

}  // namespace
}  // namespace paddle

// The host unloads the game after every session: the statically linked C++
// runtime's own pool must go back with it.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) fyrel::releaseStaticCppRuntime();
  return TRUE;
}

FYREL_GAME_EXPORT void* __cdecl CreateFyrelGame(Generic::GenericExtension* extension, HWND window,
                                                const std::string* /*folder*/, int width, int height) {
  // The folder holds whatever else the package brought (none here); it is
  // also the current folder during this call.
  auto game = std::make_unique<paddle::PaddleGame>(extension, window, width, height);
  if (!game->ready()) return nullptr;
  paddle::theGame = std::move(game);
  return paddle::theGame.get();
}

FYREL_GAME_EXPORT bool __cdecl StartFyrelGame() {
  if (!paddle::theGame) return false;
  paddle::theGame->start();
  return true;
}

// Note the inverted answer: false means "handled".
FYREL_GAME_EXPORT bool __cdecl ProcessFyrelMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  return !(paddle::theGame && paddle::theGame->handle(msg, wParam, lParam, result));
}

FYREL_GAME_EXPORT void __cdecl ReceiveFyrelNotification(const std::string& name, const std::string& value) {
  if (paddle::theGame) paddle::theGame->receive(name, value);
}

FYREL_GAME_EXPORT void __cdecl ReleaseFyrelGame() {
  if (!paddle::theGame) return;
  paddle::theGame->stop();
  paddle::theGame.reset();
}
