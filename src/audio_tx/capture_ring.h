#pragma once
// The capture ring: the 64 most recent microphone buffers. The window thread stores every
// buffer the microphone returns (StoreCapturedBuffer); the transmit worker waits for them,
// copies them out one by one and counts them as consumed. There is no full check: a
// worker 64 or more buffers behind finds its oldest unread slots overwritten, while the
// counts still say how many buffers were stored.
//
// Every function takes the capture lock for a few counter updates and at most one copy of
// 764 bytes; none of them waits on a device. The ring is program-wide: CaptureRingCreate
// at start-up, CaptureRingDestroy at the end.

#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/audio_types.h"

namespace vantorel {

constexpr int kCaptureSlots = 64;
constexpr int kCaptureBufferBytes = 764;  // 382 samples, 47.75 ms
constexpr int kCaptureBufferSamples = kCaptureBufferBytes / kAudioBytesPerSample;

enum TransmitState : int32_t {
  TX_WAITING = 1,    // at start-up: no buffer has arrived yet
  TX_CAPTURING = 2,  // set with every stored buffer
  TX_STOP = 3,       // the transmit worker ends its request
};

// The ring's state at one moment, read under the capture lock.
struct CaptureStatus {
  TransmitState state;
  int32_t write_slot;  // where the next stored buffer goes
  int32_t produced;    // buffers stored since start-up
  int32_t consumed;    // buffers the transmit worker has taken
  int32_t Waiting() const { return produced - consumed; }
};

// Allocates the 64 zero-filled slots and starts the counts at 0 in TX_WAITING. False when
// a slot cannot be allocated; the slots obtained so far are freed again.
bool CaptureRingCreate();
// Frees every slot. Copies after this fail; counts and state stay readable.
void CaptureRingDestroy();

// Window thread. Sets TX_CAPTURING, copies `bytes_recorded` bytes of `header` (at most a
// slot's 764) into the write slot, advances the write slot (63 wraps to 0) and the
// produced count, and wakes the waiting worker. A shorter buffer overwrites only the start
// of its slot.
void StoreCapturedBuffer(const AudioBuffer* header);

// Window thread, when the microphone opens: the write slot and the consumed count to 0.
void ResetCaptureSlots();

// Any thread.
CaptureStatus GetCaptureStatus();

// Transmit worker. Waits under the capture lock until `ready` holds for the status, or at
// most `timeout`; returns the status last seen (check it: the wait may have timed out).
// `ready` runs under the lock, so it must only look at the status. Waiters are woken by
// every change of the ring: a stored buffer, a consumed one, a new state.
CaptureStatus WaitForCapture(const std::function<bool(const CaptureStatus&)>& ready,
                             std::chrono::milliseconds timeout);

// Transmit worker. Copies the 764 bytes of `slot` (0 to 63) into `out` under the capture
// lock. False, with `out` untouched, for a slot out of range or a destroyed ring.
bool CopyCaptureSlot(int slot, uint8_t* out);

// Transmit worker. Adds one to the consumed count after a buffer was sent.
void CountConsumedBuffer();

// Any thread. Sets TX_STOP and wakes the worker; the worker's only stop signal.
void SetTransmitStop();

}  // namespace vantorel
