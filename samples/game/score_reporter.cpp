#include "score_reporter.h"

#include <chrono>
#include <string>

namespace paddle {

void ScoreReporter::start(Generic::GenericExtension* extension) {
  stop();
  stopping_ = false;
  thread_ = std::thread(&ScoreReporter::run, this, extension);
}

void ScoreReporter::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ScoreReporter::setScore(int score) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    score_ = score;
  }
  changed_.notify_all();
}

void ScoreReporter::setPaused(bool paused) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = paused;
  }
  changed_.notify_all();
}

void ScoreReporter::run(Generic::GenericExtension* extension) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || paused_ != reportedPaused_ || score_ != reportedScore_; });
    if (stopping_) return;

    // Several changes since the last report collapse into the latest value.
    std::string name, value;
    if (paused_ != reportedPaused_) {
      reportedPaused_ = paused_;
      name = "paused";
      value = paused_ ? "1" : "0";
    } else {
      reportedScore_ = score_;
      name = "score";
      value = std::to_string(score_);
    }
    // Not under the lock: NotifyHost may wait for the extension, and the
    // window thread must be free to keep playing meanwhile.
    lock.unlock();
    extension->NotifyHost(name.c_str(), value.c_str());
    lock.lock();

    // The extension keeps one pair until the host's next window message
    // (every 10 ms at the latest) and drops any pair offered meanwhile, so
    // leave it time to pass this one on before offering the next.
    changed_.wait_for(lock, std::chrono::milliseconds(50), [&] { return stopping_; });
  }
}

}  // namespace paddle
