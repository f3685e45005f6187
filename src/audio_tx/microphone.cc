#include "audio_tx/microphone.h"

#include <algorithm>

#include "runtime/log.h"

namespace vantorel {

bool Microphone::Open(std::string& error, const AudioInputOpener& open, FarEndRing* far_end,
                      const EchoSettings& echo) {
  if (device_) return true;
  pending_count_ = 0;
  near_count_ = 0;
  far_end_ = far_end;
  canceller_.reset();
  if (far_end_) {
    canceller_ = std::make_unique<EchoCanceller>(echo);
    far_end_->Clear();
  }
  ring_.ResetSlots();
  device_ = open([this](std::span<const int16_t> samples) { Take(samples); }, error);
  if (!device_) {
    LogFailure("microphone: %s", error.c_str());
    return false;
  }
  return true;
}

void Microphone::Close() { device_.reset(); }

void Microphone::Take(std::span<const int16_t> samples) {
  if (!canceller_) {
    Store(samples);
    return;
  }
  while (!samples.empty()) {
    const size_t n = std::min(samples.size(), near_.size() - near_count_);
    std::copy_n(samples.begin(), n, near_.begin() + static_cast<std::ptrdiff_t>(near_count_));
    near_count_ += n;
    samples = samples.subspan(n);
    if (near_count_ == near_.size()) {
      far_end_->Read(far_);
      canceller_->Process(far_, near_, near_);
      Store(near_);
      near_count_ = 0;
    }
  }
}

void Microphone::Store(std::span<const int16_t> samples) {
  const bool muted = muted_.load(std::memory_order_relaxed);
  while (!samples.empty()) {
    const size_t n = std::min(samples.size(), pending_.size() - pending_count_);
    const auto to = pending_.begin() + static_cast<std::ptrdiff_t>(pending_count_);
    if (muted) {
      std::fill_n(to, n, int16_t{0});
    } else {
      std::copy_n(samples.begin(), n, to);
    }
    pending_count_ += n;
    samples = samples.subspan(n);
    if (pending_count_ == pending_.size()) {
      ring_.Store(pending_);
      pending_count_ = 0;
    }
  }
}

}  // namespace vantorel
