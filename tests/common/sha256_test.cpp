#include "common/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace fyrel {
namespace {

Sha256Digest digestOf(Sha256::Engine engine, const std::string& bytes, std::size_t piece) {
  Sha256 hash(engine);
  for (std::size_t at = 0; at < bytes.size(); at += piece)
    hash.update(bytes.data() + at, at + piece <= bytes.size() ? piece : bytes.size() - at);
  Sha256Digest digest{};
  EXPECT_TRUE(hash.finish(digest));
  return digest;
}

// The processor's digest is the platform provider's, for lengths around
// every edge of the padding and for a file-sized input fed as a file is.
TEST(Sha256, TheProcessorsDigestIsThePlatformProvidersDigest) {
  ::testing::Test::RecordProperty("sha_extensions", processorHasSha256Extensions() ? "yes" : "no");
  std::string bytes((1 << 20) + 77, '\0');
  unsigned state = 12345;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 24);
  }
  for (std::size_t length : {0u, 1u, 55u, 56u, 64u, 65u, 127u, 128u, 1000u}) {
    const std::string part = bytes.substr(0, length);
    EXPECT_EQ(digestOf(Sha256::Engine::fastest, part, 7), digestOf(Sha256::Engine::platform, part, 1000))
        << length << " bytes";
  }
  EXPECT_EQ(digestOf(Sha256::Engine::fastest, bytes, 64 * 1024), digestOf(Sha256::Engine::platform, bytes, 4093));
}

struct ThreadHash {
  std::string bytes;
  Sha256Digest digest{};
};

DWORD WINAPI hashOnThread(LPVOID argument) {
  auto* work = static_cast<ThreadHash*>(argument);
  work->digest = digestOf(Sha256::Engine::fastest, work->bytes, 4096);
  return 0;
}

// A thread the system starts may begin on a stack aligned to 4 bytes only
// (32-bit Windows): the processor's digest there is still the right one,
// rather than a fault on a 16-byte spill.
TEST(Sha256, AThreadOfTheSystemsGetsTheSameDigest) {
  ThreadHash work{std::string(100000, 'q'), {}};
  UniqueKernelHandle thread(::CreateThread(nullptr, 0, &hashOnThread, &work, 0, nullptr));
  ASSERT_TRUE(thread);
  ASSERT_EQ(::WaitForSingleObject(thread.get(), 60000), WAIT_OBJECT_0);
  EXPECT_EQ(work.digest, digestOf(Sha256::Engine::platform, work.bytes, 100000));
}

}  // namespace
}  // namespace fyrel
