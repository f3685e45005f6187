// The output device on SDL2. SDL pulls samples from its own thread through Fill(); the
// queue of pieces is shared with Write() under `mutex_`.

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "sound_io/audio_output.h"
#include "sound_io/sdl_audio_subsystem.h"

namespace vantorel {

namespace {

class SdlAudioOutput : public AudioOutput {
 public:
  bool Open(std::string& error) { return device_.Open(false, &SdlAudioOutput::OnSdlCallback, this, error); }

  bool Write(std::span<const int16_t> samples) override {
    std::lock_guard lock(mutex_);
    queue_.emplace_back(samples.begin(), samples.end());
    return true;
  }

  int PendingWrites() const override {
    std::lock_guard lock(mutex_);
    return static_cast<int>(queue_.size());
  }

 private:
  static void SDLCALL OnSdlCallback(void* self, Uint8* stream, int length) {
    static_cast<SdlAudioOutput*>(self)->Fill(stream, static_cast<size_t>(length));
  }

  // SDL's thread: queued samples into `stream`, silence after the last one.
  void Fill(Uint8* stream, size_t length) {
    size_t filled = 0;
    std::lock_guard lock(mutex_);
    while (filled < length && !queue_.empty()) {
      const std::vector<int16_t>& front = queue_.front();
      const size_t bytes = std::min(length - filled, (front.size() - offset_) * sizeof(int16_t));
      if (bytes > 0) std::memcpy(stream + filled, front.data() + offset_, bytes);  // an empty piece has no data
      filled += bytes;
      offset_ += bytes / sizeof(int16_t);
      if (offset_ == front.size()) {
        queue_.pop_front();
        offset_ = 0;
      }
    }
    std::memset(stream + filled, 0, length - filled);
  }

  mutable std::mutex mutex_;
  std::deque<std::vector<int16_t>> queue_;
  size_t offset_ = 0;  // samples of queue_.front() already played
  SdlAudioDevice device_;  // last: closes (and stops Fill) before the queue goes
};

}  // namespace

std::unique_ptr<AudioOutput> OpenSdlAudioOutput(std::string& error) {
  auto output = std::make_unique<SdlAudioOutput>();
  if (!output->Open(error)) return nullptr;
  return output;
}

void ReleaseAudioThreadState() { SDL_TLSCleanup(); }

}  // namespace vantorel
