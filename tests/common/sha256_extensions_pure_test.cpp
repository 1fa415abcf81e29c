#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/sha256_extensions.h"

namespace fyrel {
namespace {

std::string hexOf(const Sha256Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

std::string digestOf(const std::string& bytes) {
  Sha256Extensions hash;
  hash.update(bytes.data(), bytes.size());
  return hexOf(hash.finish());
}

class Sha256ExtensionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!processorHasSha256Extensions()) GTEST_SKIP() << "this processor has no SHA extensions";
  }
};

// The published test vectors, the padding's edges among them: 55 bytes
// still take the length in their own block, 56 need a second one.
TEST_F(Sha256ExtensionsTest, KnownDigests) {
  static const struct {
    std::string bytes;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopq"
       "rstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) EXPECT_EQ(digestOf(c.bytes), c.digest) << c.bytes.size() << " bytes";
}

// However the bytes arrive (a byte at a time, across block edges, in one
// piece) the digest is the same.
TEST_F(Sha256ExtensionsTest, PiecesGiveTheDigestOfTheWhole) {
  std::string bytes(300, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + 7);
  for (std::size_t length : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 300u}) {
    const std::string whole = digestOf(bytes.substr(0, length));
    for (std::size_t piece : {1u, 3u, 63u, 64u, 65u, 200u}) {
      Sha256Extensions hash;
      for (std::size_t at = 0; at < length; at += piece)
        hash.update(bytes.data() + at, at + piece <= length ? piece : length - at);
      EXPECT_EQ(hexOf(hash.finish()), whole) << length << " bytes in pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace fyrel
