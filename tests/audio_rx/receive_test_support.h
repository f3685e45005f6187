#pragma once
// For the receive worker's tests: a sound sink that records what reaches it, the frames
// the simulated camera sends, and their decoding.

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio_rx/receive_worker.h"
#include "camsim/audio_stream.h"
#include "camsim/server.h"
#include "codec/g726.h"
#include "settings/camera_urls.h"
#include "settings/camera_settings.h"

namespace vantorel {

// What a RecordingSink saw. Shared with the sink, which a worker may hold a little longer
// than the test body runs.
struct SinkLog {
  std::mutex mutex;
  size_t frames = 0;                // frames handed over
  std::vector<int16_t> samples;     // as the worker's decoder produced them
  std::vector<std::string> calls;   // "open", "close"
  int open_now = 0;
  int most_open = 0;  // sessions open at the same time, at most
  bool open_result = true;
  std::chrono::milliseconds close_delay{0};  // a device that takes long to close

  template <typename F>
  auto Locked(F f) {
    std::lock_guard lock(mutex);
    return f();
  }
};

inline SoundSink RecordingSink(const std::shared_ptr<SinkLog>& log) {
  return {
      .open =
          [log] {
            std::lock_guard lock(log->mutex);
            log->calls.push_back("open");
            if (!log->open_result) return false;
            log->most_open = std::max(log->most_open, ++log->open_now);
            return true;
          },
      .take =
          [log](std::span<const int16_t, kFrameSamples> samples) {
            std::lock_guard lock(log->mutex);
            ++log->frames;
            log->samples.insert(log->samples.end(), samples.begin(), samples.end());
          },
      .close =
          [log] {
            std::this_thread::sleep_for(log->close_delay);
            std::lock_guard lock(log->mutex);
            log->calls.push_back("close");
            --log->open_now;
          },
  };
}

// The first `count` frames of a connection to a simulator with this sound and these faults.
inline std::vector<std::string> SentFrames(const std::vector<int16_t>& sound, unsigned faults, int count) {
  camsim::AudioFrames frames(std::make_shared<const std::vector<int16_t>>(sound), faults);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    const auto f = frames.Next();
    out.emplace_back(reinterpret_cast<const char*>(f.data()), f.size());
  }
  return out;
}

// The frames decoded in order by one coder state, started fresh.
inline std::vector<int16_t> Decoded(const std::vector<std::string>& frames) {
  G726State state;
  G726InitState(state);
  std::vector<int16_t> samples(frames.size() * kFrameSamples);
  for (size_t i = 0; i < frames.size(); ++i) {
    G726DecodeBlock(samples.data() + i * kFrameSamples, reinterpret_cast<const uint8_t*>(frames[i].data()),
                      kFrameBytes, state);
  }
  return samples;
}

// A simulated camera on a free port; `settings`, when given, point at its audio stream.
inline std::unique_ptr<camsim::Server> AudioCamera(camsim::Options options, CameraSettings* settings = nullptr) {
  auto server = std::make_unique<camsim::Server>(std::move(options));
  if (!server->Start()) return nullptr;
  if (settings) settings->SetReceiveUrl(server->Url() + kReceivePath);
  return server;
}

// The URL of `camera`'s audio stream.
inline std::string ReceiveUrlOf(const camsim::Server& camera) { return camera.Url() + kReceivePath; }

}  // namespace vantorel
