#include "audio_rx/playback.h"

#include <algorithm>

#include "codec/fit_sample_count.h"
#include "runtime/log.h"

namespace vantorel {

bool Playback::OpenSession(const AudioOutputOpener& open) {
  std::string error;
  return OpenSession(open, error);
}

bool Playback::OpenSession(const AudioOutputOpener& open, std::string& error) {
  if (output_) {
    error = "a playback session is already open";
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    counters_ = {};
  }
  next_half_ = 0;
  output_ = open(error);
  if (!output_) {
    LogFailure("playback: %s", error.c_str());
    return false;
  }
  return true;
}

// Hands block number queued_blocks to the output, shortened by q*(q+1) samples with q
// pieces still waiting there, or drops it at 28 waiting.
void Playback::SubmitBlock() {
  uint32_t number;
  {
    std::lock_guard lock(mutex_);
    number = counters_.queued_blocks;
  }
  const int64_t q = output_ ? output_->PendingWrites() : 0;
  const int64_t n = kPlayBlockSamples - q * (q + 1);
  bool written = false;
  if (n >= 1 && output_) {
    std::array<int16_t, kPlayBlockSamples> fitted;
    FitSampleCount(fitted.data(), blocks_[number & 1].data(), static_cast<int>(n), kPlayBlockSamples);
    const std::span played(fitted.data(), static_cast<size_t>(n));
    if (ducked()) {
      for (int16_t& s : played) s = static_cast<int16_t>(s / 10);  // -20 dB
    }
    written = output_->Write(played);
    if (written && far_end_) far_end_->Write(played);
    if (!written) LogFailure("playback: block %u not played: the output refused it", number);
  }
  std::lock_guard lock(mutex_);
  ++counters_.queued_blocks;
  if (written) {
    ++counters_.blocks_written;
  } else if (n < 1) {
    ++counters_.blocks_dropped;
  } else {
    ++counters_.blocks_failed;
  }
}

void Playback::TakeFrame(std::span<const int16_t, kFrameSamples> samples) {
  bool due;
  uint32_t decoded;
  {
    std::lock_guard lock(mutex_);
    due = counters_.decoded_blocks != counters_.queued_blocks;
    decoded = counters_.decoded_blocks;
  }
  if (due) SubmitBlock();
  std::copy(samples.begin(), samples.end(), blocks_[decoded & 1].begin() + next_half_ * kFrameSamples);
  if (next_half_ == 1) {
    std::lock_guard lock(mutex_);
    ++counters_.decoded_blocks;
  }
  next_half_ ^= 1;
}

void Playback::CloseSession() { output_.reset(); }

PlaybackCounters Playback::Counters() const {
  std::lock_guard lock(mutex_);
  return counters_;
}

}  // namespace vantorel
