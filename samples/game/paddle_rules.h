// The rules of the paddle game: a ball bouncing in a court, a paddle along
// the bottom that sends it back. Plain C++ (no Windows header), so the
// rules can be tested on their own and the window code only draws them.
#pragma once

namespace paddle {

struct Court {
  int width = 640;
  int height = 480;
};

struct Game {
  Court court;
  float ballX = 0, ballY = 0;    // centre
  float ballVX = 0, ballVY = 0;  // pixels per millisecond
  float paddleX = 0;             // centre
  int score = 0;                 // paddle hits since the last miss
  int best = 0;
  bool paused = false;
  // The paddle follows the ball by itself until the player takes over,
  // so a game nobody plays still shows what it is about.
  bool autopilot = true;
};

constexpr float kBallRadius = 6;
constexpr float kPaddleWidth = 90;
constexpr float kPaddleHeight = 10;
constexpr float kPaddleGap = 30;  // from the paddle's top edge to the court's bottom
constexpr float kServeSpeed = 0.30f;
constexpr float kMaxSpeed = 0.90f;

float paddleTop(const Court& court);

// A new game in the given court, ball served.
Game newGame(Court court);
// Puts the ball back at the top, heading down towards the paddle.
void serve(Game& game);
// Advances the game by elapsed milliseconds; nothing moves while paused.
void step(Game& game, int elapsedMs);
// The player moves the paddle (and so takes over from the autopilot).
void movePaddleTo(Game& game, float x);

}  // namespace paddle
