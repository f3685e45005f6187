#pragma once
// The echo canceller: takes out of the microphone's sound what the loudspeaker played into
// it, so that the door does not hear itself. 8000 Hz mono 16-bit, in frames of 10 ms
// (80 samples). The work is done by one library, chosen when building (WebRTC's audio
// processing, or SpeexDSP); this class is all the rest of the program sees of it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace vantorel {

inline constexpr int kEchoRate = 8000;
inline constexpr size_t kEchoFrameSamples = 80;  // 10 ms

using EchoFrame = std::span<const int16_t, kEchoFrameSamples>;

struct EchoSettings {
  // From a sample handed to the loudspeaker to the frame of the microphone that first
  // holds its sound, in ms (0 to 500): the devices' buffers and the way through the air.
  // Echoes from there on, up to the engine's tail (tail_ms()), are taken out.
  int delay_ms = 0;
};

class EchoCanceller {
 public:
  explicit EchoCanceller(const EchoSettings& settings = {});
  ~EchoCanceller();
  EchoCanceller(const EchoCanceller&) = delete;
  EchoCanceller& operator=(const EchoCanceller&) = delete;

  // One 10 ms frame: `far` holds the samples handed to the loudspeaker in those 10 ms
  // (zeros when it played nothing), `near` what the microphone took in the same 10 ms.
  // Writes the microphone's sound without the echo to `out`, which may be `near`. Frames
  // go in order, one call per 10 ms, from one thread at a time.
  void Process(EchoFrame far, EchoFrame near, std::span<int16_t, kEchoFrameSamples> out);

  // The library at work ("webrtc-audio-processing 0.3", "speexdsp"), for reports.
  static const char* Engine();
  // How long an echo, after the delay, is taken out, in ms.
  static int tail_ms();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vantorel
