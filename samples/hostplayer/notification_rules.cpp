#include "notification_rules.h"

#include <cstdio>

namespace fyrel::hostplayer {

bool isStateReport(const std::string& first) {
  return first == "FE_STATE" || first == "FE_ERROR" || first == "wrongBitDepth";
}

Ending endingOf(const std::string& first, const std::string& second, const std::string& until) {
  if (!isStateReport(first)) return Ending::None;
  if (second == until) return Ending::UntilArrived;
  if (first == "FE_ERROR" || first == "wrongBitDepth") return Ending::Failed;
  return Ending::None;
}

std::string snapshotLabel(const std::string& first, const std::string& second) {
  if (isStateReport(first)) return second.empty() ? "CLOSED" : second;
  return first + "-" + second;
}

std::string snapshotFileName(int index, const std::string& label) {
  // Game pairs are free text; keep the names short, portable and shell-safe.
  constexpr std::size_t kMaxLabel = 60;
  std::string safe;
  for (char c : label.substr(0, kMaxLabel)) {
    const bool plain =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
    safe += plain ? c : '_';
  }
  char number[16];
  std::snprintf(number, sizeof number, "%03d-", index);
  return number + safe + ".png";
}

}  // namespace fyrel::hostplayer
