#pragma once
// An output double: keeps the pieces written to it until the test finishes them (the
// device's part) and records them in a log that the test owns (the double itself goes away
// with the session).

#include <mutex>
#include <string>
#include <vector>

#include "sound_io/audio_output.h"

namespace vantorel {

// Read and set by the test while no other thread uses the double.
struct FakeOutputLog {
  std::vector<std::vector<int16_t>> written;  // every piece written
  int fail_write = 0;  // the 1-based write to refuse, 0 for none
  int closes = 0;
};

class FakeAudioOutput : public AudioOutput {
 public:
  explicit FakeAudioOutput(FakeOutputLog* log) : log_(*log) {}
  ~FakeAudioOutput() override {
    std::lock_guard lock(mutex_);
    ++log_.closes;
  }

  bool Write(std::span<const int16_t> samples) override {
    std::lock_guard lock(mutex_);
    if (++writes_ == log_.fail_write) return false;
    log_.written.emplace_back(samples.begin(), samples.end());
    ++held_;
    return true;
  }
  int PendingWrites() const override {
    std::lock_guard lock(mutex_);
    return held_;
  }

  // The device's part: plays the oldest `count` pieces (fewer if it holds fewer). Returns
  // how many it played.
  int Finish(int count) {
    std::lock_guard lock(mutex_);
    const int finished = std::min(count, held_);
    held_ -= finished;
    return finished;
  }

 private:
  FakeOutputLog& log_;
  mutable std::mutex mutex_;
  int held_ = 0;
  int writes_ = 0;
};

}  // namespace vantorel
