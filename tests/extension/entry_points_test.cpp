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

// A host whose value is replaced while the extension reads it: each ask is
// answered with the next of its answers (the last one repeats).
class ChangingHost final : public ExtensionHost {
 public:
  explicit ChangingHost(std::vector<std::string> answers) : answers_(std::move(answers)) {}
  void Notify(const char*, const char*) override {}
  int GetValue(const char*, std::string* value) override {
    const std::string& answer = answers_[std::min(asks, answers_.size() - 1)];
    ++asks;
    std::copy_n(answer.begin(), std::min(answer.size(), value->size()), value->begin());
    return static_cast<int>(answer.size());
  }
  std::size_t asks = 0;

 private:
  std::vector<std::string> answers_;
};

TEST(GetHostValue, AValueReplacedWhileReadIsReadAgainNeverSplicedAndRefusedWhenItKeepsChanging) {
  const std::string before = "http://127.0.0.1/x/probe_1.cab";
  const std::string after = "http://127.0.0.1/x/probe_22.cab";
  static const struct {
    const char* what;
    std::vector<std::string> answers;
    std::string expected;  // also the length returned
    std::size_t asks;
  } cases[] = {
      {"replaced once between the probe and the read", {before, after}, after, 3},
      {"grows from 4 to 24 characters", {"Anna", "Anna-Lena Maria Schmidt!"}, "Anna-Lena Maria Schmidt!", 3},
      {"shrinks to nothing", {before, ""}, "", 3},
      {"replaced on every ask", {"a", "bb", "ccc", "dddd", "eeeee", "ffffff"}, "", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ChangingHost host(c.answers);
    GameLoaderExtension extension;
    extension.host = &host;
    std::string value = "stale";
    EXPECT_EQ(extension.GetHostValue("gamecab", value), static_cast<int>(c.expected.size()));
    EXPECT_EQ(value, c.expected);
    EXPECT_EQ(host.asks, c.asks);
  }
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

TEST_F(ExportsTest, NullExtensionIsRefusedByEveryExport) {
  // A host routes its window's messages before EXT_CreateExtension has
  // returned (WM_CREATE and friends), or after it returned null.
  ASSERT_NE(library.destroy, nullptr);
  library.destroy(nullptr);
  LRESULT result = 12345;
  EXPECT_FALSE(library.processMsg(nullptr, WM_PAINT, 0, 0, &result));
  EXPECT_EQ(result, 12345);
  EXPECT_EQ(library.sendUp(nullptr, "pause", "1"), 0);
}

}  // namespace
}  // namespace fyrel
