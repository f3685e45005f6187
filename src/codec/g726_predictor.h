#pragma once
// Internal to the coder: the zero predictor, the larger half of the coder's work. Each
// sample multiplies the six zero coefficients b[] by the last six quantised differences
// dq[] with the standard's float multiply, sums the products, and afterwards updates b[]
// and moves the history along. It has two forms with the same interface and the same
// results:
// - with SSE2 (every x86-64), all six at once in 16-bit lanes;
// - otherwise (or with VANTOREL_G726_PORTABLE defined), one at a time in plain C++.
// The two pole terms stay scalar in g726.cc: they carry the signal from one sample to the
// next, where a short path counts more than the work.

#include <cstdint>

#include "codec/g726.h"

#if defined(__SSE2__) && !defined(VANTOREL_G726_PORTABLE)
#define VANTOREL_G726_SSE2 1
#include <emmintrin.h>
#endif

#define G726_INLINE [[gnu::always_inline]] inline

namespace vantorel::g726_predictor {

// The bit width of v >= 0, without a branch for zero: 2v + 1 has its top bit at v's width.
// (clz ^ 31 is the index of the top bit, one bit-scan instruction.)
G726_INLINE int BitWidth(unsigned v) { return __builtin_clz(2 * v + 1) ^ 31; }

// The top six bits of a magnitude of bit width e, which always has bit 5 set, or 32 for
// zero: setting bit 5 covers both without a branch.
G726_INLINE int Mantissa(int mag, int e) { return ((mag << 6) >> e) | 32; }

// A magnitude 0..32767 with a sign mask (0 or -1) in the 11-bit float format: exponent =
// bit width, mantissa = the top six bits (32 for zero, which gives plus or minus zero),
// sign bit 10 extended through bit 15.
G726_INLINE int16_t PackFloat(int mag, int sign) {
  const int e = BitWidth(static_cast<unsigned>(mag));
  return static_cast<int16_t>((e << 6) + Mantissa(mag, e) + (sign & -1024));
}

// A float-format value split for the multiplier and held in one 64-bit word, so that
// moving it along is one move: bits 0-31 the 6-bit mantissa << 16, bits 32-37
// 39 - exponent, bits 48-63 the sign.
using Float = uint64_t;

G726_INLINE Float MakeFloat(int mant, int exp, int sign) {
  return static_cast<uint64_t>(static_cast<uint32_t>(mant) << 16) | static_cast<uint64_t>(39 - exp) << 32 |
         (static_cast<uint64_t>(sign) << 48);
}
// From a magnitude 0..32767 and a sign mask, like PackFloat.
G726_INLINE Float MakeFloat(int mag, int sign) {
  const int e = BitWidth(static_cast<unsigned>(mag));
  return MakeFloat(Mantissa(mag, e), e, sign);
}
G726_INLINE Float SplitFloat(int16_t v) { return MakeFloat(v & 63, (v >> 6) & 15, v >> 15); }
G726_INLINE int FloatSign(Float f) { return static_cast<int>(static_cast<int64_t>(f) >> 63); }
G726_INLINE int16_t JoinFloat(Float f) {
  const int exp = 39 - (static_cast<int>(f >> 32) & 63);
  return static_cast<int16_t>((exp << 6) + static_cast<int>(static_cast<uint32_t>(f) >> 16) + (FloatSign(f) & -1024));
}

// The standard's float multiply of coefficient c >> 2 by a float-format value:
// wanmant = (anmant * mantissa + 48) >> 4, shifted left by wanexp = anexp + exponent - 13
// (keeping 15 bits) or right when negative. Shifting wanmant << 20 right by 20 - wanexp
// (11..39) serves both directions in one 64-bit shift.
G726_INLINE int FloatMult(int c, Float f) {
  const int an = c >> 2;
  const int anmag = (an < 0 ? -an : an) & 0x1FFF;
  const int width = BitWidth(static_cast<unsigned>(anmag));  // anexp = width - 6
  const uint32_t anmant = static_cast<uint32_t>(Mantissa(anmag, width));
  const uint32_t wanmant20 = (anmant * static_cast<uint32_t>(f) + (48u << 16)) & ~0xFFFFFu;
  const int shift = (static_cast<int>(f >> 32) - width) & 63;  // >= 11: no wrap
  const int retval = static_cast<int>((static_cast<uint64_t>(wanmant20) >> shift) & 0x7FFF);
  const int sign = (c >> 31) ^ FloatSign(f);
  return (retval ^ sign) - sign;
}

#if VANTOREL_G726_SSE2

// Lanes 0-5: b[0..5] in coef and dq[0..5] in float format in hist. Lanes 6 and 7 take
// whatever the updates leave there; they are left out of the sum.
struct ZeroPredictor {
  __m128i coef;
  __m128i hist;
};

G726_INLINE ZeroPredictor LoadZeros(const G726State& s) {
  return {_mm_setr_epi16(s.b[0], s.b[1], s.b[2], s.b[3], s.b[4], s.b[5], 0, 0),
          _mm_setr_epi16(s.dq[0], s.dq[1], s.dq[2], s.dq[3], s.dq[4], s.dq[5], 32, 32)};
}

G726_INLINE void StoreZeros(const ZeroPredictor& p, G726State& s) {
  alignas(16) int16_t coef[8], hist[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(coef), p.coef);
  _mm_store_si128(reinterpret_cast<__m128i*>(hist), p.hist);
  for (int i = 0; i < 6; ++i) {
    s.b[i] = coef[i];
    s.dq[i] = hist[i];
  }
}

// The float multiply in every lane: anmant and the exponent of b >> 2 come from an exact
// conversion to single precision; wanmant = (anmant * mant + 48) >> 4 is shifted by
// wanexp = anexp + exp - 13 by adding to a float's exponent, and truncated back.
G726_INLINE int ZeroSum(const ZeroPredictor& p) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i b = p.coef;
  const __m128i v = p.hist;
  // |b >> 2| modulo 8192, as the standard takes it.
  const __m128i bsign = _mm_srai_epi16(b, 15);
  const __m128i an = _mm_srai_epi16(b, 2);
  const __m128i anmag =
      _mm_and_si128(_mm_sub_epi16(_mm_xor_si128(an, bsign), bsign), _mm_set1_epi16(0x1FFF));
  // Single-precision bits >> 18: the biased exponent (126 + bit width) above the five
  // bits that follow the leading one; 0 for zero.
  const __m128i lo = _mm_srli_epi32(_mm_castps_si128(_mm_cvtepi32_ps(_mm_unpacklo_epi16(anmag, zero))), 18);
  const __m128i hi = _mm_srli_epi32(_mm_castps_si128(_mm_cvtepi32_ps(_mm_unpackhi_epi16(anmag, zero))), 18);
  const __m128i top = _mm_packs_epi32(lo, hi);
  const __m128i anmant = _mm_or_si128(_mm_and_si128(top, _mm_set1_epi16(31)), _mm_set1_epi16(32));
  const __m128i width = _mm_subs_epu16(_mm_srli_epi16(top, 5), _mm_set1_epi16(126));
  const __m128i mant = _mm_and_si128(v, _mm_set1_epi16(63));
  const __m128i exp = _mm_and_si128(_mm_srli_epi16(v, 6), _mm_set1_epi16(15));
  // 16 * wanmant, at least 48, at most 4016.
  const __m128i wanmant16 = _mm_and_si128(
      _mm_add_epi16(_mm_mullo_epi16(anmant, mant), _mm_set1_epi16(48)), _mm_set1_epi16(~15));
  // 2^(wanexp - 4) as an addend to the upper half of a float: (width - 6 + exp - 13 - 4) << 7.
  const __m128i scale = _mm_slli_epi16(_mm_add_epi16(_mm_add_epi16(width, exp), _mm_set1_epi16(-23)), 7);
  // wanmant16 * 2^(wanexp - 4), truncated: the shifted wanmant, then its low 15 bits.
  const __m128i low15 = _mm_set1_epi32(0x7FFF);
  const __m128i rlo = _mm_and_si128(
      _mm_cvttps_epi32(_mm_castsi128_ps(_mm_add_epi16(
          _mm_castps_si128(_mm_cvtepi32_ps(_mm_unpacklo_epi16(wanmant16, zero))), _mm_unpacklo_epi16(zero, scale)))),
      low15);
  const __m128i rhi = _mm_and_si128(
      _mm_cvttps_epi32(_mm_castsi128_ps(_mm_add_epi16(
          _mm_castps_si128(_mm_cvtepi32_ps(_mm_unpackhi_epi16(wanmant16, zero))), _mm_unpackhi_epi16(zero, scale)))),
      low15);
  const __m128i retval = _mm_packs_epi32(rlo, rhi);
  // Negative when the signs of the coefficient and the value differ.
  const __m128i sign = _mm_srai_epi16(_mm_xor_si128(b, v), 15);
  const __m128i products = _mm_sub_epi16(_mm_xor_si128(retval, sign), sign);
  // Pairwise sums of lanes 0-5; lanes 6 and 7 weigh 0.
  const __m128i pairs = _mm_madd_epi16(products, _mm_setr_epi16(1, 1, 1, 1, 1, 1, 0, 0));
  const __m128i halves = _mm_add_epi32(pairs, _mm_shuffle_epi32(pairs, 0x4E));
  return _mm_cvtsi128_si32(_mm_add_epi32(halves, _mm_shuffle_epi32(halves, 0xB1)));
}

