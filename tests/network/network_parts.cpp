#include "network/network_parts.h"

#include <wincrypt.h>

#include <cstdlib>

#include "support/test_paths.h"

namespace fyrel::test {
namespace {

const char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

struct WindowSearch {
  HWND own;
  int count;
};

BOOL CALLBACK countOtherVisible(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (window != search->own && process == ::GetCurrentProcessId() && ::IsWindowVisible(window)) ++search->count;
  return TRUE;
}

}  // namespace

std::string networkPart(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr ? value : "";
}

std::string linuxFileAsWindowsPath(const std::string& linuxPath) {
  std::string path = "Z:" + linuxPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

ProxySetting::ProxySetting(const std::string& servers, const std::string& straight)
    : enable_(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable"),
      server_(HKEY_CURRENT_USER, kInternetSettings, "ProxyServer"),
      override_(HKEY_CURRENT_USER, kInternetSettings, "ProxyOverride") {
  const DWORD on = 1;
  enable_.set(REG_DWORD, std::string(reinterpret_cast<const char*>(&on), sizeof on));
  server_.setString(servers);
  if (!straight.empty()) override_.setString(straight);
}

namespace {

HCERTSTORE openMachineRoot() {
  return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
}

}  // namespace

bool addMachineRoot(const std::string& der) {
  HCERTSTORE root = openMachineRoot();
  if (root == nullptr) return false;
  const bool added = ::CertAddEncodedCertificateToStore(
                         root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                         static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
  ::CertCloseStore(root, 0);
  return added;
}

void removeMachineRoot(const std::string& der) {
  HCERTSTORE root = openMachineRoot();
  if (root == nullptr) return;
  PCCERT_CONTEXT ca = ::CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                     static_cast<DWORD>(der.size()));
  if (ca != nullptr) {
    PCCERT_CONTEXT found = ::CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, ca, nullptr);
    if (found != nullptr) ::CertDeleteCertificateFromStore(found);  // frees `found`
    ::CertFreeCertificateContext(ca);
  }
  ::CertCloseStore(root, 0);
}

TrustedTestCa::TrustedTestCa() : der_(readFile(linuxFileAsWindowsPath(networkPart("FYREL_NET_TLS_CA")))) {
  added_ = !der_.empty() && addMachineRoot(der_);
}

TrustedTestCa::~TrustedTestCa() {
  if (added_) removeMachineRoot(der_);
}

std::string tlsUrl(unsigned port, const std::string& path) {
  return "https://" + networkPart("FYREL_NET_TLS") + ":" + std::to_string(port) + path;
}

int otherVisibleWindows(HWND own) {
  WindowSearch search{own, 0};
  ::EnumWindows(&countOtherVisible, reinterpret_cast<LPARAM>(&search));
  return search.count;
}

}  // namespace fyrel::test
