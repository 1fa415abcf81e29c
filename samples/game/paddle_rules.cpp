#include "paddle_rules.h"

#include <algorithm>
#include <cmath>

namespace paddle {
namespace {

// Moving in small slices keeps a fast ball (or a late timer after the
// window was dragged) from jumping through the paddle in one step.
constexpr int kSliceMs = 4;

float clampPaddle(const Court& court, float x) {
  return std::clamp(x, kPaddleWidth / 2, static_cast<float>(court.width) - kPaddleWidth / 2);
}

void moveSlice(Game& game, float ms) {
  const Court& c = game.court;
  const float previousY = game.ballY;
  game.ballX += game.ballVX * ms;
  game.ballY += game.ballVY * ms;

  // Walls: reflect the position too, so the ball never rests inside a wall.
  if (game.ballX < kBallRadius) {
    game.ballX = 2 * kBallRadius - game.ballX;
    game.ballVX = std::fabs(game.ballVX);
  } else if (game.ballX > c.width - kBallRadius) {
    game.ballX = 2 * (c.width - kBallRadius) - game.ballX;
    game.ballVX = -std::fabs(game.ballVX);
  }
  if (game.ballY < kBallRadius) {
    game.ballY = 2 * kBallRadius - game.ballY;
    game.ballVY = std::fabs(game.ballVY);
  }

  if (game.autopilot) game.paddleX = clampPaddle(c, game.ballX);

  // The paddle counts only when the ball comes down onto its top edge.
  const float top = paddleTop(c);
  const bool crossedTop = game.ballVY > 0 && previousY + kBallRadius <= top && game.ballY + kBallRadius >= top;
  const float offset = game.ballX - game.paddleX;  // where on the paddle it lands
  if (crossedTop && std::fabs(offset) <= kPaddleWidth / 2 + kBallRadius) {
    game.ballY = top - kBallRadius;
    // Faster after every hit; the edges of the paddle send it off at a
    // steeper angle, which is what the player steers with.
    const float speed = std::min(kMaxSpeed, std::hypot(game.ballVX, game.ballVY) * 1.05f);
    const float angle = std::clamp(offset / (kPaddleWidth / 2), -1.0f, 1.0f);  // up to 1 radian from vertical
    game.ballVX = speed * std::sin(angle);
    game.ballVY = -speed * std::cos(angle);
    ++game.score;
    game.best = std::max(game.best, game.score);
    return;
  }
  if (game.ballY - kBallRadius > c.height) {  // missed
    game.score = 0;
    serve(game);
  }
}

}  // namespace

float paddleTop(const Court& court) { return static_cast<float>(court.height) - kPaddleGap; }

Game newGame(Court court) {
  Game game;
  game.court = court;
  game.paddleX = static_cast<float>(court.width) / 2;
  serve(game);
  return game;
}

void serve(Game& game) {
  game.ballX = static_cast<float>(game.court.width) / 3;
  game.ballY = static_cast<float>(game.court.height) / 4;
  game.ballVX = kServeSpeed * 0.6f;
  game.ballVY = kServeSpeed * 0.8f;
}

void step(Game& game, int elapsedMs) {
  if (game.paused) return;
  // A window that stalled (dragged, or the machine busy) should not replay
  // seconds of play in one frame.
  constexpr int kMaxStepMs = 250;
  for (int left = std::min(elapsedMs, kMaxStepMs); left > 0; left -= kSliceMs)
    moveSlice(game, static_cast<float>(std::min(left, kSliceMs)));
}

void movePaddleTo(Game& game, float x) {
  game.autopilot = false;
  game.paddleX = clampPaddle(game.court, x);
}

}  // namespace paddle
