#pragma once
// The microphone: an open input device whose recorded sound is cut into buffers of 382
// samples and stored straight into the capture ring, on the device's own thread, so a busy
// window never delays or drops the talk.

#include <memory>
#include <string>

#include "audio_tx/capture_ring.h"
#include "sound_io/audio_input.h"

namespace vantorel {

class Microphone {
 public:
  explicit Microphone(CaptureRing& ring) : ring_(ring) {}
  ~Microphone() { Close(); }
  Microphone(const Microphone&) = delete;
  Microphone& operator=(const Microphone&) = delete;

  // Opens the input (SDL's default device unless a test says otherwise); on success the
  // ring's write slot and consumed count go to 0. False with a one-line reason in `error`
  // when the device does not open. Opening an open microphone changes nothing.
  bool Open(std::string& error, const AudioInputOpener& open = OpenSdlAudioInput);
  // Closes the device; after it returns nothing more is stored. Harmless when closed.
  void Close();
  bool IsOpen() const { return device_ != nullptr; }

 private:
  // The device's thread: fills the pending buffer and stores each full one.
  void Take(std::span<const int16_t> samples);

  CaptureRing& ring_;
  CaptureBuffer pending_{};  // the device's thread only, while open
  size_t pending_count_ = 0;
  std::unique_ptr<AudioInput> device_;
};

}  // namespace vantorel
