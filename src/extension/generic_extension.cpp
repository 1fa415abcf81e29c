#include "extension/live_extension.h"
#include "extension/outside_call.h"
#include "storage/popup_allowance.h"

namespace fyrel {
std::atomic<Generic::GenericExtension*> liveExtension{nullptr};
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
  // The host fills only within the string's presized length and returns the
  // full length, so the first call learns the length and the second reads
  // the whole value, however long.
  if (host == nullptr) return 0;
  try {
    std::string probe(0x4000, '\0');
    const int length = fyrel::callOutside([&] { return host->GetValue(name, &probe); });
    std::string whole(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    const int result = fyrel::callOutside([&] { return host->GetValue(name, &whole); });
    value = std::move(whole);
    return result;
  } catch (...) {
    // Out of memory for the strings. Games call this across the module
    // boundary: no exception may leave.
    value.clear();
    return 0;
  }
}

}  // namespace Generic
