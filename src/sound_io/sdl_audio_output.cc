// The output device on SDL2. SDL pulls samples from its own thread through Fill(); Write()
// copies into a ring made once, at the open, so that nothing is allocated under the lock
// SDL's thread waits on.

#include <SDL.h>

#include <mutex>

#include "sound_io/audio_output.h"
#include "sound_io/sample_ring.h"
#include "sound_io/sdl_audio_subsystem.h"

namespace vantorel {

namespace {

// Room for this many pieces, and as many 100 ms blocks: playback drops a block once 28 wait,
// so the ring is never what refuses one.
constexpr size_t kRingPieces = 64;
constexpr size_t kRingSamples = kRingPieces * 800;

class SdlAudioOutput : public AudioOutput {
 public:
  bool Open(std::string& error) { return device_.Open(false, &SdlAudioOutput::OnSdlCallback, this, error); }

  bool Write(std::span<const int16_t> samples) override {
    std::lock_guard lock(mutex_);
    return ring_.Write(samples);
  }

  int PendingWrites() const override {
    std::lock_guard lock(mutex_);
    return static_cast<int>(ring_.Pending());
  }

 private:
  // SDL's thread: queued samples into `stream`, silence after the last one.
  static void SDLCALL OnSdlCallback(void* self, Uint8* stream, int length) {
    auto* output = static_cast<SdlAudioOutput*>(self);
    std::lock_guard lock(output->mutex_);
    output->ring_.Fill(std::span(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(length) / 2));
  }

  mutable std::mutex mutex_;
  SampleRing ring_{kRingPieces, kRingSamples};  // guarded by mutex_
  SdlAudioDevice device_;  // last: closes (and stops the callback) before the ring goes
};

}  // namespace

std::unique_ptr<AudioOutput> OpenSdlAudioOutput(std::string& error) {
  auto output = std::make_unique<SdlAudioOutput>();
  if (!output->Open(error)) return nullptr;
  return output;
}

void ReleaseAudioThreadState() { SDL_TLSCleanup(); }

}  // namespace vantorel
