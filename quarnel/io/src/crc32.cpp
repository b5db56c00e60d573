// CRC-32 by folding: the input is taken 64 bytes at a time in four 128-bit
// lanes, each lane multiplied (carry-less) by x^512 modulo the polynomial and
// added to the lane 64 bytes on; the four lanes are then folded into one, the
// remaining 16-byte pieces added likewise, and the 128-bit remainder reduced
// to 32 bits by one more fold and a Barrett reduction. Everything is in the
// bit-reflected order zlib uses, so each constant is a power of x modulo the
// polynomial 0x104C11DB7, reflected and shifted up by one bit. The last
// bytes that do not fill 16 go through zlib's crc32, as does any run shorter
// than 64 bytes, which the set-up would not pay for.
#include "crc32.h"

#include <zlib.h>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QUARNEL_FOLDED_CRC 1
#endif

namespace ObraCommon {

namespace {

uint32_t ZlibCrc(uint32_t crc, const unsigned char* data, size_t length) {
  // zlib takes at most an unsigned int of bytes a call.
  while (length > 0) {
    const size_t n = length < (1u << 30) ? length : (1u << 30);
    crc = static_cast<uint32_t>(crc32(crc, data, static_cast<uInt>(n)));
    data += n;
    length -= n;
  }
  return crc;
}

#ifdef QUARNEL_FOLDED_CRC

constexpr long long kX544 = 0x154442bd4;  // the low half of a lane, 512 bits on
constexpr long long kX480 = 0x1c6e41596;  // the high half, 512 bits on
constexpr long long kX160 = 0x1751997d0;  // the low half, 128 bits on
constexpr long long kX96 = 0x0ccaa009e;   // the high half, 128 bits on
constexpr long long kX64 = 0x163cd6124;
constexpr long long kMu = 0x1f7011641;    // x^64 divided by the polynomial
constexpr long long kPoly = 0x1db710641;

__attribute__((target("pclmul"))) inline __m128i Fold(__m128i lane, __m128i k, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(lane, k, 0x00);
  const __m128i high = _mm_clmulepi64_si128(lane, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

__attribute__((target("pclmul"))) inline __m128i Load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// length >= 64.
__attribute__((target("pclmul"))) uint32_t FoldedCrc(uint32_t crc, const unsigned char* p, size_t length) {
  __m128i a = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(~crc)));
  __m128i b = Load(p + 16);
  __m128i c = Load(p + 32);
  __m128i d = Load(p + 48);
  p += 64;
  length -= 64;
  const __m128i by4 = _mm_set_epi64x(kX480, kX544);
  for (; length >= 64; p += 64, length -= 64) {
    a = Fold(a, by4, Load(p));
    b = Fold(b, by4, Load(p + 16));
    c = Fold(c, by4, Load(p + 32));
    d = Fold(d, by4, Load(p + 48));
  }
  const __m128i by1 = _mm_set_epi64x(kX96, kX160);
  __m128i r = Fold(Fold(Fold(a, by1, b), by1, c), by1, d);
  for (; length >= 16; p += 16, length -= 16) r = Fold(r, by1, Load(p));

  // 128 bits to 96: the low half moved onto the high one.
  r = _mm_xor_si128(_mm_srli_si128(r, 8), _mm_clmulepi64_si128(r, by1, 0x10));
  // 96 bits to 64: the low 32 bits moved onto the rest.
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
  r = _mm_xor_si128(_mm_srli_si128(r, 4),
                    _mm_clmulepi64_si128(_mm_and_si128(r, low32), _mm_set_epi64x(0, kX64), 0x00));
  // Barrett: the quotient by mu, times the polynomial, leaves the remainder
  // in the second 32 bits.
  const __m128i barrett = _mm_set_epi64x(kMu, kPoly);
  __m128i q = _mm_clmulepi64_si128(_mm_and_si128(r, low32), barrett, 0x10);
  q = _mm_clmulepi64_si128(_mm_and_si128(q, low32), barrett, 0x00);
  r = _mm_xor_si128(r, q);
  const uint32_t folded = ~static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(r, 4)));
  return length == 0 ? folded : ZlibCrc(folded, p, length);
}

bool HasClmul() {
  static const bool has = __builtin_cpu_supports("pclmul");
  return has;
}

#endif

}  // namespace

uint32_t Crc32Update(uint32_t crc, const unsigned char* data, size_t length) {
#ifdef QUARNEL_FOLDED_CRC
  if (length >= 64 && HasClmul()) return FoldedCrc(crc, data, length);
#endif
  return ZlibCrc(crc, data, length);
}

}  // namespace ObraCommon
