// The input device on SDL2. SDL pushes recorded samples from its own thread through
// Record(); full buffers are reported to the window thread through Host::PostToWindow.

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/audio_input.h"
#include "platform/host.h"
#include "platform/log.h"
#include "platform/sdl_audio_subsystem.h"

namespace vantorel {

namespace {

// What a posted notification needs after the device may be gone: the receiver and which
// device, if any, is still open.
struct InputLink {
  explicit InputLink(const AudioInputEvents& e) : events(e) {}
  const AudioInputEvents events;
  std::atomic<AudioInput*> device{nullptr};
};

// One buffer on its way to the window thread. If the notification is destroyed without
// having run (no host, or the host's queue was discarded), the buffer is freed here.
struct DataNotice {
  DataNotice(std::shared_ptr<InputLink> l, AudioBuffer* b) : link(std::move(l)), buffer(b) {}
  ~DataNotice() {
    if (buffer != nullptr && link->events.on_drop) link->events.on_drop(buffer);
  }
  DataNotice(const DataNotice&) = delete;
  DataNotice& operator=(const DataNotice&) = delete;
  std::shared_ptr<InputLink> link;
  AudioBuffer* buffer;
};

void PostData(const std::shared_ptr<InputLink>& link, AudioBuffer* buffer) {
  auto notice = std::make_shared<DataNotice>(link, buffer);
  Host* host = GetHost();
  if (host == nullptr) return;  // ~DataNotice frees it
  host->PostToWindow([notice] {
    AudioBuffer* b = std::exchange(notice->buffer, nullptr);
    notice->link->events.on_data(notice->link->device.load(), b);
  });
}

class SdlAudioInput : public AudioInput {
 public:
  explicit SdlAudioInput(const AudioInputEvents& events) : link_(std::make_shared<InputLink>(events)) {}
  ~SdlAudioInput() override {
    Reset();
    Close();
  }

  int Open() {
    if (!subsystem_.ok()) return AUDIO_NOT_ENABLED;
    if (GetHost() == nullptr) return AUDIO_NOT_ENABLED;
    device_id_ = SdlAudioSubsystem::OpenDevice(true, &SdlAudioInput::OnSdlCallback, this, "SDL audio input");
    if (device_id_ == 0) return AUDIO_BAD_DEVICE;
    link_->device.store(this);
    // SDL opens its devices paused: nothing is recorded until Start().
    if (Host* host = GetHost()) {
      host->PostToWindow([link = link_] {
        if (AudioInput* device = link->device.load()) link->events.on_open(device);
      });
    }
    return AUDIO_OK;
  }

  int Prepare(AudioBuffer* buffer) override {
    if (buffer == nullptr || buffer->data == nullptr || buffer->length == 0 || buffer->length % 2 != 0) {
      return AUDIO_INVALID_PARAM;
    }
    if (device_id_ == 0) return AUDIO_INVALID_HANDLE;
    buffer->flags |= AUDIO_BUFFER_PREPARED;
    return AUDIO_OK;
  }

  int Unprepare(AudioBuffer* buffer) override {
    if (buffer == nullptr) return AUDIO_INVALID_PARAM;
    if (device_id_ == 0) return AUDIO_INVALID_HANDLE;
    std::lock_guard lock(mutex_);  // SDL's thread writes the flags of queued buffers
    if (buffer->flags & AUDIO_BUFFER_INQUEUE) return AUDIO_STILL_PLAYING;
    buffer->flags &= ~AUDIO_BUFFER_PREPARED;
    return AUDIO_OK;
  }

  int AddBuffer(AudioBuffer* buffer) override {
    if (buffer == nullptr) return AUDIO_INVALID_PARAM;
    if (device_id_ == 0) return AUDIO_INVALID_HANDLE;
    if (!(buffer->flags & AUDIO_BUFFER_PREPARED)) return AUDIO_UNPREPARED;
    if (buffer->flags & AUDIO_BUFFER_INQUEUE) return AUDIO_STILL_PLAYING;
    buffer->bytes_recorded = 0;
    buffer->flags = (buffer->flags & ~(AUDIO_BUFFER_DONE | AUDIO_BUFFER_RESET)) | AUDIO_BUFFER_INQUEUE;
    std::lock_guard lock(mutex_);
    queue_.push_back(buffer);
    return AUDIO_OK;
  }

  int Start() override {
    if (device_id_ == 0) return AUDIO_INVALID_HANDLE;
    SDL_PauseAudioDevice(device_id_, 0);
    return AUDIO_OK;
  }

  int Reset() override {
    if (device_id_ == 0) return AUDIO_INVALID_HANDLE;
    // Pausing takes SDL's device lock, so no Record() is running once it returns and every
    // full buffer has been posted before the ones handed back here.
    SDL_PauseAudioDevice(device_id_, 1);
    std::deque<AudioBuffer*> left;
    {
      std::lock_guard lock(mutex_);
      left.swap(queue_);
    }
    for (AudioBuffer* buffer : left) {
      buffer->flags = (buffer->flags & ~AUDIO_BUFFER_INQUEUE) | AUDIO_BUFFER_DONE | AUDIO_BUFFER_RESET;
      PostData(link_, buffer);
    }
    return AUDIO_OK;
  }

  int Close() override {
    if (device_id_ == 0) return AUDIO_INVALID_HANDLE;
    {
      std::lock_guard lock(mutex_);
      if (!queue_.empty()) return AUDIO_STILL_PLAYING;
    }
    {
      auto serial = SdlAudioSubsystem::SerializeCalls();
      SDL_CloseAudioDevice(device_id_);
    }
    device_id_ = 0;
    link_->device.store(nullptr);
    return AUDIO_OK;
  }

 private:
  static void SDLCALL OnSdlCallback(void* self, Uint8* stream, int length) {
    static_cast<SdlAudioInput*>(self)->Record(stream, static_cast<size_t>(length));
  }

  // SDL's thread: fill the queued buffers in order; samples with no buffer to take them
  // are lost, as with any recorder that runs out of buffers.
  void Record(const Uint8* stream, size_t length) {
    full_.clear();
    {
      std::lock_guard lock(mutex_);
      size_t used = 0;
      while (used < length && !queue_.empty()) {
        AudioBuffer* front = queue_.front();
        const size_t n = std::min<size_t>(length - used, front->length - front->bytes_recorded);
        std::memcpy(front->data + front->bytes_recorded, stream + used, n);
        front->bytes_recorded += static_cast<uint32_t>(n);
        used += n;
        if (front->bytes_recorded == front->length) {
          queue_.pop_front();
          front->flags = (front->flags & ~AUDIO_BUFFER_INQUEUE) | AUDIO_BUFFER_DONE;
          full_.push_back(front);
        }
      }
    }
    for (AudioBuffer* buffer : full_) PostData(link_, buffer);
  }

  SdlAudioSubsystem subsystem_;
  std::shared_ptr<InputLink> link_;
  // Set and cleared on the window thread only (Open, Close); SDL's thread never reads it.
  SDL_AudioDeviceID device_id_ = 0;
  std::mutex mutex_;
  std::deque<AudioBuffer*> queue_;
  std::vector<AudioBuffer*> full_;  // Record()'s scratch list, SDL's thread only
};

}  // namespace

int OpenSdlAudioInput(const AudioInputEvents& events, std::unique_ptr<AudioInput>& device) {
  device.reset();
  if (!events.on_open || !events.on_data) return AUDIO_INVALID_PARAM;
  auto input = std::make_unique<SdlAudioInput>(events);
  const int result = input->Open();
  if (result == AUDIO_OK) device = std::move(input);
  return result;
}

}  // namespace vantorel
