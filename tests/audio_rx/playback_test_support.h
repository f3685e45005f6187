#pragma once
// Frames whose decoded samples tell where they came from: frame f decodes to the values
// f*400 + 0 ... f*400 + 399, so play block b (frames 2b+1 and 2b+2) holds (2b+1)*400 + k.

#include <cstdint>
#include <vector>

#include "audio_rx/playback.h"
#include "codec/fit_sample_count.h"

namespace vantorel {

inline int TestDecode(int16_t* out, const uint8_t* bytes, int length) {
  for (int i = 0; i < 2 * length; ++i) out[i] = static_cast<int16_t>(bytes[0] * kFrameSamples + i);
  return 2 * length;
}

inline void PlayFrame(Playback& playback, int f) {
  const std::vector<uint8_t> frame(kFrameBytes, static_cast<uint8_t>(f));
  playback.TakeFrame(frame.data(), TestDecode);
}

inline std::vector<int16_t> Block(int b) {
  std::vector<int16_t> samples(kPlayBlockSamples);
  for (int k = 0; k < kPlayBlockSamples; ++k) samples[static_cast<size_t>(k)] = static_cast<int16_t>((2 * b + 1) * kFrameSamples + k);
  return samples;
}

// Block b as it plays with `waiting` buffers in the device.
inline std::vector<int16_t> ShortenedBlock(int b, int waiting) {
  const auto full = Block(b);
  std::vector<int16_t> out(static_cast<size_t>(kPlayBlockSamples - waiting * (waiting + 1)));
  FitSampleCount(out.data(), full.data(), static_cast<int>(out.size()), kPlayBlockSamples);
  return out;
}

}  // namespace vantorel