// Each b[i] leaks by 1/256 and, when the difference is not zero, steps by 128 towards
// agreement of its sign with dq[i]'s: +128 when dq and dq[i] have the same sign. b is
// kept to 16 bits, so a long run of one sign wraps it, as in the standard. dq_sign is 0
// or -1.
G726_INLINE void UpdateZeros(ZeroPredictor& p, int dq_sign, bool dq_nonzero) {
  const __m128i differ = _mm_srai_epi16(_mm_xor_si128(p.hist, _mm_set1_epi16(static_cast<int16_t>(dq_sign))), 15);
  const __m128i step = _mm_sub_epi16(_mm_set1_epi16(128), _mm_and_si128(differ, _mm_set1_epi16(256)));
  const __m128i leaked = _mm_sub_epi16(p.coef, _mm_srai_epi16(p.coef, 8));
  p.coef = _mm_add_epi16(leaked, _mm_and_si128(step, _mm_set1_epi16(static_cast<int16_t>(-dq_nonzero))));
}

G726_INLINE void ResetZeros(ZeroPredictor& p) { p.coef = _mm_setzero_si128(); }

// dq[5..1] = dq[4..0], dq[0] = the new difference in float format.
G726_INLINE void PushDifference(ZeroPredictor& p, int16_t dq) {
  p.hist = _mm_insert_epi16(_mm_slli_si128(p.hist, 2), dq, 0);
}

