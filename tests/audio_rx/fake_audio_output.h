#pragma once
// An output device double: keeps the buffers written to it until the test finishes them
// (the device's part) or closes it, and records what it was asked in a log that the test
// owns (the double itself goes away with the session).

#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio_output.h"

namespace vantorel {

// Read and set by the test while no other thread uses the double.
struct FakeOutputLog {
  std::vector<std::string> calls;
  std::vector<std::vector<int16_t>> written;  // the samples of every buffer written
  uint32_t volume = 0x12345678;
  int fail_write = 0;  // the 1-based write to refuse, 0 for none
};

class FakeAudioOutput : public AudioOutput {
 public:
  FakeAudioOutput(AudioOutputCallback callback, FakeOutputLog* log) : callback_(std::move(callback)), log_(*log) {}
  ~FakeAudioOutput() override { Close(); }

  int Write(AudioBuffer* buffer) override {
    std::lock_guard lock(mutex_);
    log_.calls.push_back("Write");
    if (closed_) return AUDIO_INVALID_HANDLE;
    if (++writes_ == log_.fail_write) return AUDIO_ERROR;
    std::vector<int16_t> samples(buffer->length / 2);
    std::memcpy(samples.data(), buffer->data, buffer->length);
    log_.written.push_back(std::move(samples));
    held_.push_back(buffer);
    return AUDIO_OK;
  }
  int GetVolume(uint32_t* value) override {
    std::lock_guard lock(mutex_);
    log_.calls.push_back("GetVolume");
    *value = log_.volume;
    return AUDIO_OK;
  }
  int SetVolume(uint32_t value) override {
    std::lock_guard lock(mutex_);
    log_.calls.push_back("SetVolume " + std::to_string(value));
    log_.volume = value;
    return AUDIO_OK;
  }
  int Close() override {
    std::deque<AudioBuffer*> left;
    {
      std::lock_guard lock(mutex_);
      if (closed_) return AUDIO_INVALID_HANDLE;
      log_.calls.push_back("Close");
      closed_ = true;
      left.swap(held_);
    }
    for (AudioBuffer* b : left) callback_(this, AUDIO_OUTPUT_DONE, b);
    return AUDIO_OK;
  }

  // The device's part: hands back the oldest `count` buffers (fewer if it holds fewer).
  // Returns how many it handed back.
  int Finish(int count) {
    int finished = 0;
    for (; finished < count; ++finished) {
      AudioBuffer* b;
      {
        std::lock_guard lock(mutex_);
        if (held_.empty()) break;
        b = held_.front();
        held_.pop_front();
      }
      callback_(this, AUDIO_OUTPUT_DONE, b);
    }
    return finished;
  }

 private:
  const AudioOutputCallback callback_;
  FakeOutputLog& log_;
  std::mutex mutex_;
  std::deque<AudioBuffer*> held_;
  bool closed_ = false;
  int writes_ = 0;
};

}  // namespace vantorel
