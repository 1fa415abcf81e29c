// The pop-up allow-list value on the real registry of the test prefix.
#include "storage/popup_allowance.h"

#include <gtest/gtest.h>

#include <string>

#include "storage/registry_guard.h"

namespace fyrel {
namespace {

TEST(PopupAllowance, WritesFourZeroBytesAsBinaryWhenTheKeyExists) {
  test::RegistryValueGuard value(HKEY_CURRENT_USER, kPopupAllowKey, kPopupAllowValueName);
  static const struct {
    const char* label;
    bool present;
    DWORD type;
    std::string bytes;
  } before[] = {
      {"value absent", false, REG_NONE, ""},
      {"value of another type and size", true, REG_SZ, std::string("allowed\0", 8)},
      {"value already right", true, REG_BINARY, std::string(4, '\0')},
  };
  for (const auto& c : before) {
    SCOPED_TRACE(c.label);
    if (c.present) {
      value.set(c.type, c.bytes);
    } else {
      value.set(REG_SZ, std::string(1, '\0'));  // makes sure the key exists
      value.remove();
    }
    // Every construction writes again; the second changes nothing.
    for (int call = 0; call < 2; ++call) {
      registerPopupAllowance();
      DWORD type = REG_NONE;
      std::string bytes;
      ASSERT_TRUE(test::readValue(HKEY_CURRENT_USER, kPopupAllowKey, kPopupAllowValueName, type, bytes));
      EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
      EXPECT_EQ(bytes, std::string(4, '\0'));
    }
  }
}

TEST(PopupAllowance, StoresTheNumberLittleEndianUnderTheGivenType) {
  test::RegistryValueGuard value(HKEY_CURRENT_USER, kPopupAllowKey, "fyrel test number");
  value.set(REG_SZ, std::string(1, '\0'));
  setUserRegistryValue(kPopupAllowKey, "fyrel test number", 0x04030201, REG_DWORD);
  DWORD type = REG_NONE;
  std::string bytes;
  ASSERT_TRUE(test::readValue(HKEY_CURRENT_USER, kPopupAllowKey, "fyrel test number", type, bytes));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(bytes, std::string("\x01\x02\x03\x04", 4));
}

TEST(PopupAllowance, CreatesNothingWhenTheKeyDoesNotExist) {
  test::KeyAbsentScope absent(HKEY_CURRENT_USER, kPopupAllowKey);
  registerPopupAllowance();
  EXPECT_FALSE(test::keyExists(HKEY_CURRENT_USER, kPopupAllowKey));
}

}  // namespace
}  // namespace fyrel
