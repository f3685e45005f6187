#pragma once
// SDL's audio subsystem is process-wide: every device holds one of these, the first starts
// the subsystem and the last one stops it.

#include <SDL.h>

#include <mutex>
#include <string>

namespace vantorel {

class SdlAudioSubsystem {
 public:
  SdlAudioSubsystem();
  ~SdlAudioSubsystem();
  SdlAudioSubsystem(const SdlAudioSubsystem&) = delete;
  SdlAudioSubsystem& operator=(const SdlAudioSubsystem&) = delete;

  // False when SDL could not start audio (no driver); SDL_GetError() says why.
  bool ok() const { return ok_; }

  // Held around every open and close of an SDL audio device: SDL's device table is not
  // safe against two threads opening at once (the receive worker and the window thread).
  static std::unique_lock<std::mutex> SerializeCalls();

  // Opens the default output (or, with `capture`, input) device for the program's sound:
  // 8000 Hz, 16-bit, mono, callbacks of 256 samples (32 ms, so that a finished buffer is
  // reported soon), SDL converting to whatever the hardware wants, with the stream role
  // "phone". The device starts paused. 0 when it cannot be opened; the failure is logged
  // with `what`.
  static SDL_AudioDeviceID OpenDevice(bool capture, SDL_AudioCallback callback, void* userdata, const char* what);

 private:
  bool ok_ = false;
};

// One open SDL audio device of the program's format, playing (or recording) from the open on.
// Destruction closes it, which waits for SDL's thread: the callback does not run after that.
// Declare it as the owner's last member, so that it closes before anything the callback uses.
class SdlAudioDevice {
 public:
  SdlAudioDevice() = default;
  ~SdlAudioDevice();
  SdlAudioDevice(const SdlAudioDevice&) = delete;
  SdlAudioDevice& operator=(const SdlAudioDevice&) = delete;

  // False with a one-line reason in `error` when SDL's audio or the device cannot start.
  bool Open(bool capture, SDL_AudioCallback callback, void* userdata, std::string& error);

 private:
  SdlAudioSubsystem subsystem_;
  SDL_AudioDeviceID id_ = 0;
};

}  // namespace vantorel
