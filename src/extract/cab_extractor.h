// Unpacks a cabinet archive into a folder on a worker thread, through the
// platform's FDI interface in cabinet.dll, with whole-file byte progress.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace fyrel {

class CabExtractor {
public:
  CabExtractor() noexcept;  // loads cabinet.dll
  virtual ~CabExtractor();  // stops a run, then unloads cabinet.dll
  CabExtractor(const CabExtractor&) = delete;
  CabExtractor& operator=(const CabExtractor&) = delete;

  // Stops a run that is still going, then starts a new one. True when the
  // worker thread runs.
  bool start(const std::string& cabinetPath, const std::string& targetFolder);
  // Makes the next notification abort and waits until the worker has ended.
  void stop();

  // Read by the controller on every tick. The worker writes the outcome and
  // the sums before it clears the running flag (release/acquire).
  bool isRunning() const noexcept;
  bool succeeded() const noexcept;
  std::uint32_t totalBytes() const noexcept;
  std::uint32_t extractedBytes() const noexcept;

private:
  std::atomic<bool> running_{false};
  std::atomic<bool> succeeded_{false};
  std::atomic<std::uint32_t> totalBytes_{0};
  std::atomic<std::uint32_t> extractedBytes_{0};
};

}  // namespace fyrel
