#pragma once
// The sound output device: plays lent buffers back to back and hands each one back through
// a callback on the device's own thread. Implemented on SDL2 (sdl_audio_output.cc) and by
// test doubles.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/audio_types.h"

namespace vantorel {

class AudioOutput;

enum AudioOutputMessage : int {
  AUDIO_OUTPUT_OPEN = 0x3BB,
  AUDIO_OUTPUT_CLOSE = 0x3BC,
  AUDIO_OUTPUT_DONE = 0x3BD,  // `buffer` has finished (or was released by Close)
};

// Called with OPEN once the device plays, with DONE for every buffer it hands back (on the
// device's thread while open, on the thread that calls Close for what is still queued
// then), and with CLOSE last. `buffer` is null except for DONE. The callback must not call
// into the device.
using AudioOutputCallback = std::function<void(AudioOutput* device, AudioOutputMessage message, AudioBuffer* buffer)>;

// Full volume: 0xFFFF on both channels (left in the low word, right in the high word).
constexpr uint32_t kAudioFullVolume = 0xFFFFFFFFu;

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // Queues `buffer` (`length` bytes of samples, an even count, possibly 0) after those
  // queued before. The device owns it until its DONE. Returns a result code; on failure
  // the buffer stays with the caller.
  virtual int Write(AudioBuffer* buffer) = 0;
  // The output volume. It belongs to the program, not to one device: it outlives the
  // device and applies as a gain to every output device opened later. Mono output uses
  // the low word (0 silent, 0xFFFF unchanged).
  virtual int GetVolume(uint32_t* volume) = 0;
  virtual int SetVolume(uint32_t volume) = 0;
  // Stops playing and hands back every queued buffer, in order, through the callback, then
  // sends CLOSE. A second Close returns AUDIO_INVALID_HANDLE. Destruction closes too.
  virtual int Close() = 0;
};

// Opens an output device and reports it in `device`; returns a result code.
using AudioOutputOpener = std::function<int(AudioOutputCallback callback, std::unique_ptr<AudioOutput>& device)>;

// The SDL default output device, 8000 Hz mono 16-bit, playing silence while no buffer is
// queued. SDL_AUDIODRIVER selects the driver ("dummy", "disk" with SDL_DISKAUDIOFILE, ...).
int OpenSdlAudioOutput(AudioOutputCallback callback, std::unique_ptr<AudioOutput>& device);

// For a thread of our own that has opened or closed a device and is about to end (the
// receive worker): frees what SDL keeps for the calling thread (its error text), which SDL
// frees by itself only for threads it created. Harmless on any thread, at any time.
void ReleaseAudioThreadState();

}  // namespace vantorel
