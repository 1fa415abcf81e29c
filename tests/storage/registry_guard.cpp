#include "storage/registry_guard.h"

#include <gtest/gtest.h>

#include "common/unique_handle.h"

namespace fyrel::test {

bool keyExists(HKEY root, const char* keyPath) {
  UniqueRegKey key;
  return ::RegOpenKeyExA(root, keyPath, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

bool readValue(HKEY root, const char* keyPath, const char* valueName, DWORD& type, std::string& bytes) {
  UniqueRegKey key;
  if (::RegOpenKeyExA(root, keyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  if (::RegQueryValueExA(key.get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  bytes.assign(size, '\0');
  if (::RegQueryValueExA(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  bytes.resize(size);
  return true;
}

RegistryValueGuard::RegistryValueGuard(HKEY root, const char* keyPath, const char* valueName)
    : root_(root), keyPath_(keyPath), valueName_(valueName) {
  keyExisted_ = keyExists(root, keyPath);
  valueExisted_ = readValue(root, keyPath, valueName, type_, bytes_);
}

RegistryValueGuard::~RegistryValueGuard() {
  if (valueExisted_) {
    set(type_, bytes_);
  } else {
    remove();
  }
  if (!keyExisted_) ::RegDeleteKeyA(root_, keyPath_.c_str());
}

void RegistryValueGuard::set(DWORD type, const std::string& bytes) {
  UniqueRegKey key;
  ASSERT_EQ(::RegCreateKeyExA(root_, keyPath_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExA(key.get(), valueName_.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
}

void RegistryValueGuard::remove() {
  UniqueRegKey key;
  if (::RegOpenKeyExA(root_, keyPath_.c_str(), 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
  ::RegDeleteValueA(key.get(), valueName_.c_str());
}

KeyAbsentScope::KeyAbsentScope(HKEY root, const char* keyPath) : root_(root), keyPath_(keyPath) {
  UniqueRegKey key;
  if (::RegOpenKeyExA(root, keyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  existed_ = true;
  for (DWORD index = 0;; ++index) {
    char name[16384];
    DWORD nameLength = sizeof name;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegEnumValueA(key.get(), index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    Value value{std::string(name, nameLength), type, {}};
    readValue(root, keyPath, value.name.c_str(), value.type, value.bytes);
    values_.push_back(value);
  }
  key.reset();
  EXPECT_EQ(::RegDeleteKeyA(root, keyPath), ERROR_SUCCESS);
}

KeyAbsentScope::~KeyAbsentScope() {
  ::RegDeleteKeyA(root_, keyPath_.c_str());
  if (!existed_) return;
  UniqueRegKey key;
  if (::RegCreateKeyExA(root_, keyPath_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  for (const Value& value : values_) {
    ::RegSetValueExA(key.get(), value.name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.bytes.data()),
                     static_cast<DWORD>(value.bytes.size()));
  }
}

}  // namespace fyrel::test
