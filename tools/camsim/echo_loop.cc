#include "camsim/echo_loop.h"

#include <algorithm>
#include <cmath>

namespace vantorel::camsim {

namespace {

constexpr int64_t kRate = 8000;
constexpr int64_t kKept = 16 * kRate;     // the timeline kept: the delay's reach and the backlog
constexpr int64_t kMostAhead = 8 * kRate;  // sound waiting to be played

}  // namespace

EchoLoop::EchoLoop(const EchoOptions& options, Clock::time_point origin)
    : delay_samples_(options.delay ? options.delay->count() * kRate / 1000 : -1),
      gain_(std::pow(10.0, -std::abs(options.db_down) / 20)),
      origin_(origin),
      ring_(on() ? static_cast<size_t>(kKept) : 0) {}

int64_t EchoLoop::SampleAt(Clock::time_point t) const {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t - origin_).count() * kRate / 1000000000;
}

void EchoLoop::Play(std::span<const int16_t> samples, Clock::time_point now) {
  if (!on()) return;
  const int64_t playing = SampleAt(now);
  std::lock_guard lock(mutex_);
  const int64_t from = std::max(end_, playing);
  // Between the last sound and this one the loudspeaker was silent.
  for (int64_t n = std::max(end_, from - kKept); n < from; ++n) ring_[static_cast<size_t>(n % kKept)] = 0;
  const int64_t count = std::clamp<int64_t>(playing + kMostAhead - from, 0, static_cast<int64_t>(samples.size()));
  for (int64_t i = 0; i < count; ++i) ring_[static_cast<size_t>((from + i) % kKept)] = samples[static_cast<size_t>(i)];
  end_ = from + count;
}

void EchoLoop::MixInto(std::span<int16_t> sound, Clock::time_point start) const {
  if (!on()) return;
  const int64_t first = SampleAt(start) - delay_samples_;
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < sound.size(); ++i) {
    const int64_t n = first + static_cast<int64_t>(i);
    if (n < 0 || n >= end_ || n < end_ - kKept) continue;
    const double v = sound[i] + gain_ * ring_[static_cast<size_t>(n % kKept)];
    sound[i] = static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
  }
}

}  // namespace vantorel::camsim
