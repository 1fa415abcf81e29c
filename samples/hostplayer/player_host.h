// The host's half of the interface: answers GetValue from the --set values
// and prints every notification at once, one line each.
#pragma once

#include <fyrel/extension_api.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "named_values.h"
#include "notification_rules.h"

namespace fyrel::hostplayer {

class PlayerHost final : public ExtensionHost {
 public:
  PlayerHost(NamedValues values, std::string until, bool times, std::uint64_t startTick);

  void Notify(const char* first, const char* second) override;
  int GetValue(const char* name, std::string* value) override;

  // What the notifications so far decided; the first decision stands.
  Ending ending() const;
  bool gameStarted() const;
  // Snapshot labels of the notifications since the last call, in order.
  std::vector<std::string> takeSnapshotLabels();

 private:
  const NamedValues values_;
  const std::string until_;
  const bool times_;
  const std::uint64_t startTick_;

  // The extension calls Notify on the window thread, but a careless
  // extension might not; a lock keeps the lines and the records whole.
  mutable std::mutex mutex_;
  Ending ending_ = Ending::None;
  bool gameStarted_ = false;
  std::vector<std::string> snapshotLabels_;
};

}  // namespace fyrel::hostplayer
