#include "platform/sdl_audio_subsystem.h"

#include <SDL.h>

#include "platform/log.h"

namespace vantorel {

namespace {

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

}  // namespace vantorel
