#pragma once
// What the transmit tests share: captured buffers with known sound, storing them as the
// microphone would, and the parts the camera must receive for them.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "audio_tx/capture_ring.h"
#include "audio_tx/transmit_body.h"
#include "codec/fit_sample_count.h"
#include "codec/g726.h"

namespace vantorel {

using Samples = std::vector<int16_t>;

// Buffer `n` of a test talk: 382 samples that differ from every other buffer's.
inline Samples TestBuffer(int n) {
  std::mt19937 random(static_cast<uint32_t>(n) * 7919u + 1u);
  Samples s(kCaptureBufferSamples);
  for (auto& v : s) v = static_cast<int16_t>(static_cast<int>(random() % 20001) - 10000);
  return s;
}

// Stores `buffers` in order, never more than `ahead` buffers ahead of the worker, so that
// none is overwritten before it is sent.
inline void StorePaced(CaptureRing& ring, const std::vector<Samples>& buffers, int ahead = 8) {
  for (const Samples& b : buffers) {
    ring.WaitFor([&](const CaptureStatus& s) { return s.Waiting() < ahead || s.state == TransmitState::kStop; },
                 std::chrono::seconds(30));
    ring.Store(b);
  }
}

// The 248-byte parts a camera must receive for `buffers`, coded with one state throughout.
inline std::vector<std::string> ExpectedParts(const std::vector<Samples>& buffers) {
  G726State encoder;
  G726InitState(encoder);
  std::vector<std::string> parts;
  for (const Samples& b : buffers) {
    int16_t fitted[kTransmitPartSamples];
    FitSampleCount(fitted, b.data(), kTransmitPartSamples, kCaptureBufferSamples);
    uint8_t codes[kTransmitPartCodes];
    G726EncodeBlock(codes, fitted, kTransmitPartSamples, encoder);
    parts.push_back(std::string(kTransmitPartHeader) + std::string(reinterpret_cast<char*>(codes), sizeof codes) +
                    std::string(kTransmitSeparator));
  }
  return parts;
}

inline std::string OpeningPieces() {
  return std::string(kTransmitStatusLine) + std::string(kTransmitContentType) + std::string(kTransmitSeparator);
}

}  // namespace vantorel
