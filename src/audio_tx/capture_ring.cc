#include "audio_tx/capture_ring.h"

#include <algorithm>

namespace vantorel {

template <typename Change>
void CaptureRing::ChangeAndNotify(Change change) {
  {
    std::lock_guard lock(mutex_);
    change();
  }
  changed_.notify_all();
}

void CaptureRing::Store(std::span<const int16_t> samples) {
  ChangeAndNotify([&] {
    // A stop holds until the next talk clears it: the microphone stores until the talk's
    // worker closes it, and a store must not undo the stop the worker has yet to see.
    if (state_ != TransmitState::kStop) state_ = TransmitState::kCapturing;
    const size_t n = std::min<size_t>(samples.size(), kCaptureBufferSamples);
    std::copy_n(samples.begin(), n, slots_[static_cast<size_t>(write_slot_)].begin());
    write_slot_ = (write_slot_ + 1) % kCaptureSlots;
    ++produced_;
  });
}

void CaptureRing::ResetSlots() {
  ChangeAndNotify([&] {
    write_slot_ = 0;
    produced_ = 0;
    consumed_ = 0;
  });
}

CaptureStatus CaptureRing::Status() const {
  std::lock_guard lock(mutex_);
  return StatusLocked();
}

CaptureStatus CaptureRing::WaitFor(const std::function<bool(const CaptureStatus&)>& ready,
                                   std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return ready(StatusLocked()); });
  return StatusLocked();
}

bool CaptureRing::CopySlot(int slot, CaptureBuffer& out) const {
  if (slot < 0 || slot >= kCaptureSlots) return false;
  std::lock_guard lock(mutex_);
  out = slots_[static_cast<size_t>(slot)];
  return true;
}

void CaptureRing::CountConsumed() {
  ChangeAndNotify([&] { ++consumed_; });
}

void CaptureRing::DiscardWaiting() {
  ChangeAndNotify([&] { consumed_ = produced_; });
}

void CaptureRing::SetTransmitStop() {
  ChangeAndNotify([&] { state_ = TransmitState::kStop; });
}

void CaptureRing::ClearTransmitStop() {
  ChangeAndNotify([&] {
    if (state_ == TransmitState::kStop) state_ = produced_ > consumed_ ? TransmitState::kCapturing : TransmitState::kWaiting;
  });
}

}  // namespace vantorel
