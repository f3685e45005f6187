// The input device on SDL2: SDL calls Record() on its own thread with each recorded piece.

#include <SDL.h>

#include "platform/audio_input.h"
#include "platform/sdl_audio_subsystem.h"

namespace vantorel {

namespace {

class SdlAudioInput : public AudioInput {
 public:
  explicit SdlAudioInput(CaptureCallback callback) : callback_(std::move(callback)) {}
  ~SdlAudioInput() override {
    if (device_id_ == 0) return;
    // Waits for SDL's thread to end: no Record() runs after this.
    auto serial = SdlAudioSubsystem::SerializeCalls();
    SDL_CloseAudioDevice(device_id_);
  }

  bool Open(std::string& error) {
    if (!subsystem_.ok()) {
      error = std::string("no audio system: ") + SDL_GetError();
      return false;
    }
    device_id_ = SdlAudioSubsystem::OpenDevice(true, &SdlAudioInput::OnSdlCallback, this, "SDL audio input");
    if (device_id_ == 0) {
      error = std::string("no audio input device: ") + SDL_GetError();
      return false;
    }
    SDL_PauseAudioDevice(device_id_, 0);  // SDL opens its devices paused
    return true;
  }

 private:
  static void SDLCALL OnSdlCallback(void* self, Uint8* stream, int length) {
    auto* input = static_cast<SdlAudioInput*>(self);
    input->callback_(std::span(reinterpret_cast<const int16_t*>(stream), static_cast<size_t>(length) / 2));
  }

  const CaptureCallback callback_;
  SdlAudioSubsystem subsystem_;
  SDL_AudioDeviceID device_id_ = 0;
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
