#pragma once
// The sample format of both sound devices.

namespace vantorel {

// PCM, 1 channel, 8000 samples per second, 16-bit signed, native order.
constexpr int kAudioSampleRate = 8000;
constexpr int kAudioBytesPerSample = 2;

}  // namespace vantorel
