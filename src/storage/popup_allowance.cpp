#include "storage/popup_allowance.h"

#include "common/unique_handle.h"

namespace fyrel {

void setUserRegistryValue(const char* keyPath, const char* valueName, DWORD value, DWORD type) {
  // Open, never create: a user without the browser's key gets nothing new.
  UniqueRegKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
  const BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                        static_cast<BYTE>(value >> 24)};
  // Best effort: a refused write leaves the registry as it was.
  ::RegSetValueExA(key.get(), valueName, 0, type, data, sizeof data);
}

void registerPopupAllowance() { setUserRegistryValue(kPopupAllowKey, kPopupAllowValueName, 0, REG_BINARY); }

}  // namespace fyrel
