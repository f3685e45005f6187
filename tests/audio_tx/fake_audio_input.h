#pragma once
// An input device double: records every call, can fail a chosen call, and lets the test
// play the device's part (fill the oldest queued buffer and hand it back).

#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "audio_tx/microphone.h"
#include "platform/audio_input.h"

namespace vantorel {

class FakeAudioInput : public AudioInput {
 public:
  ~FakeAudioInput() override {
    for (AudioBuffer* b : queued) FreeCaptureHeader(b);
    for (AudioBuffer* b : handed_back) FreeCaptureHeader(b);
  }

  int Prepare(AudioBuffer* b) override {
    const int r = Call("Prepare", b);
    if (r == AUDIO_OK) b->flags |= AUDIO_BUFFER_PREPARED;
    return r;
  }
  int Unprepare(AudioBuffer* b) override {
    const int r = Call("Unprepare", b);
    if (r == AUDIO_OK) b->flags &= ~AUDIO_BUFFER_PREPARED;
    return r;
  }
  int AddBuffer(AudioBuffer* b) override {
    const int r = Call("AddBuffer", b);
    if (r == AUDIO_OK) {
      b->flags |= AUDIO_BUFFER_INQUEUE;
      queued.push_back(b);
    }
    return r;
  }
  int Start() override { return Call("Start", nullptr); }
  int Reset() override {
    const int r = Call("Reset", nullptr);
    for (AudioBuffer* b : queued) {
      b->flags = (b->flags & ~AUDIO_BUFFER_INQUEUE) | AUDIO_BUFFER_DONE | AUDIO_BUFFER_RESET;
      handed_back.push_back(b);
    }
    queued.clear();
    return r;
  }
  int Close() override { return Call("Close", nullptr); }

  // Makes the `nth` (1-based) call named `name` return `result`.
  void FailCall(const std::string& name, int nth, int result) { failures[{name, nth}] = result; }

  // The device's part: the oldest queued buffer comes back with `bytes` recorded, each
  // byte `fill`. The caller owns it again.
  AudioBuffer* Record(uint32_t bytes, uint8_t fill) {
    AudioBuffer* b = queued.front();
    queued.pop_front();
    std::memset(b->data, fill, bytes);
    b->bytes_recorded = bytes;
    b->flags = (b->flags & ~AUDIO_BUFFER_INQUEUE) | AUDIO_BUFFER_DONE;
    return b;
  }

  // Takes the buffers that Reset handed back.
  std::vector<AudioBuffer*> TakeHandedBack() { return std::exchange(handed_back, {}); }

  // "Name number" per call, the number being the buffer's user value.
  std::vector<std::string> calls;
  std::deque<AudioBuffer*> queued;
  std::vector<AudioBuffer*> handed_back;

 private:
  int Call(const std::string& name, const AudioBuffer* b) {
    calls.push_back(b ? name + " " + std::to_string(b->user) : name);
    const int nth = ++counts[name];
    const auto it = failures.find({name, nth});
    return it == failures.end() ? AUDIO_OK : it->second;
  }

  std::map<std::string, int> counts;
  std::map<std::pair<std::string, int>, int> failures;
};

}  // namespace vantorel
