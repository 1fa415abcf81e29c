// Tells the host about the game from a thread of the game's own, the way a
// game reports anything that happens away from the window thread (a server
// answer, a finished level): through GenericExtension::NotifyHost, which may
// be called from any thread.
#pragma once

#include <fyrel/extension_api.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace paddle {

class ScoreReporter {
 public:
  ~ScoreReporter() { stop(); }

  void start(Generic::GenericExtension* extension);
  // Joins the thread; safe to call twice.
  void stop();

  // Called on the window thread whenever the game changes.
  void setScore(int score);
  void setPaused(bool paused);

 private:
  void run(Generic::GenericExtension* extension);

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  int score_ = 0, reportedScore_ = 0;
  bool paused_ = false, reportedPaused_ = false;
  std::thread thread_;
};

}  // namespace paddle
