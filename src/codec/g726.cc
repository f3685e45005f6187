// G.726 32 kbit/s coder. The arithmetic is the standard's, step for step; only the form is
// chosen for speed: the table searches over powers of two become bit-width instructions,
// the limiters become clamps, sign tests become masks, and the block functions run on a
// local copy of the state that the compiler keeps in registers.
//
// Value ranges that the shortcuts rely on (they follow from the recurrences, starting at
// g726_init_state): 544 <= y <= 5120 and |a[1]| <= 12288; the signal estimate se lies in
// -16384..16383 and a difference magnitude in 0..16320, so the reconstructed signal sr
// stays inside -32704..32703 and never needs 16-bit wrapping.

#include "codec/g726.h"

#include <algorithm>
#include <bit>

#include "codec/g726_tables.h"

namespace vantorel {
namespace {

using namespace g726_tables;

#define G726_INLINE [[gnu::always_inline]] inline

// The index of the first power of two (1, 2, 4, ... 16384) greater than v, for
// 0 <= v < 32768: that is v's bit width.
G726_INLINE int Power2Index(int v) { return std::bit_width(static_cast<unsigned>(v)); }

// A magnitude 1..32767 in the float format: 4-bit exponent, 6-bit mantissa 32..63.
G726_INLINE int FloatOfMagnitude(int m) {
  const int e = Power2Index(m);
  return (e << 6) + ((m << 6) >> e);
}

// Product of a predictor coefficient an (already >> 2) and a float-format value.
G726_INLINE int FloatMult(int an, int srn) {
  const int anmag = an > 0 ? an : (-an) & 0x1FFF;
  const int width = Power2Index(anmag);  // anexp = width - 6
  // The 6-bit mantissa: anmag shifted right by anexp, or left by -anexp when negative.
  const int anmant = anmag == 0 ? 32 : (anmag << 8) >> (width + 2);
  const int wanmant = (anmant * (srn & 63) + 48) >> 4;
  // wanexp = anexp + srn's exponent - 13 lies in -19..10. Shifting left by 20 first makes
  // one right shift of 10..39 serve both directions.
  const int shift = 39 - width - ((srn >> 6) & 15);
  const int retval = static_cast<int>((static_cast<uint64_t>(wanmant) << 20) >> shift) & 0x7FFF;
  const int sign = (an ^ srn) >> 31;  // all ones when the signs differ
  return (retval ^ sign) - sign;
}

struct Estimate {
  int se;   // signal estimate
  int sez;  // its zero-predictor part
};

G726_INLINE Estimate Predict(const G726State& s) {
  int zeros = 0;
  for (int i = 0; i < 6; ++i) zeros += FloatMult(s.b[i] >> 2, s.dq[i]);
  const int sezi = static_cast<int16_t>(zeros);
  const int sei = static_cast<int16_t>(sezi + FloatMult(s.a[1] >> 2, s.sr[1]) +
                                       FloatMult(s.a[0] >> 2, s.sr[0]));
  return {sei >> 1, sezi >> 1};
}

// The quantiser step size y, a mix of the fast and the slow scale factor.
G726_INLINE int StepSize(const G726State& s) {
  const int slow = s.yl >> 6;
  const int dif = s.yu - slow;
  const int mixed = slow + ((dif * (s.ap >> 2) + (dif < 0 ? 63 : 0)) >> 6);
  return s.ap >= 256 ? s.yu : mixed;
}

// Number of decision levels not above dln.
G726_INLINE int DecisionIndex(int dln) {
  int i = 0;
  for (int k = 0; k < 7; ++k) i += dln >= kDecisionLevels[k];
  return i;
}

G726_INLINE int Quantize(int d, int y) {
  const int dqm = d < 0 ? -d : d;
  const int exp = Power2Index(dqm >> 1);
  const int mant = ((dqm << 7) >> exp) & 0x7F;
  const int dln = static_cast<int16_t>((exp << 7) + mant - (y >> 2));
  const int i = DecisionIndex(dln);
  if (d < 0) return 15 - i;
  return i == 0 ? 15 : i;
}

// Magnitude of the quantised difference for a codeword. Codewords 0 and 15 always give 0:
// their log level -2048 stays negative for every step size.
G726_INLINE int DifferenceMagnitude(int code, int y) {
  const int dql = kReconstructLog[code] + (y >> 2);
  const int dex = (dql >> 7) & 15;  // at most 13 for dql >= 0, 1..10 for dql < 0
  const int dqt = 128 + (dql & 127);
  const int mag = (dqt << 7) >> (14 - dex);
  return dql < 0 ? 0 : mag;
}

// Reconstruction and the adaptation of every state field after one codeword. Returns the
// reconstructed signal sr.
G726_INLINE int Adapt(G726State& s, int code, int y, Estimate e) {
  const bool neg = (code & 8) != 0;
  const int mag = DifferenceMagnitude(code, y);
  // dq in sign-and-magnitude form, sign in bit 15, as a signed 16-bit value.
  const int dq = neg ? mag - 32768 : mag;
  const int sr = neg ? e.se - mag : e.se + mag;
  const int dqsez = static_cast<int16_t>(sr + e.sez - e.se);
  const int pk0 = dqsez < 0;

  // Transition detector, from yl before its update.
  const int ylint = s.yl >> 15;
  const int ylfrac = (s.yl >> 10) & 31;
  const int thr2 = ylint > 9 ? 31 << 10 : (32 + ylfrac) << ylint;
  const int dqthr = (thr2 + (thr2 >> 1)) >> 1;
  const bool tr = s.td != 0 && mag > dqthr;

  // Scale factors. wi = W << 5 reaches 35904, so it is computed in 32 bits.
  const int wi = kScaleMultiplier[code] * 32;
  const int yu = std::clamp(y + ((wi - y) >> 5), 544, 5120);
  s.yu = static_cast<int16_t>(yu);
  s.yl += yu + ((-s.yl) >> 6);

  int a2p = 0;
  if (tr) {
    // A modem-like transition: restart the predictor.
    s.a[0] = s.a[1] = 0;
    for (int16_t& bi : s.b) bi = 0;
  } else {
    const bool nonzero = dqsez != 0;
    const int pks1 = pk0 ^ s.pk[0];
    // Pole a[1]. The standard's tiered limits are exactly these clamps; with dqsez = 0
    // the leaked value already lies inside the limits, so clamping always is harmless.
    const int fa1 = pks1 ? s.a[0] : -s.a[0];
    const int a2step = std::clamp(fa1 >> 5, -256, 255) + ((pk0 ^ s.pk[1]) ? -128 : 128);
    a2p = std::clamp(s.a[1] - (s.a[1] >> 7) + (nonzero ? a2step : 0), -12288, 12288);
    s.a[1] = static_cast<int16_t>(a2p);
    // Pole a[0], limited by a[1] to keep the predictor stable.
    const int a1step = nonzero ? (pks1 ? -192 : 192) : 0;
    const int a1ul = 15360 - a2p;
    s.a[0] = static_cast<int16_t>(std::clamp(s.a[0] - (s.a[0] >> 8) + a1step, -a1ul, a1ul));
    // Zeros: leak, then step towards agreement of dq's sign with each stored dq's sign.
    // The sum is stored as 16 bits: a long run of one sign wraps b, as in the standard.
    for (int i = 0; i < 6; ++i) {
      const int agree = 128 - (((dq ^ s.dq[i]) >> 31) & 256);  // +128 or -128
      s.b[i] = static_cast<int16_t>(s.b[i] - (s.b[i] >> 8) + (mag != 0 ? agree : 0));
    }
  }

  for (int i = 5; i > 0; --i) s.dq[i] = s.dq[i - 1];
  s.dq[0] = static_cast<int16_t>((mag != 0 ? FloatOfMagnitude(mag) : 32) - (neg ? 1024 : 0));
  s.sr[1] = s.sr[0];
  const int srmag = sr < 0 ? -sr : sr;
  s.sr[0] = static_cast<int16_t>((sr != 0 ? FloatOfMagnitude(srmag) : 32) - (sr < 0 ? 1024 : 0));
  s.pk[1] = s.pk[0];
  s.pk[0] = static_cast<int16_t>(pk0);
  s.td = !tr && a2p < -11776;

  // Adaptation speed: fast while the signal's rate-of-change averages disagree.
  const int fi = kRateOfChange[code];
  s.dms = static_cast<int16_t>(s.dms + ((fi - s.dms) >> 5));
  s.dml = static_cast<int16_t>(s.dml + (((fi << 2) - s.dml) >> 7));
  if (tr) {
    s.ap = 256;
  } else {
    const int dif = (s.dms << 2) - s.dml;
    const bool fast = y < 1536 || s.td || (dif < 0 ? -dif : dif) >= (s.dml >> 3);
    s.ap = static_cast<int16_t>(s.ap + (((fast ? 512 : 0) - s.ap) >> 4));
  }
  return sr;
}

G726_INLINE int EncodeOne(int sample, G726State& s) {
  const Estimate e = Predict(s);
  const int y = StepSize(s);
  const int d = static_cast<int16_t>((sample >> 2) - e.se);
  const int code = Quantize(d, y);
  Adapt(s, code, y, e);
  return code;
}

G726_INLINE int DecodeOne(int code, G726State& s) {
  const Estimate e = Predict(s);
  const int y = StepSize(s);
  return Adapt(s, code & 15, y, e) << 2;
}

}  // namespace

void g726_init_state(G726State& state) {
  state = G726State{};
  state.yl = 34816;
  state.yu = 544;
  for (int16_t& v : state.dq) v = 32;
  for (int16_t& v : state.sr) v = 32;
}

int g726_encode(int16_t sample, G726State& state) { return EncodeOne(sample, state); }

int g726_decode(int code, G726State& state) { return DecodeOne(code, state); }

size_t g726_encode_block(uint8_t* out, const int16_t* samples, size_t count, G726State& state) {
  G726State s = state;
  size_t n = 0;
  for (size_t k = 0; k + 1 < count; k += 2) {
    const int first = EncodeOne(samples[k], s);
    const int second = EncodeOne(samples[k + 1], s);
    out[n++] = static_cast<uint8_t>(first | second << 4);
  }
  if (count % 2 != 0) out[n++] = static_cast<uint8_t>(EncodeOne(samples[count - 1], s));
  state = s;
  return n;
}

size_t g726_decode_block(int16_t* out, const uint8_t* bytes, size_t length, G726State& state) {
  G726State s = state;
  for (size_t k = 0; k < length; ++k) {
    const int pair = bytes[k];
    out[2 * k] = static_cast<int16_t>(std::clamp(DecodeOne(pair & 15, s), -32768, 32767));
    out[2 * k + 1] = static_cast<int16_t>(std::clamp(DecodeOne(pair >> 4, s), -32768, 32767));
  }
  state = s;
  return 2 * length;
}

}  // namespace vantorel
