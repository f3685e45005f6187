#pragma once
// The far end: what playback hands to the loudspeaker, kept for the talk's echo canceller.
// Playback writes every block it hands on (the listen worker's thread); the microphone reads
// the same number of samples as it records (the input device's thread), so the ring's fill
// follows the output's queue. Bounded: a writer with no reader drops the oldest samples; a
// reader finding too few gets silence for the rest.

#include <array>
#include <cstdint>
#include <mutex>
#include <span>

namespace vantorel {

inline constexpr size_t kFarEndSamples = 4000;  // 500 ms at 8000 Hz

class FarEndRing {
 public:
  // Appends `samples`; beyond kFarEndSamples waiting, the oldest go.
  void Write(std::span<const int16_t> samples);
  // Fills `out` with the oldest waiting samples, zeros where none wait; returns how many
  // were real.
  size_t Read(std::span<int16_t> out);
  // Drops everything waiting (a new talk starts in step with the output).
  void Clear();
  size_t Waiting() const;

 private:
  mutable std::mutex mutex_;
  std::array<int16_t, kFarEndSamples> samples_{};  // guarded by mutex_, as are the counts
  size_t read_ = 0;      // index of the oldest waiting sample
  size_t waiting_ = 0;
};

}  // namespace vantorel
