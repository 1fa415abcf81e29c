#include "extension/host_value.h"
#include "extension/live_extension.h"
#include "extension/outside_call.h"
#include "storage/popup_allowance.h"

namespace fyrel {

std::atomic<Generic::GenericExtension*> liveExtension{nullptr};

namespace {
// Asks after the probe: the first read, then two more for a value that was
// replaced while it was read. One that changes more often is refused.
constexpr int kReadAsks = 3;
}  // namespace

bool readHostValue(ExtensionHost* host, const char* name, std::string& value) noexcept {
  value.clear();
  if (host == nullptr) return true;
  try {
    // The host fills only within the string's presized length and returns
    // the full length, so the probe learns the length and the next ask
    // reads the whole value, however long.
    std::string probe(0x4000, '\0');
    int length = callOutside([&] { return host->GetValue(name, &probe); });
    for (int ask = 0; ask < kReadAsks; ++ask) {
      std::string whole(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
      const int answered = callOutside([&] { return host->GetValue(name, &whole); });
      // Only an answer that agrees with the length asked for fills the
      // string whole and with one value.
      if (answered == length || (answered <= 0 && length <= 0)) {
        value = std::move(whole);
        return true;
      }
      length = answered;
    }
    return false;
  } catch (...) {
    // Out of memory for the strings. Games call this across the module
    // boundary: no exception may leave.
    value.clear();
    return true;
  }
}

}  // namespace fyrel

namespace Generic {

GenericExtension::GenericExtension() noexcept {
  fyrel::liveExtension.store(this);
  fyrel::registerPopupAllowance();  // best effort; the result is not needed
}

GenericExtension::~GenericExtension() { fyrel::liveExtension.store(nullptr); }

void GenericExtension::NotifyHost(const char* first, const char* second) {
  if (host != nullptr) fyrel::callOutside([&] { host->Notify(first, second); });
}

int GenericExtension::GetHostValue(const char* name, std::string& value) {
  // A refused value reads as absent; the length is always that of the
  // string handed back.
  fyrel::readHostValue(host, name, value);
  return static_cast<int>(value.size());
}

}  // namespace Generic
