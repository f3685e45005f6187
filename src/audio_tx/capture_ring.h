#pragma once
// The capture ring: the 64 most recent microphone buffers of 382 samples. The microphone
// stores every full buffer (Store, on the input device's thread); the talk worker waits for
// them, copies them out one by one and counts them as consumed. There is no full check: a
// worker 64 or more buffers behind finds its oldest unread slots overwritten, while the
// counts still say how many buffers were stored.
//
// Every method takes the ring's lock for a few counter updates and at most one copy of a
// buffer; none of them waits on a device.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>

namespace vantorel {

constexpr int kCaptureSlots = 64;
constexpr int kCaptureBufferSamples = 382;  // 47.75 ms
constexpr int kCaptureBufferBytes = kCaptureBufferSamples * 2;

enum class TransmitState : int32_t {
  kWaiting = 1,    // no buffer has arrived yet
  kCapturing = 2,  // set with every stored buffer
  kStop = 3,       // the talk worker ends its request
};

// The ring's state at one moment, read under its lock.
struct CaptureStatus {
  TransmitState state;
  int32_t write_slot;  // where the next stored buffer goes
  int32_t produced;    // buffers stored since the ring was made
  int32_t consumed;    // buffers the talk worker has taken
  int32_t Waiting() const { return produced - consumed; }
};

using CaptureBuffer = std::array<int16_t, kCaptureBufferSamples>;

class CaptureRing {
 public:
  // Sets kCapturing (unless a stop is pending), copies `samples` (at most a slot's 382)
  // into the write slot, advances the write slot (63 wraps to 0) and the produced count,
  // and wakes the waiting worker. A shorter buffer overwrites only the start of its slot.
  void Store(std::span<const int16_t> samples);

  // When the microphone opens: the write slot and both counts to 0, so that the write slot
  // is the produced count modulo 64 again and nothing of an earlier talk waits.
  void ResetSlots();

  CaptureStatus Status() const;

  // Waits until `ready` holds for the status, or at most `timeout`; returns the status last
  // seen (check it: the wait may have timed out). `ready` runs under the lock, so it must
  // only look at the status. Every change of the ring wakes the waiters.
  CaptureStatus WaitFor(const std::function<bool(const CaptureStatus&)>& ready,
                        std::chrono::milliseconds timeout) const;

  // Copies slot `slot` (0 to 63) into `out`; false, `out` untouched, for a slot out of range.
  bool CopySlot(int slot, CaptureBuffer& out) const;

  // Adds one to the consumed count after a buffer was sent.
  void CountConsumed();
  // Counts every waiting buffer as consumed: sound captured while a talk was reconnecting
  // is too late to send.
  void DiscardWaiting();

  // Sets kStop and wakes the worker: the end of a talk.
  void SetTransmitStop();
  // After a stop, ready for the next talk of the same ring: kCapturing when buffers wait
  // (stored before the talk's worker began), else kWaiting; any other state stays.
  void ClearTransmitStop();

 private:
  CaptureStatus StatusLocked() const { return {state_, write_slot_, produced_, consumed_}; }
  template <typename Change>
  void ChangeAndNotify(Change change);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;  // notified on every change: store, count, state
  std::array<CaptureBuffer, kCaptureSlots> slots_{};
  int32_t write_slot_ = 0;
  int32_t produced_ = 0;
  int32_t consumed_ = 0;
  TransmitState state_ = TransmitState::kWaiting;
};

}  // namespace vantorel
