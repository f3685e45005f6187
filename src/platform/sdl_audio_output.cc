// The output device on SDL2. SDL pulls samples from its own thread through Fill(); the
// queue of lent buffers is shared with Write() and Close() under `mutex_`.

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>

#include "platform/audio_output.h"
#include "platform/log.h"
#include "platform/sdl_audio_subsystem.h"

namespace vantorel {

namespace {

// The program's output volume; full until someone sets it.
std::atomic<uint32_t> g_output_volume{kAudioFullVolume};

class SdlAudioOutput : public AudioOutput {
 public:
  explicit SdlAudioOutput(AudioOutputCallback callback) : callback_(std::move(callback)) {}
  ~SdlAudioOutput() override { Close(); }

  int Open() {
    if (!subsystem_.ok()) return AUDIO_NOT_ENABLED;
    device_id_ = SdlAudioSubsystem::OpenDevice(false, &SdlAudioOutput::OnSdlCallback, this, "SDL audio output");
    if (device_id_ == 0) return AUDIO_BAD_DEVICE;
    callback_(this, AUDIO_OUTPUT_OPEN, nullptr);
    SDL_PauseAudioDevice(device_id_, 0);
    return AUDIO_OK;
  }

  int Write(AudioBuffer* buffer) override {
    if (buffer == nullptr || (buffer->length > 0 && buffer->data == nullptr) || buffer->length % 2 != 0) {
      return AUDIO_INVALID_PARAM;
    }
    std::lock_guard lock(mutex_);
    if (device_id_ == 0) return AUDIO_INVALID_HANDLE;
    buffer->flags = (buffer->flags & ~AUDIO_BUFFER_DONE) | AUDIO_BUFFER_INQUEUE;
    queue_.push_back(buffer);
    return AUDIO_OK;
  }

  int GetVolume(uint32_t* volume) override {
    if (volume == nullptr) return AUDIO_INVALID_PARAM;
    *volume = g_output_volume.load();
    return AUDIO_OK;
  }

  int SetVolume(uint32_t volume) override {
    g_output_volume.store(volume);
    return AUDIO_OK;
  }

  int Close() override {
    SDL_AudioDeviceID id;
    {
      std::lock_guard lock(mutex_);
      id = device_id_;
      device_id_ = 0;
    }
    if (id == 0) return AUDIO_INVALID_HANDLE;
    {
      // Waits for SDL's thread to end: no Fill() runs after this.
      auto serial = SdlAudioSubsystem::SerializeCalls();
      SDL_CloseAudioDevice(id);
    }
    std::deque<AudioBuffer*> left;
    {
      std::lock_guard lock(mutex_);
      left.swap(queue_);
      offset_ = 0;
    }
    for (AudioBuffer* buffer : left) Finish(buffer);
    callback_(this, AUDIO_OUTPUT_CLOSE, nullptr);
    return AUDIO_OK;
  }

 private:
  static void SDLCALL OnSdlCallback(void* self, Uint8* stream, int length) {
    static_cast<SdlAudioOutput*>(self)->Fill(stream, static_cast<size_t>(length));
  }

  void Finish(AudioBuffer* buffer) {
    buffer->flags = (buffer->flags & ~AUDIO_BUFFER_INQUEUE) | AUDIO_BUFFER_DONE;
    callback_(this, AUDIO_OUTPUT_DONE, buffer);
  }

  // SDL's thread: copy queued samples into `stream`, silence after the last one; report
  // every buffer that is used up, outside the lock so the callback may take its time.
  void Fill(Uint8* stream, size_t length) {
    const uint32_t gain = g_output_volume.load() & 0xFFFF;
    size_t filled = 0;
    std::unique_lock lock(mutex_);
    while (true) {
      AudioBuffer* done = nullptr;
      if (!queue_.empty()) {
        AudioBuffer* front = queue_.front();
        const size_t n = std::min<size_t>(length - filled, front->length - offset_);
        if (n > 0) std::memcpy(stream + filled, front->data + offset_, n);
        filled += n;
        offset_ += n;
        if (offset_ == front->length) {
          queue_.pop_front();
          offset_ = 0;
          done = front;
        }
      }
      if (done == nullptr) break;
      lock.unlock();
      Finish(done);
      lock.lock();
    }
    lock.unlock();
    std::memset(stream + filled, 0, length - filled);
    if (gain != 0xFFFF) ApplyGain(stream, filled, gain);
  }

  static void ApplyGain(Uint8* stream, size_t length, uint32_t gain) {
    for (size_t i = 0; i + 1 < length; i += 2) {
      int16_t sample;
      std::memcpy(&sample, stream + i, 2);
      sample = static_cast<int16_t>(static_cast<int32_t>(sample) * static_cast<int32_t>(gain) / 0xFFFF);
      std::memcpy(stream + i, &sample, 2);
    }
  }

  const AudioOutputCallback callback_;
  SdlAudioSubsystem subsystem_;
  std::mutex mutex_;
  SDL_AudioDeviceID device_id_ = 0;  // 0 once closed
  std::deque<AudioBuffer*> queue_;
  size_t offset_ = 0;  // bytes of queue_.front() already played
};

}  // namespace

int OpenSdlAudioOutput(AudioOutputCallback callback, std::unique_ptr<AudioOutput>& device) {
  device.reset();
  if (!callback) return AUDIO_INVALID_PARAM;
  auto output = std::make_unique<SdlAudioOutput>(std::move(callback));
  const int result = output->Open();
  if (result == AUDIO_OK) device = std::move(output);
  return result;
}

void ReleaseAudioThreadState() { SDL_TLSCleanup(); }

}  // namespace vantorel
