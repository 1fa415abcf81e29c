#include "common/sha256_extensions.h"

#include <cstring>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define FYREL_SHA_EXTENSIONS 1
#define FYREL_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))
// 32-bit Windows keeps the stack 4-byte aligned, and a thread's entry or a
// caller built elsewhere may hand over such a stack: the 16-byte registers
// this spills need the stack realigned on the way in.
#if defined(__i386__)
#define FYREL_REALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define FYREL_REALIGN_STACK
#endif
#endif

namespace fyrel {

#ifdef FYREL_SHA_EXTENSIONS
namespace {

alignas(16) constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

// Rounds 4*I to 4*I+3 of one block. The message schedule lives in four
// registers, each holding four words; words for later rounds are made as
// soon as the words they depend on exist, which is what the instructions'
// latencies want.
template <int I>
FYREL_SHA_TARGET inline void fourRounds(__m128i& abef, __m128i& cdgh, __m128i (&words)[4], const unsigned char* block) {
  if constexpr (I < 4) {
    const __m128i bigEndian = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    words[I] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * I)), bigEndian);
  }
  __m128i scheduled = _mm_add_epi32(words[I % 4], _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * I)));
  cdgh = _mm_sha256rnds2_epu32(cdgh, abef, scheduled);
  if constexpr (I >= 3 && I <= 14) {
    const __m128i carried = _mm_alignr_epi8(words[I % 4], words[(I + 3) % 4], 4);
    words[(I + 1) % 4] = _mm_sha256msg2_epu32(_mm_add_epi32(words[(I + 1) % 4], carried), words[I % 4]);
  }
  scheduled = _mm_shuffle_epi32(scheduled, 0x0E);
  abef = _mm_sha256rnds2_epu32(abef, cdgh, scheduled);
  if constexpr (I >= 1 && I <= 12) words[(I + 3) % 4] = _mm_sha256msg1_epu32(words[(I + 3) % 4], words[I % 4]);
}

template <int... I>
FYREL_SHA_TARGET inline void allRounds(__m128i& abef, __m128i& cdgh, const unsigned char* block,
                                       std::integer_sequence<int, I...>) {
  __m128i words[4] = {};
  (fourRounds<I>(abef, cdgh, words, block), ...);
}

FYREL_SHA_TARGET FYREL_REALIGN_STACK void compressBlocks(std::uint32_t* state, const unsigned char* data,
                                                         std::size_t blocks) {
  // The instructions keep the state as ABEF and CDGH rather than A..H.
  __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
  const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
  for (; blocks > 0; --blocks, data += 64) {
    const __m128i abefBefore = abef;
    const __m128i cdghBefore = cdgh;
    allRounds(abef, cdgh, data, std::make_integer_sequence<int, 16>{});
    abef = _mm_add_epi32(abef, abefBefore);
    cdgh = _mm_add_epi32(cdgh, cdghBefore);
  }
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  dcba = _mm_blend_epi16(feba, dchg, 0xF0);
  hgfe = _mm_alignr_epi8(dchg, feba, 8);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}

}  // namespace

bool processorHasSha256Extensions() noexcept {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool ssse3 = (ecx & (1u << 9)) != 0;
  const bool sse41 = (ecx & (1u << 19)) != 0;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  const bool sha = (ebx & (1u << 29)) != 0;
  return ssse3 && sse41 && sha;
}

#else

bool processorHasSha256Extensions() noexcept { return false; }

namespace {
void compressBlocks(std::uint32_t*, const unsigned char*, std::size_t) {}
}  // namespace

#endif

void Sha256Extensions::update(const void* bytes, std::size_t size) noexcept {
  auto* in = static_cast<const unsigned char*>(bytes);
  totalBytes_ += size;
  if (pendingSize_ > 0) {
    const std::size_t take = size < 64 - pendingSize_ ? size : 64 - pendingSize_;
    std::memcpy(pending_ + pendingSize_, in, take);
    pendingSize_ += take;
    in += take;
    size -= take;
    if (pendingSize_ < 64) return;
    compressBlocks(state_, pending_, 1);
    pendingSize_ = 0;
  }
  compressBlocks(state_, in, size / 64);
  in += size - size % 64;
  size %= 64;
  if (size > 0) std::memcpy(pending_, in, size);
  pendingSize_ = size;
}

Sha256Digest Sha256Extensions::finish() noexcept {
  const std::uint64_t bits = totalBytes_ * 8;
  unsigned char tail[128] = {};
  std::memcpy(tail, pending_, pendingSize_);
  tail[pendingSize_] = 0x80;
  // The length goes in the last 8 bytes of the block that still has room
  // for it after the 0x80: one block, or two when fewer than 9 bytes are left.
  const std::size_t tailSize = pendingSize_ + 9 <= 64 ? 64 : 128;
  for (int i = 0; i < 8; ++i) tail[tailSize - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
  compressBlocks(state_, tail, tailSize / 64);
  pendingSize_ = 0;
  Sha256Digest digest;
  for (std::size_t i = 0; i < 8; ++i) {
    for (std::size_t j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<unsigned char>(state_[i] >> (24 - 8 * j));
  }
  return digest;
}

}  // namespace fyrel
