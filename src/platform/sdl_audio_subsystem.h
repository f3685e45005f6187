#pragma once
// SDL's audio subsystem is process-wide: every device holds one of these, the first starts
// the subsystem and the last one stops it.

#include <mutex>

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

 private:
  bool ok_ = false;
};

}  // namespace vantorel
