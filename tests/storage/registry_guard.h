// Registry set-up for storage tests in the test prefix: each guard remembers
// what it changes and puts it back when it goes out of scope.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace fyrel::test {

// One named value below root\keyPath. The key is created if needed (and
// removed again if it was created here).
class RegistryValueGuard {
 public:
  RegistryValueGuard(HKEY root, const char* keyPath, const char* valueName);
  ~RegistryValueGuard();
  RegistryValueGuard(const RegistryValueGuard&) = delete;
  RegistryValueGuard& operator=(const RegistryValueGuard&) = delete;

  void set(DWORD type, const std::string& bytes);
  void setString(const std::string& text) { set(REG_SZ, text + '\0'); }
  void remove();

 private:
  HKEY root_;
  std::string keyPath_;
  std::string valueName_;
  bool keyExisted_ = false;
  bool valueExisted_ = false;
  DWORD type_ = REG_NONE;
  std::string bytes_;
};

// Makes sure a key (holding values only) is absent for the scope; puts it
// back with its values afterwards if it existed, and removes it if it did not.
class KeyAbsentScope {
 public:
  KeyAbsentScope(HKEY root, const char* keyPath);
  ~KeyAbsentScope();
  KeyAbsentScope(const KeyAbsentScope&) = delete;
  KeyAbsentScope& operator=(const KeyAbsentScope&) = delete;

 private:
  struct Value {
    std::string name;
    DWORD type;
    std::string bytes;
  };
  HKEY root_;
  std::string keyPath_;
  bool existed_ = false;
  std::vector<Value> values_;
};

bool keyExists(HKEY root, const char* keyPath);
// Reads a value: false when absent.
bool readValue(HKEY root, const char* keyPath, const char* valueName, DWORD& type, std::string& bytes);

}  // namespace fyrel::test
