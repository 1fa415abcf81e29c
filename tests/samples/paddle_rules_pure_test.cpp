// The sample game's rules: walls, paddle, misses, pause.
#include <gtest/gtest.h>

// The samples are not part of the library the native build links, so the
// test compiles the source it checks.
#include "../../samples/game/paddle_rules.cpp"

namespace paddle {
namespace {

Game placed(float x, float y, float vx, float vy, float paddleX) {
  Game game = newGame({640, 480});
  game.ballX = x;
  game.ballY = y;
  game.ballVX = vx;
  game.ballVY = vy;
  game.paddleX = paddleX;
  game.autopilot = false;
  return game;
}

TEST(PaddleRules, WallsTurnTheBallBackInsideTheCourt) {
  static const struct {
    const char* what;
    float x, y, vx, vy;
    bool vxPositiveAfter, vyPositiveAfter;
  } cases[] = {
      {"left wall", 10, 200, -0.5f, 0.1f, true, true},
      {"right wall", 630, 200, 0.5f, 0.1f, false, true},
      {"top wall", 300, 10, 0.1f, -0.5f, true, true},
      {"top-left corner", 8, 8, -0.5f, -0.5f, true, true},
  };
  for (const auto& c : cases) {
    Game game = placed(c.x, c.y, c.vx, c.vy, 100);
    step(game, 20);
    EXPECT_EQ(game.ballVX > 0, c.vxPositiveAfter) << c.what;
    EXPECT_EQ(game.ballVY > 0, c.vyPositiveAfter) << c.what;
    EXPECT_GE(game.ballX, kBallRadius) << c.what;
    EXPECT_LE(game.ballX, 640 - kBallRadius) << c.what;
    EXPECT_GE(game.ballY, kBallRadius) << c.what;
  }
}

TEST(PaddleRules, BallOnThePaddleScoresAndGoesBackUpEvenInOneLongStep) {
  const float top = paddleTop({640, 480});
  for (int elapsed : {10, 60, 250}) {
    Game game = placed(320, top - kBallRadius - 5, 0, kMaxSpeed, 330);
    game.best = 5;
    step(game, elapsed);
    EXPECT_EQ(game.score, 1) << elapsed << " ms";
    EXPECT_EQ(game.best, 5) << elapsed << " ms";
    EXPECT_LT(game.ballVY, 0) << elapsed << " ms";
    EXPECT_LT(game.ballX, 320) << "hit left of the paddle's centre goes left";
  }
}

TEST(PaddleRules, MissResetsTheScoreKeepsTheBestAndServesAgain) {
  Game game = placed(50, 470, 0, 0.5f, 500);
  game.score = 7;
  game.best = 7;
  step(game, 60);
  EXPECT_EQ(game.score, 0);
  EXPECT_EQ(game.best, 7);
  EXPECT_LT(game.ballY, 240);
  EXPECT_GT(game.ballVY, 0);
}

TEST(PaddleRules, AutopilotNeverMissesUntilThePlayerTakesOver) {
  Game game = newGame({640, 480});
  for (int i = 0; i < 2000; ++i) step(game, 15);  // half a minute of play
  EXPECT_GE(game.score, 5);
  EXPECT_EQ(game.score, game.best);

  movePaddleTo(game, -1000);
  EXPECT_FALSE(game.autopilot);
  EXPECT_EQ(game.paddleX, kPaddleWidth / 2);  // kept on the court
}

TEST(PaddleRules, NothingMovesWhilePaused) {
  Game game = newGame({640, 480});
  game.paused = true;
  const Game before = game;
  step(game, 200);
  EXPECT_EQ(game.ballX, before.ballX);
  EXPECT_EQ(game.ballY, before.ballY);
}

}  // namespace
}  // namespace paddle
