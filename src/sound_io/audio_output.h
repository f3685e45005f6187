#pragma once
// The sound output: takes samples and plays them back to back, and says how many of the
// pieces it was given it still holds (what playback's shortening rule needs). Closing is
// destruction. Implemented on SDL2 (sdl_audio_output.cc) and by test doubles.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "sound_io/sound_format.h"

namespace vantorel {

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // Copies `samples` into the queue, after the pieces queued before. False when the
  // device cannot take them (it is gone, or 64 pieces or 6.4 s already wait); nothing is
  // queued then.
  virtual bool Write(std::span<const int16_t> samples) = 0;
  // Pieces written and not yet played to their end.
  virtual int PendingWrites() const = 0;
};

// Opens an output; null with a one-line reason in `error` when it cannot.
using AudioOutputOpener = std::function<std::unique_ptr<AudioOutput>(std::string& error)>;

// The SDL default output device, 8000 Hz mono 16-bit, playing silence while nothing is
// queued. SDL_AUDIODRIVER selects the driver ("dummy", "disk" with SDL_DISKAUDIOFILE, ...).
std::unique_ptr<AudioOutput> OpenSdlAudioOutput(std::string& error);

// For a thread of our own that has opened or closed a device and is about to end (the
// listen worker): frees what SDL keeps for the calling thread (its error text), which SDL
// frees by itself only for threads it created. Harmless on any thread, at any time.
void ReleaseAudioThreadState();

}  // namespace vantorel
