// The four exports and the extension object, driven through the real DLL
// as a host would, and GetHostValue against the host contract.
#include <gtest/gtest.h>

#include "extension/game_loader_extension.h"
#include "extension/live_extension.h"
#include "support/test_host.h"
#include "support/test_paths.h"
#include "support/test_window.h"

namespace fyrel {
namespace {

class ProbeCountingHost final : public ExtensionHost {
 public:
  void Notify(const char*, const char*) override {}
  int GetValue(const char*, std::string* value) override {
    sizes.push_back(value->size());
    std::size_t n = std::min(answer.size(), value->size());
    std::copy(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(n), value->begin());
    return static_cast<int>(answer.size());
  }
  std::string answer;
  std::vector<std::size_t> sizes;
};

TEST(GetHostValue, AbsentValueIsEmptyAfterTwoQuestions) {
  ProbeCountingHost host;
  GameLoaderExtension extension;
  extension.host = &host;
  std::string value = "stale";
  EXPECT_EQ(extension.GetHostValue("gamename", value), 0);
  EXPECT_TRUE(value.empty());
  EXPECT_EQ(host.sizes, (std::vector<std::size_t>{0x4000, 0}));
}

TEST(GetHostValue, ReadsValuesLongerThanTheProbeWholeAndByteForByte) {
  ProbeCountingHost host;
  host.answer = std::string(20000, 'x') + std::string("\0\x01\xff\xe4|end", 8);
  GameLoaderExtension extension;
  extension.host = &host;
  std::string value;
  EXPECT_EQ(extension.GetHostValue("localURL", value), static_cast<int>(host.answer.size()));
  EXPECT_EQ(value, host.answer);
  EXPECT_EQ(host.sizes, (std::vector<std::size_t>{0x4000, host.answer.size()}));
}

TEST(LiveExtension, NamesTheNewestAndAnyDeletionClearsIt) {
  auto* first = new GameLoaderExtension();
  auto* second = new GameLoaderExtension();
  EXPECT_EQ(liveExtension.load(), second);
  delete first;
  EXPECT_EQ(liveExtension.load(), nullptr);
  auto* third = new GameLoaderExtension();
  EXPECT_EQ(liveExtension.load(), third);
  delete second;
  EXPECT_EQ(liveExtension.load(), nullptr);
  delete third;
}

class ExportsTest : public ::testing::Test {
 protected:
  test::ExtensionLibrary library;
};

TEST_F(ExportsTest, DllBindsAllFourExports) {
  ASSERT_NE(library.module(), nullptr);
  EXPECT_NE(library.create, nullptr);
  EXPECT_NE(library.destroy, nullptr);
  EXPECT_NE(library.processMsg, nullptr);
  EXPECT_NE(library.sendUp, nullptr);
}

TEST_F(ExportsTest, DeleteOfNullDoesNothing) {
  ASSERT_NE(library.destroy, nullptr);
  library.destroy(nullptr);
  SUCCEED();
}

}  // namespace
}  // namespace fyrel
