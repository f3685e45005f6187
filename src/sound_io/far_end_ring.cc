#include "sound_io/far_end_ring.h"

#include <algorithm>

namespace vantorel {

void FarEndRing::Write(std::span<const int16_t> samples) {
  // Only the newest kFarEndSamples can stay.
  if (samples.size() > kFarEndSamples) samples = samples.last(kFarEndSamples);
  std::lock_guard lock(mutex_);
  const size_t overflow = (waiting_ + samples.size() > kFarEndSamples) ? waiting_ + samples.size() - kFarEndSamples : 0;
  read_ = (read_ + overflow) % kFarEndSamples;
  waiting_ -= overflow;
  size_t at = (read_ + waiting_) % kFarEndSamples;
  for (int16_t s : samples) {
    samples_[at] = s;
    if (++at == kFarEndSamples) at = 0;
  }
  waiting_ += samples.size();
}

size_t FarEndRing::Read(std::span<int16_t> out) {
  std::lock_guard lock(mutex_);
  const size_t n = std::min(out.size(), waiting_);
  for (size_t i = 0; i < n; ++i) {
    out[i] = samples_[read_];
    if (++read_ == kFarEndSamples) read_ = 0;
  }
  waiting_ -= n;
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(n), out.end(), int16_t{0});
  return n;
}

void FarEndRing::Clear() {
  std::lock_guard lock(mutex_);
  read_ = waiting_ = 0;
}

size_t FarEndRing::Waiting() const {
  std::lock_guard lock(mutex_);
  return waiting_;
}

}  // namespace vantorel
