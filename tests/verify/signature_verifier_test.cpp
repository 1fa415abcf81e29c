// The verifier on real CryptoAPI and real files, against packages signed by
// openssl at build time (tests/verify/make_fixtures.py).
#include "verify/signature_verifier.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "support/test_paths.h"
#include "verify/built_in_key.h"

namespace fyrel {
namespace {

std::string fixture(const std::string& name) { return test::fixtureDir() + "verify\\" + name; }

// verify changes the file, so each case works on its own copy.
std::string copyToScratch(const std::string& name) {
  const std::string copy = test::scratchDir("verify_" + name) + name + ".pkg";
  EXPECT_TRUE(::CopyFileA(fixture(name + ".pkg").c_str(), copy.c_str(), FALSE)) << name;
  return copy;
}

TEST(Verifier, ChecksPackagesAndLeavesFilesAsTheTrailerRulesSay) {
  static const struct {
    const char* name;
    bool accepted;
  } cases[] = {
      // Accepted and cut to exactly the signed content, whatever followed.
      {"accepted_no_tail", true},
      {"accepted_with_tail", true},
      {"accepted_big_tail_with_markers", true},
      {"accepted_marker_at_window_start", true},
      // Cut at the first marker, then the signature check fails.
      {"changed_content_byte", false},
      {"signature_most_significant_byte_first", false},
      {"different_key", false},
      {"adjacent_markers_then_third", false},
      // No usable trailer: the file stays unchanged.
      {"missing_first_marker", false},
      {"already_verified", false},
      {"marker_before_window", false},
      {"adjacent_markers", false},
  };
  SignatureVerifier verifier;
  ASSERT_TRUE(verifier.importPublicKey(kBuiltInPublicKey, kBuiltInPublicKeySize));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = copyToScratch(c.name);
    EXPECT_EQ(verifier.verify(path), c.accepted);
    const std::string expected = test::readFile(fixture(std::string(c.name) + ".expect"));
    const std::string actual = test::readFile(path);
    EXPECT_EQ(actual.size(), expected.size());
    EXPECT_TRUE(actual == expected);
  }
}

TEST(Verifier, VerifyingTheSameFileTwiceFailsTheSecondTimeAndKeepsTheContent) {
  SignatureVerifier verifier;
  ASSERT_TRUE(verifier.importPublicKey(kBuiltInPublicKey, kBuiltInPublicKeySize));
  const std::string path = copyToScratch("accepted_with_tail");
  EXPECT_TRUE(verifier.verify(path));
  EXPECT_FALSE(verifier.verify(path));
  EXPECT_TRUE(test::readFile(path) == test::readFile(fixture("accepted_with_tail.expect")));
}

TEST(Verifier, VerifiedPackageStaysClosedToWritersAndDeletersUntilItsHandleGoes) {
  SignatureVerifier verifier;
  ASSERT_TRUE(verifier.importPublicKey(kBuiltInPublicKey, kBuiltInPublicKeySize));
  const std::string path = copyToScratch("accepted_with_tail");
  const std::string moved = path + ".moved";
  ASSERT_TRUE(verifier.verify(path));
  {
    UniqueFile verified = verifier.takeVerifiedPackage();
    ASSERT_TRUE(verified);
    // Another account could otherwise swap the checked package before it is
    // extracted.
    EXPECT_FALSE(
        UniqueFile(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr)));
    EXPECT_FALSE(::DeleteFileA(path.c_str()));
    EXPECT_FALSE(::MoveFileA(path.c_str(), moved.c_str()));
    // Readers are welcome.
    EXPECT_TRUE(test::readFile(path) == test::readFile(fixture("accepted_with_tail.expect")));
  }
  EXPECT_TRUE(::DeleteFileA(path.c_str()));

  // A failed check keeps nothing open.
  const std::string bad = copyToScratch("changed_content_byte");
  EXPECT_FALSE(verifier.verify(bad));
  EXPECT_FALSE(verifier.takeVerifiedPackage());
  EXPECT_TRUE(::DeleteFileA(bad.c_str()));
}

TEST(Verifier, MissingFileFails) {
  SignatureVerifier verifier;
  ASSERT_TRUE(verifier.importPublicKey(kBuiltInPublicKey, kBuiltInPublicKeySize));
  EXPECT_FALSE(verifier.verify(test::scratchDir("verify_missing") + "absent.pkg"));
}

TEST(Verifier, RefusesKeyBlobsThatAreNotAPublicKey) {
  std::string truncated(reinterpret_cast<const char*>(kBuiltInPublicKey), 20);
  std::string wrongType(reinterpret_cast<const char*>(kBuiltInPublicKey), kBuiltInPublicKeySize);
  wrongType[0] = 0x07;  // PRIVATEKEYBLOB without the private part
  static const struct {
    const char* label;
    const std::string* blob;
  } cases[] = {{"truncated", &truncated}, {"wrong blob type", &wrongType}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    SignatureVerifier verifier;
    EXPECT_FALSE(verifier.importPublicKey(reinterpret_cast<const unsigned char*>(c.blob->data()), c.blob->size()));
  }
}

TEST(Verifier, VerifierWithoutKeyRejectsAGoodPackage) {
  SignatureVerifier verifier;
  EXPECT_FALSE(verifier.verify(copyToScratch("accepted_no_tail")));
}

}  // namespace
}  // namespace fyrel
