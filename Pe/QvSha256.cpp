#include "QvSha256.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define QV_SHA256_NI 1
#endif

namespace {

const uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

#ifdef QV_SHA256_NI
// The processor's SHA extensions (most x86 processors since 2017): about
// five times the portable code, which matters for the digests of whole
// setups and of every file a build packs. Chosen once, at run time.
bool HasShaExtensions() {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return ssse3 && sse41 && (b & (1u << 29));
}

// Whole blocks with the SHA instructions. The state is kept as the
// instructions want it, ABEF and CDGH, between the blocks; each group of
// four rounds takes four words of the schedule, made from the groups
// before it as sha256msg1 and sha256msg2 expect.
__attribute__((target("sha,sse4.1,ssse3"))) void BlocksWithShaExtensions(uint32_t state[8], const uint8_t* p,
                                                                           size_t count) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
  const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
  for (; count > 0; --count, p += 64) {
    const __m128i abefBefore = abef, cdghBefore = cdgh;
    __m128i w[4];  // the last four groups of the schedule, w[g % 4] the oldest
    for (int g = 0; g < 16; ++g) {
      __m128i m;
      if (g < 4) {
        m = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * g)), byteSwap);
      } else {
        const __m128i older = _mm_sha256msg1_epu32(w[g & 3], w[(g + 1) & 3]);
        const __m128i minus7 = _mm_alignr_epi8(w[(g + 3) & 3], w[(g + 2) & 3], 4);
        m = _mm_sha256msg2_epu32(_mm_add_epi32(older, minus7), w[(g + 3) & 3]);
      }
      w[g & 3] = m;
      __m128i k = _mm_add_epi32(m, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 4 * g)));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, k);
      k = _mm_shuffle_epi32(k, 0x0E);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, k);
    }
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

const bool kShaExtensions = HasShaExtensions();
#endif

}  // namespace

void TSha256::Blocks(const uint8_t* p, size_t count) {
#ifdef QV_SHA256_NI
  if (kShaExtensions && !FPortableOnly) {
    BlocksWithShaExtensions(FState, p, count);
    return;
  }
#endif
  for (; count > 0; --count, p += 64) Block(p);
}

bool TSha256::HardwareAvailable() {
#ifdef QV_SHA256_NI
  return kShaExtensions;
#else
  return false;
#endif
}

void TSha256::Reset() {
  static const uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::memcpy(FState, kInitial, sizeof FState);
  FUsed = 0;
  FLength = 0;
}

void TSha256::Block(const uint8_t* p) {
  uint32_t w[64];
  for (int i = 0; i < 16; ++i)
    w[i] = (uint32_t)p[4 * i] << 24 | (uint32_t)p[4 * i + 1] << 16 | (uint32_t)p[4 * i + 2] << 8 | p[4 * i + 3];
  for (int i = 16; i < 64; ++i) {
    const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  uint32_t a = FState[0], b = FState[1], c = FState[2], d = FState[3];
  uint32_t e = FState[4], f = FState[5], g = FState[6], h = FState[7];
  for (int i = 0; i < 64; ++i) {
    const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
    const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  FState[0] += a; FState[1] += b; FState[2] += c; FState[3] += d;
  FState[4] += e; FState[5] += f; FState[6] += g; FState[7] += h;
}

void TSha256::Update(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  FLength += size;
  if (FUsed > 0) {
    const size_t take = size < 64 - FUsed ? size : 64 - FUsed;
    std::memcpy(FBuffer + FUsed, p, take);
    FUsed += take;
    p += take;
    size -= take;
    if (FUsed < 64) return;
    Blocks(FBuffer, 1);
    FUsed = 0;
  }
  // Whole blocks straight from the caller's memory: a setup of hundreds of
  // megabytes goes through here.
  const size_t whole = size / 64;
  Blocks(p, whole);
  p += whole * 64;
  size -= whole * 64;
  std::memcpy(FBuffer, p, size);
  FUsed = size;
}

TSha256Digest TSha256::Final() {
  const uint64_t bits = FLength * 8;
  // A one bit, zeros up to 56 mod 64, then the length in bits, big-endian.
  uint8_t tail[72] = {0x80};
  const size_t pad = (FUsed < 56 ? 56 - FUsed : 120 - FUsed);
  for (int i = 0; i < 8; ++i) tail[pad + i] = (uint8_t)(bits >> (56 - 8 * i));
  Update(tail, pad + 8);
  TSha256Digest out;
  for (int i = 0; i < 8; ++i)
    for (int k = 0; k < 4; ++k) out[4 * i + k] = (uint8_t)(FState[i] >> (24 - 8 * k));
  Reset();
  return out;
}

TSha256Digest TSha256::Of(const std::string& bytes) {
  TSha256 h;
  h.Update(bytes);
  return h.Final();
}

std::string DigestToHex(const TSha256Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(64);
  for (uint8_t b : digest) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}
