#include "audio_tx/microphone.h"

#include <algorithm>

#include "runtime/log.h"

namespace vantorel {

bool Microphone::Open(std::string& error, const AudioInputOpener& open) {
  if (device_) return true;
  pending_count_ = 0;
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
  while (!samples.empty()) {
    const size_t n = std::min(samples.size(), pending_.size() - pending_count_);
    std::copy_n(samples.begin(), n, pending_.begin() + static_cast<std::ptrdiff_t>(pending_count_));
    pending_count_ += n;
    samples = samples.subspan(n);
    if (pending_count_ == pending_.size()) {
      ring_.Store(pending_);
      pending_count_ = 0;
    }
  }
}

}  // namespace vantorel
