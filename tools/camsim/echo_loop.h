#pragma once
// The simulated camera's echo: what its loudspeaker plays (each talk's decoded sound) comes
// back into its microphone `delay` later and `db_down` quieter, mixed into the sound served
// on receive.cgi (--echo-ms, --echo-db). The loudspeaker plays in real time: samples handed
// to it play one after the other from the moment they arrive, or from the end of those
// still playing; at most 8 s wait their turn, more are dropped.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace vantorel::camsim {

struct EchoOptions {
  std::optional<std::chrono::milliseconds> delay;  // no echo without one
  double db_down = 6;
};

class EchoLoop {
 public:
  using Clock = std::chrono::steady_clock;

  explicit EchoLoop(const EchoOptions& options, Clock::time_point origin = Clock::now());

  bool on() const { return delay_samples_ >= 0; }

  // The loudspeaker takes `samples` (8000 Hz) at `now`.
  void Play(std::span<const int16_t> samples, Clock::time_point now = Clock::now());

  // Adds to `sound`, the microphone's from `start` on, what the loudspeaker played `delay`
  // earlier, `db_down` quieter.
  void MixInto(std::span<int16_t> sound, Clock::time_point start) const;

 private:
  int64_t SampleAt(Clock::time_point t) const;

  const int64_t delay_samples_;  // -1: no echo
  const double gain_;
  const Clock::time_point origin_;
  mutable std::mutex mutex_;
  std::vector<int16_t> ring_;  // sample n of the timeline at n % size
  int64_t end_ = 0;            // the timeline's sample after the last one played
};

}  // namespace vantorel::camsim
