// G.726 32 kbit/s coder. The arithmetic is the standard's, step for step; only the form is
// chosen for speed:
// - the coding runs on a working copy of the state (Work) with plain int fields, which
//   the block functions keep in registers and write back once per block;
// - the zero predictor's six float multiplies and its update run side by side
//   (g726_predictor.h);
// - table searches over powers of two become bit-scan instructions or small tables
//   computed at compile time, the limiters become clamps, sign tests become masks.
//
// Value ranges that the shortcuts rely on (they follow from the recurrences, starting at
// G726InitState): 544 <= y <= 5120 and |a[1]| <= 12288; the signal estimate se lies in
// -16384..16383 and a difference magnitude in 0..16320, so the reconstructed signal sr
// stays inside -32704..32703 and never needs 16-bit wrapping. Table indexes are clamped
// all the same, so that even a state that did not come from G726InitState cannot make
// the coder read outside a table.

#include "codec/g726.h"

#include <algorithm>

#include "codec/g726_predictor.h"
#include "codec/g726_tables.h"

namespace vantorel {
namespace {

using namespace g726_tables;
using namespace g726_predictor;

// The state while coding: the scalar fields as plain ints, the pole predictor's values
// split for the multiplier, the zero predictor in the form that g726_predictor.h
// computes with.
struct Work {
  int yl, yu, dms, dml, ap;
  int a[2];
  int pk[2];
  int td;
  Float sr[2];
  ZeroPredictor zeros;
};

G726_INLINE Work Load(const G726State& s) {
  return {s.yl,  s.yu, s.dms, s.dml, s.ap, {s.a[0], s.a[1]}, {s.pk[0], s.pk[1]},
          s.td, {SplitFloat(s.sr[0]), SplitFloat(s.sr[1])}, LoadZeros(s)};
}

G726_INLINE void Store(const Work& w, G726State& s) {
  s.yl = w.yl;
  s.yu = static_cast<int16_t>(w.yu);
  s.dms = static_cast<int16_t>(w.dms);
  s.dml = static_cast<int16_t>(w.dml);
  s.ap = static_cast<int16_t>(w.ap);
  for (int i = 0; i < 2; ++i) {
    s.a[i] = static_cast<int16_t>(w.a[i]);
    s.pk[i] = static_cast<int16_t>(w.pk[i]);
    s.sr[i] = JoinFloat(w.sr[i]);
  }
  StoreZeros(w.zeros, s);
  s.td = static_cast<uint8_t>(w.td);
}

struct Estimate {
  int se;   // signal estimate
  int sez;  // its zero-predictor part
};

G726_INLINE Estimate Predict(const Work& w) {
  const int sezi = static_cast<int16_t>(ZeroSum(w.zeros));
  const int sei = static_cast<int16_t>(sezi + FloatMult(w.a[1], w.sr[1]) + FloatMult(w.a[0], w.sr[0]));
  return {sei >> 1, sezi >> 1};
}

// The quantiser step size y, a mix of the fast and the slow scale factor.
G726_INLINE int StepSize(const Work& w) {
  const int slow = w.yl >> 6;
  const int dif = w.yu - slow;
  const int mixed = slow + ((dif * (w.ap >> 2) + ((dif >> 31) & 63)) >> 6);
  return w.ap >= 256 ? w.yu : mixed;
}

// The codeword for difference d at step size y: log2 of |d| with a 7-bit fraction, less
// y / 4, looked up among the decision levels.
G726_INLINE int Quantize(int d, int y) {
  const int dqm = d < 0 ? -d : d;
  const int exp = BitWidth(static_cast<unsigned>(dqm >> 1));
  const int mant = ((dqm << 7) >> exp) & 0x7F;
  const int dln = (exp << 7) + mant - (y >> 2);
  return kQuantizerCode[d < 0][std::clamp(dln, kMinDln, kMaxDln) - kMinDln];
}

// Magnitude of the quantised difference for a codeword. Codewords 0 and 15 always give 0:
// their log level -2048 stays negative for every step size.
G726_INLINE int DifferenceMagnitude(int code, int y) {
  const int dql = kReconstructLog[code] + (y >> 2);
  const int dex = (dql >> 7) & 15;  // at most 13 for dql >= 0, 1..10 for dql < 0
  const int dqt = 128 + (dql & 127);
  const int mag = (dqt << 7) >> (14 - dex);
  return mag & ~(dql >> 31);
}

// Reconstruction and the adaptation of every state field after one codeword. Returns the
// reconstructed signal sr.
G726_INLINE int Adapt(Work& w, int code, int y, Estimate e) {
  const int neg = -(code >> 3);  // the sign of dq as a mask
  const int mag = DifferenceMagnitude(code, y);
  const int sr = e.se + ((mag ^ neg) - neg);
  const int dqsez = static_cast<int16_t>(sr + e.sez - e.se);
  const int pk0 = dqsez < 0;

  // Transition detector, from yl before its update.
  const int ylint = w.yl >> 15;
  const int ylfrac = (w.yl >> 10) & 31;
  const int thr2 = ylint > 9 ? 31 << 10 : (32 + ylfrac) << ylint;
  const int dqthr = (thr2 + (thr2 >> 1)) >> 1;
  const bool tr = (w.td != 0) & (mag > dqthr);

  // Scale factors. wi = W << 5 reaches 35904, so it is computed in 32 bits.
  const int wi = kScaleMultiplier[code] * 32;
  w.yu = std::clamp(y + ((wi - y) >> 5), 544, 5120);
  w.yl += w.yu + ((-w.yl) >> 6);

  int a2p = 0;
  if (tr) {
    // A modem-like transition: restart the predictor.
    w.a[0] = w.a[1] = 0;
    ResetZeros(w.zeros);
  } else {
    // Masks and arithmetic instead of conditions: the signs here change from sample to
    // sample, and branches on them would be mispredicted half the time.
    const int nonzero = -(dqsez != 0);
    const int pks1 = pk0 ^ w.pk[0];
    // Pole a[1]. The standard's tiered limits are exactly these clamps; with dqsez = 0
    // the leaked value already lies inside the limits, so clamping always is harmless.
    const int same = pks1 - 1;  // -1 when pk0 equals pk[0]: fa1 = -a[0]
    const int fa1 = (w.a[0] ^ same) - same;
    const int a2step = std::clamp(fa1 >> 5, -256, 255) + 128 - ((pk0 ^ w.pk[1]) << 8);
    a2p = std::clamp(w.a[1] - (w.a[1] >> 7) + (a2step & nonzero), -12288, 12288);
    w.a[1] = a2p;
    // Pole a[0], limited by a[1] to keep the predictor stable.
    const int a1step = (192 - 384 * pks1) & nonzero;
    const int a1ul = 15360 - a2p;
    w.a[0] = std::clamp(w.a[0] - (w.a[0] >> 8) + a1step, -a1ul, a1ul);
    UpdateZeros(w.zeros, neg, mag != 0);
  }
  PushDifference(w.zeros, PackFloat(mag, neg));
  w.sr[1] = w.sr[0];
  w.sr[0] = MakeFloat(sr < 0 ? -sr : sr, sr >> 31);
  w.pk[1] = w.pk[0];
  w.pk[0] = pk0;
  w.td = !tr & (a2p < -11776);

  // Adaptation speed: fast while the signal's rate-of-change averages disagree.
  const int fi = kRateOfChange[code];
  w.dms += (fi - w.dms) >> 5;
  w.dml += ((fi << 2) - w.dml) >> 7;
  if (tr) {
    w.ap = 256;
  } else {
    const int dif = (w.dms << 2) - w.dml;
    const int fast = (y < 1536) | w.td | ((dif < 0 ? -dif : dif) >= (w.dml >> 3));
    w.ap += ((fast << 9) - w.ap) >> 4;
  }
  return sr;
}

G726_INLINE int EncodeOne(int sample, Work& w) {
  const Estimate e = Predict(w);
  const int y = StepSize(w);
  const int d = (sample >> 2) - e.se;  // within -24575..24575
  const int code = Quantize(d, y);
  Adapt(w, code, y, e);
  return code;
}

G726_INLINE int DecodeOne(int code, Work& w) {
  const Estimate e = Predict(w);
  const int y = StepSize(w);
  return Adapt(w, code & 15, y, e) << 2;
}

G726_INLINE int16_t Clamp16(int v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

}  // namespace

void G726InitState(G726State& state) {
  state = G726State{};
  state.yl = 34816;
  state.yu = 544;
  for (int16_t& v : state.dq) v = 32;
  for (int16_t& v : state.sr) v = 32;
}

int G726Encode(int16_t sample, G726State& state) {
  Work w = Load(state);
  const int code = EncodeOne(sample, w);
  Store(w, state);
  return code;
}

int G726Decode(int code, G726State& state) {
  Work w = Load(state);
  const int value = DecodeOne(code, w);
  Store(w, state);
  return value;
}

size_t G726EncodeBlock(uint8_t* out, const int16_t* samples, size_t count, G726State& state, G726Packing packing) {
  const int first_shift = packing == G726Packing::kEarlierLow ? 0 : 4;
  const int second_shift = 4 - first_shift;
  Work w = Load(state);
  size_t n = 0;
  for (size_t k = 0; k + 1 < count; k += 2) {
    const int first = EncodeOne(samples[k], w);
    const int second = EncodeOne(samples[k + 1], w);
    out[n++] = static_cast<uint8_t>(first << first_shift | second << second_shift);
  }
  if (count % 2 != 0) out[n++] = static_cast<uint8_t>(EncodeOne(samples[count - 1], w) << first_shift);
  Store(w, state);
  return n;
}

size_t G726DecodeBlock(int16_t* out, const uint8_t* bytes, size_t length, G726State& state, G726Packing packing) {
  const int first_shift = packing == G726Packing::kEarlierLow ? 0 : 4;
  const int second_shift = 4 - first_shift;
  Work w = Load(state);
  for (size_t k = 0; k < length; ++k) {
    out[2 * k] = Clamp16(DecodeOne(bytes[k] >> first_shift & 15, w));
    out[2 * k + 1] = Clamp16(DecodeOne(bytes[k] >> second_shift & 15, w));
  }
  Store(w, state);
  return 2 * length;
}

}  // namespace vantorel
