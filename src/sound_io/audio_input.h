#pragma once
// The sound input: records from the moment it opens and hands every recorded piece to a
// callback on the device's own thread. Closing is destruction; once the destructor has
// returned, the callback is not running and will not run again. Implemented on SDL2
// (sdl_audio_input.cc) and by test doubles.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "sound_io/sound_format.h"

namespace vantorel {

class AudioInput {
 public:
  virtual ~AudioInput() = default;
};

// Runs on the device's thread for each recorded piece, in order; must not block.
using CaptureCallback = std::function<void(std::span<const int16_t> samples)>;

// Opens an input that calls `callback`; null with a one-line reason in `error` when it cannot.
using AudioInputOpener = std::function<std::unique_ptr<AudioInput>(CaptureCallback callback, std::string& error)>;

// The SDL default capture device, 8000 Hz mono 16-bit. SDL_AUDIODRIVER selects the driver
// ("dummy" records silence, "disk" reads SDL_DISKAUDIOFILEIN).
std::unique_ptr<AudioInput> OpenSdlAudioInput(CaptureCallback callback, std::string& error);

}  // namespace vantorel
