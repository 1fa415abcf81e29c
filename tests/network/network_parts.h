// What the network cases share: where with_network_parts.sh started the
// case's network part, the prefix's per-user proxy setting, and checks of
// the host window after a failure.
#pragma once

#include <windows.h>

#include <string>

#include "storage/registry_guard.h"

namespace fyrel::test {

// A FYREL_NET_* variable set by with_network_parts.sh; empty when unset
// (the case was not run through it).
std::string networkPart(const char* variable);
// "Z:\..." for a path of the Linux side (Wine's Z: drive is "/").
std::string linuxFileAsWindowsPath(const std::string& linuxPath);

// The proxy as a Windows user sets it (Internet Options, LAN settings):
// ProxyEnable = 1, ProxyServer = "host:port" (or a list per scheme,
// "http=host:port;https=host:port") and ProxyOverride, the servers reached
// straight, among the per-user Internet Settings, which WinINet reads when
// it is opened with the system's proxy settings. Whatever was there before
// is put back on destruction.
class ProxySetting {
 public:
  explicit ProxySetting(const std::string& servers, const std::string& straight = "");
  ProxySetting(const ProxySetting&) = delete;
  ProxySetting& operator=(const ProxySetting&) = delete;

 private:
  RegistryValueGuard enable_;
  RegistryValueGuard server_;
  RegistryValueGuard override_;
};

// Adds a certificate (DER) to the prefix's machine root store, where
// WinINet's checks find it, or takes it out again: what a Windows user's
// certificate import does. Only the test prefix's store is ever touched.
bool addMachineRoot(const std::string& der);
void removeMachineRoot(const std::string& der);

// The case's test CA (with_network_parts.sh made it, FYREL_NET_TLS_CA)
// trusted for the object's life.
class TrustedTestCa {
 public:
  TrustedTestCa();
  ~TrustedTestCa();
  TrustedTestCa(const TrustedTestCa&) = delete;
  TrustedTestCa& operator=(const TrustedTestCa&) = delete;
  bool added() const noexcept { return added_; }

 private:
  std::string der_;
  bool added_ = false;
};

// "https://<the case's TLS address>:<port><path>"; with_network_parts.sh
// serves one kind of certificate on each port (tests/network/tls_server.py).
std::string tlsUrl(unsigned port, const std::string& path);

// Visible top-level windows of this process other than `own`: a login
// prompt or a message box would be one.
int otherVisibleWindows(HWND own);

}  // namespace fyrel::test
