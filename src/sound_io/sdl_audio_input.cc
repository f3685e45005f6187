// The input device on SDL2: SDL calls Record() on its own thread with each recorded piece.

#include <SDL.h>

#include "sound_io/audio_input.h"
#include "sound_io/sdl_audio_subsystem.h"

namespace vantorel {

namespace {

class SdlAudioInput : public AudioInput {
 public:
  explicit SdlAudioInput(CaptureCallback callback) : callback_(std::move(callback)) {}
  bool Open(std::string& error) { return device_.Open(true, &SdlAudioInput::OnSdlCallback, this, error); }

 private:
  static void SDLCALL OnSdlCallback(void* self, Uint8* stream, int length) {
    auto* input = static_cast<SdlAudioInput*>(self);
    input->callback_(std::span(reinterpret_cast<const int16_t*>(stream), static_cast<size_t>(length) / 2));
  }

  const CaptureCallback callback_;
  SdlAudioDevice device_;  // last: closes first
};

}  // namespace

std::unique_ptr<AudioInput> OpenSdlAudioInput(CaptureCallback callback, std::string& error) {
  if (!callback) {
    error = "no capture callback";
    return nullptr;
  }
  auto input = std::make_unique<SdlAudioInput>(std::move(callback));
  if (!input->Open(error)) return nullptr;
  return input;
}

}  // namespace vantorel
