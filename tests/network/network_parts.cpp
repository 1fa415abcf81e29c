#include "network/network_parts.h"

#include <cstdlib>

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

ProxySetting::ProxySetting(const std::string& hostAndPort)
    : enable_(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable"),
      server_(HKEY_CURRENT_USER, kInternetSettings, "ProxyServer") {
  const DWORD on = 1;
  enable_.set(REG_DWORD, std::string(reinterpret_cast<const char*>(&on), sizeof on));
  server_.setString(hostAndPort);
}

int otherVisibleWindows(HWND own) {
  WindowSearch search{own, 0};
  ::EnumWindows(&countOtherVisible, reinterpret_cast<LPARAM>(&search));
  return search.count;
}

}  // namespace fyrel::test
