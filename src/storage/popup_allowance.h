// The publisher's domain in the current user's browser pop-up allow list.
#pragma once

#include <windows.h>

namespace fyrel {

constexpr const char kPublisherDomain[] = "fyrel.example";
constexpr const char kPopupAllowKey[] = "Software\\Microsoft\\Internet Explorer\\New Windows\\Allow";
constexpr const char kPopupAllowValueName[] = "*.fyrel.example";

// Writes value (4 bytes, little-endian) under type to an existing key below
// HKEY_CURRENT_USER; never creates the key. Failures are silent.
void setUserRegistryValue(const char* keyPath, const char* valueName, DWORD value, DWORD type);
void registerPopupAllowance();

}  // namespace fyrel
