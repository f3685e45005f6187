#pragma once
// Frames whose samples tell where they came from: frame f holds the values f*400 + 0 ...
// f*400 + 399, so play block b (frames 2b+1 and 2b+2) holds (2b+1)*400 + k.

#include <array>
#include <cstdint>
#include <vector>

#include "audio_rx/playback.h"
#include "codec/fit_sample_count.h"

namespace vantorel {

inline void PlayFrame(Playback& playback, int f) {
  std::array<int16_t, kFrameSamples> frame;
  for (int i = 0; i < kFrameSamples; ++i) frame[static_cast<size_t>(i)] = static_cast<int16_t>(f * kFrameSamples + i);
  playback.TakeFrame(frame);
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
