#pragma once
// The sound input device: fills lent buffers in order and reports them to the window
// thread. Implemented on SDL2 (sdl_audio_input.cc) and by test doubles.

#include <functional>
#include <memory>

#include "platform/audio_types.h"

namespace vantorel {

class AudioInput;

// What the input device reports, always on the window thread (through Host::PostToWindow).
struct AudioInputEvents {
  // The device is ready for buffers.
  std::function<void(AudioInput* device)> on_open;
  // A buffer comes back: full, or with AUDIO_BUFFER_RESET and what was recorded so far in
  // `bytes_recorded`. `device` is null when the device has been closed since; the buffer
  // belongs to the caller again either way.
  std::function<void(AudioInput* device, AudioBuffer* buffer)> on_data;
  // Frees a buffer whose notification can no longer be delivered (no host, or the window
  // thread's queue was thrown away), so that nothing leaks.
  std::function<void(AudioBuffer* buffer)> on_drop;
};

class AudioInput {
 public:
  virtual ~AudioInput() = default;
  // Marks a buffer (data and a non-zero, even length) as ready to queue.
  virtual int Prepare(AudioBuffer* buffer) = 0;
  // Undoes Prepare. AUDIO_STILL_PLAYING while the device holds the buffer.
  virtual int Unprepare(AudioBuffer* buffer) = 0;
  // Queues a prepared buffer behind the others; recording fills them in order.
  virtual int AddBuffer(AudioBuffer* buffer) = 0;
  // Starts (or resumes) recording.
  virtual int Start() = 0;
  // Stops recording and hands every queued buffer back, marked AUDIO_BUFFER_RESET.
  virtual int Reset() = 0;
  // Closes the device. AUDIO_STILL_PLAYING while buffers are queued (Reset first); the
  // device then stays open. Destruction resets and closes.
  virtual int Close() = 0;
};

// Opens an input device and reports it in `device`; returns a result code. A failed open
// may still return a device, which the caller then closes.
using AudioInputOpener = std::function<int(const AudioInputEvents& events, std::unique_ptr<AudioInput>& device)>;

// The SDL default capture device, 8000 Hz mono 16-bit. Needs a host (GetHost()) to report
// to. SDL_AUDIODRIVER selects the driver ("dummy" records silence, "disk" reads
// SDL_DISKAUDIOFILEIN).
int OpenSdlAudioInput(const AudioInputEvents& events, std::unique_ptr<AudioInput>& device);

}  // namespace vantorel