#else  // portable

struct ZeroPredictor {
  int b[6];
  Float dq[6];
};

G726_INLINE ZeroPredictor LoadZeros(const G726State& s) {
  ZeroPredictor p;
  for (int i = 0; i < 6; ++i) {
    p.b[i] = s.b[i];
    p.dq[i] = SplitFloat(s.dq[i]);
  }
  return p;
}

G726_INLINE void StoreZeros(const ZeroPredictor& p, G726State& s) {
  for (int i = 0; i < 6; ++i) {
    s.b[i] = static_cast<int16_t>(p.b[i]);
    s.dq[i] = JoinFloat(p.dq[i]);
  }
}

G726_INLINE int ZeroSum(const ZeroPredictor& p) {
  int sum = 0;
  for (int i = 0; i < 6; ++i) sum += FloatMult(p.b[i], p.dq[i]);
  return sum;
}

G726_INLINE void UpdateZeros(ZeroPredictor& p, int dq_sign, bool dq_nonzero) {
  const int nonzero = -static_cast<int>(dq_nonzero);
  for (int i = 0; i < 6; ++i) {
    const int step = (128 - ((dq_sign ^ FloatSign(p.dq[i])) & 256)) & nonzero;
    p.b[i] = static_cast<int16_t>(p.b[i] - (p.b[i] >> 8) + step);
  }
}

G726_INLINE void ResetZeros(ZeroPredictor& p) {
  for (int& bi : p.b) bi = 0;
}

G726_INLINE void PushDifference(ZeroPredictor& p, int16_t dq) {
  for (int i = 5; i > 0; --i) p.dq[i] = p.dq[i - 1];
  p.dq[0] = SplitFloat(dq);
}

#endif

}  // namespace vantorel::g726_predictor
