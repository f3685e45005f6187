// Decodes the input as packed codes and encodes it as 16-bit samples, in pieces whose
// sizes the input chooses, and checks every result against the plain transcription of
// the standard and every state against the bounds the coder relies on.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec/g726.h"
#include "g726_reference.h"

namespace {

using vantorel::G726State;

void Check(bool ok) {
  if (!ok) std::abort();
}

// A float-format value: sign-extended 11 bits, mantissa 32..63.
bool IsFloat(int16_t v) { return (v >> 10 == 0 || v >> 10 == -1) && (v & 63) >= 32; }

void CheckBounds(const G726State& s) {
  Check(s.yu >= 544 && s.yu <= 5120);
  Check(s.yl >= 34816 && (s.yl >> 6) <= 5120);
  Check(s.a[1] >= -12288 && s.a[1] <= 12288);
  Check(std::abs(s.a[0]) <= 15360 - s.a[1]);
  Check(s.ap >= 0 && s.ap < 512);
  Check(s.dms >= 0 && s.dms <= 3584 && s.dml >= 0 && s.dml <= 4 * 3584);
  Check(s.td <= 1 && (s.pk[0] | s.pk[1]) <= 1 && s.pk[0] >= 0 && s.pk[1] >= 0);
  for (int16_t v : s.dq) Check(IsFloat(v));
  for (int16_t v : s.sr) Check(IsFloat(v));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte sets the piece size (1..32 bytes) for the block calls.
  const size_t piece = (data[0] & 31) + 1;
  const uint8_t* input = data + 1;
  const size_t length = size - 1;

  // Decoding: block calls against the reference one codeword at a time.
  G726State fast, ref;
  vantorel::G726InitState(fast);
  vantorel::reference::InitState(ref);
  std::vector<int16_t> out(2 * piece);
  for (size_t start = 0; start < length; start += piece) {
    const size_t n = length - start < piece ? length - start : piece;
    Check(vantorel::G726DecodeBlock(out.data(), input + start, n, fast) == 2 * n);
    for (size_t i = 0; i < 2 * n; ++i) {
      const int full = vantorel::reference::Decode(input[start + i / 2] >> (4 * (i % 2)), ref);
      Check(out[i] == (full > 32767 ? 32767 : full < -32768 ? -32768 : full));
    }
    Check(fast == ref);
    CheckBounds(fast);
  }

  // Encoding: the bytes as little-endian samples, in pieces of `piece` samples (odd
  // pieces end in a byte of their own).
  vantorel::G726InitState(fast);
  vantorel::reference::InitState(ref);
  const size_t count = length / 2;
  std::vector<int16_t> samples(count);
  for (size_t i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(input[2 * i] | input[2 * i + 1] << 8);
  std::vector<uint8_t> codes((piece + 1) / 2);
  for (size_t start = 0; start < count; start += piece) {
    const size_t n = count - start < piece ? count - start : piece;
    Check(vantorel::G726EncodeBlock(codes.data(), samples.data() + start, n, fast) == (n + 1) / 2);
    for (size_t i = 0; i < n; ++i) {
      Check(((codes[i / 2] >> (4 * (i % 2))) & 15) == vantorel::reference::Encode(samples[start + i], ref));
    }
    if (n % 2 != 0) Check(codes[n / 2] >> 4 == 0);
    Check(fast == ref);
    CheckBounds(fast);
  }
  return 0;
}
