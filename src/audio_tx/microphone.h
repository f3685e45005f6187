#pragma once
// The microphone: an open input device whose recorded sound is cut into buffers of 382
// samples and stored straight into the capture ring, on the device's own thread, so a busy
// window never delays or drops the talk.
//
// With a far end (what playback hands to the loudspeaker), the sound first goes through the
// echo canceller in frames of 10 ms: for each frame recorded, as many samples are taken
// from the far end, so the two advance together in real time.

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "audio_tx/capture_ring.h"
#include "audio_tx/echo_canceller.h"
#include "sound_io/audio_input.h"
#include "sound_io/far_end_ring.h"

namespace vantorel {

// From a sample written to the output to the microphone frame that hears it, besides the
// output's own queue (which the far end's fill already follows): the output's and the
// input's device buffers, 256 samples each.
inline constexpr int kTalkEchoDelayMs = 64;

class Microphone {
 public:
  explicit Microphone(CaptureRing& ring) : ring_(ring) {}
  ~Microphone() { Close(); }
  Microphone(const Microphone&) = delete;
  Microphone& operator=(const Microphone&) = delete;

  // Opens the input (SDL's default device unless a test says otherwise); on success the
  // ring's write slot and consumed count go to 0. With `far_end`, a fresh echo canceller
  // (`echo`) cleans the sound of it, the far end emptied first. False with a one-line
  // reason in `error` when the device does not open. Opening an open microphone changes
  // nothing.
  bool Open(std::string& error, const AudioInputOpener& open = OpenSdlAudioInput, FarEndRing* far_end = nullptr,
            const EchoSettings& echo = {});
  // Closes the device; after it returns nothing more is stored. Harmless when closed.
  void Close();
  bool IsOpen() const { return device_ != nullptr; }

  // Any thread: while muted, silence is stored in place of the recorded sound (the buffers
  // keep coming, and the canceller keeps following the room).
  void SetMuted(bool muted) { muted_.store(muted, std::memory_order_relaxed); }

 private:
  // The device's thread: through the canceller when there is one, then Store.
  void Take(std::span<const int16_t> samples);
  // The device's thread: fills the pending buffer and stores each full one.
  void Store(std::span<const int16_t> samples);

  CaptureRing& ring_;
  std::atomic<bool> muted_{false};
  // The device's thread only, while open:
  CaptureBuffer pending_{};
  size_t pending_count_ = 0;
  FarEndRing* far_end_ = nullptr;
  std::unique_ptr<EchoCanceller> canceller_;
  std::array<int16_t, kEchoFrameSamples> near_{};
  std::array<int16_t, kEchoFrameSamples> far_{};
  size_t near_count_ = 0;
  std::unique_ptr<AudioInput> device_;  // last: closes before the rest goes
};

}  // namespace vantorel
