#include "sound_io/sdl_audio_subsystem.h"

#include <SDL.h>

#include "sound_io/sound_format.h"
#include "runtime/log.h"

namespace vantorel {

namespace {

// SDL's audio subsystem and device table are process-wide, so their guards are too.
std::mutex g_count_mutex;
int g_holders = 0;
std::mutex g_call_mutex;

}  // namespace

SdlAudioSubsystem::SdlAudioSubsystem() {
  std::lock_guard lock(g_count_mutex);
  if (g_holders == 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    LogFailure("SDL audio: %s", SDL_GetError());
    return;
  }
  ++g_holders;
  ok_ = true;
}

SdlAudioSubsystem::~SdlAudioSubsystem() {
  if (!ok_) return;
  std::lock_guard lock(g_count_mutex);
  if (--g_holders == 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

std::unique_lock<std::mutex> SdlAudioSubsystem::SerializeCalls() { return std::unique_lock(g_call_mutex); }

SDL_AudioDeviceID SdlAudioSubsystem::OpenDevice(bool capture, SDL_AudioCallback callback, void* userdata,
                                                const char* what) {
  SDL_AudioSpec want{};
  want.freq = kAudioSampleRate;
  want.format = AUDIO_S16SYS;
  want.channels = 1;
  want.samples = 256;
  want.callback = callback;
  want.userdata = userdata;
  SDL_AudioDeviceID id = 0;
  {
    auto serial = SerializeCalls();
    // Both streams are a call's: a sound server that cancels echo where it is set up can
    // tell them by this role. SDL 2.26 hands it to PipeWire (media.role) through its
    // pipewire driver; its PulseAudio driver does not, there PULSE_PROP='media.role=phone'
    // does (README.md). SDL_AUDIO_DEVICE_STREAM_ROLE in the environment wins.
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_ROLE, "phone");
    id = SDL_OpenAudioDevice(nullptr, capture ? 1 : 0, &want, nullptr, 0);
  }
  if (id == 0) LogFailure("%s: %s", what, SDL_GetError());
  return id;
}

SdlAudioDevice::~SdlAudioDevice() {
  if (id_ == 0) return;
  auto serial = SdlAudioSubsystem::SerializeCalls();
  SDL_CloseAudioDevice(id_);
}

bool SdlAudioDevice::Open(bool capture, SDL_AudioCallback callback, void* userdata, std::string& error) {
  if (!subsystem_.ok()) {
    error = std::string("no audio system: ") + SDL_GetError();
    return false;
  }
  id_ = SdlAudioSubsystem::OpenDevice(capture, callback, userdata, capture ? "SDL audio input" : "SDL audio output");
  if (id_ == 0) {
    error = std::string(capture ? "no audio input device: " : "no audio output device: ") + SDL_GetError();
    return false;
  }
  SDL_PauseAudioDevice(id_, 0);  // SDL opens its devices paused
  return true;
}

}  // namespace vantorel
