#pragma once
// G.726 ADPCM at 32 kbit/s (the former G.721): 16-bit linear samples at 8000 Hz to and
// from 4-bit codewords, bit-exact with the standard's integer arithmetic. The camera runs
// the same recurrences, so its coder and ours adapt in lockstep; any deviation in the
// arithmetic ruins the sound within a few hundred samples.
//
// One G726State per coding direction. It is a plain value owned by the caller: no
// allocation, no global state, so separate states may run on separate threads.

#include <cstddef>
#include <cstdint>

namespace vantorel {

// The adaptive state. Field names are the standard's signal names. dq[] and sr[] hold
// values in the coder's 11-bit float format (bit 10 sign, bits 6-9 exponent, bits 0-5
// mantissa), sign-extended to 16 bits: 32 is plus zero, -992 (0xFC20) minus zero.
struct G726State {
  int32_t yl;     // locked (slow) quantiser scale factor
  int16_t yu;     // unlocked (fast) quantiser scale factor, 544..5120
  int16_t dms;    // short-term average of F
  int16_t dml;    // long-term average of F
  int16_t ap;     // adaptation speed control
  int16_t a[2];   // pole predictor coefficients; a[1] stays within -12288..12288
  int16_t b[6];   // zero predictor coefficients
  int16_t pk[2];  // signs of the last two partial reconstructions (1 = negative)
  int16_t dq[6];  // last six quantised differences, float format
  int16_t sr[2];  // last two reconstructed signal values, float format
  uint8_t td;     // tone detect flag

  bool operator==(const G726State&) const = default;
};

// Codewords of two consecutive samples share one byte. Which half holds the earlier one
// differs between the content types cameras use: "audio/32KADPCM" puts it in bits 0-3 (as
// RFC 3551 does, FFmpeg's "g726le"), "audio/G726-32" in bits 4-7 (FFmpeg's "g726").
inline constexpr size_t kG726SamplesPerByte = 2;
enum class G726Packing { kEarlierLow, kEarlierHigh };

// Sets every field to its initial value. Once per session, before the first sample.
void G726InitState(G726State& state);

// One sample to its codeword (0..15); advances the state.
int G726Encode(int16_t sample, G726State& state);

// One codeword (only its low four bits count) to the linear sample, four times the
// reconstructed signal; advances the state. The value may exceed the 16-bit range (up to
// about +-130800) for very loud sound; G726DecodeBlock clamps it.
int G726Decode(int code, G726State& state);

// Encodes `count` samples into packed bytes and returns the number of bytes written,
// (count + 1) / 2: an odd count puts its last codeword into the earlier half of one more
// byte, whose other half is 0. `out` must hold that many bytes.
size_t G726EncodeBlock(uint8_t* out, const int16_t* samples, size_t count, G726State& state,
                       G726Packing packing = G726Packing::kEarlierLow);

// Decodes `length` packed bytes into 2 * length samples and returns that count. Each value
// is limited to -32768..32767, so loud peaks flatten instead of wrapping into full-scale
// clicks; the state is the same as G726Decode's.
size_t G726DecodeBlock(int16_t* out, const uint8_t* bytes, size_t length, G726State& state,
                       G726Packing packing = G726Packing::kEarlierLow);

}  // namespace vantorel
