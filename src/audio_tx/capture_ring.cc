#include "audio_tx/capture_ring.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace vantorel {

namespace {

struct FreeDeleter {
  void operator()(uint8_t* p) const { std::free(p); }
};

}  // namespace

// The ring's fields; everything is guarded by `lock`.
struct CaptureRing {
  std::mutex lock;
  std::condition_variable changed;  // notified on every change: store, count, state
  std::unique_ptr<uint8_t, FreeDeleter> slots[kCaptureSlots];
  int32_t write_slot = 0;
  int32_t produced = 0;
  int32_t consumed = 0;
  TransmitState state = TX_WAITING;
};

namespace {

CaptureRing g_ring;

CaptureStatus StatusLocked() { return {g_ring.state, g_ring.write_slot, g_ring.produced, g_ring.consumed}; }

}  // namespace

bool CaptureRingCreate() {
  std::lock_guard lock(g_ring.lock);
  for (auto& slot : g_ring.slots) {
    slot.reset(static_cast<uint8_t*>(std::calloc(kCaptureBufferBytes, 1)));
    if (!slot) {
      for (auto& s : g_ring.slots) s.reset();
      return false;
    }
  }
  g_ring.write_slot = 0;
  g_ring.produced = 0;
  g_ring.consumed = 0;
  g_ring.state = TX_WAITING;
  return true;
}

void CaptureRingDestroy() {
  std::lock_guard lock(g_ring.lock);
  for (auto& slot : g_ring.slots) slot.reset();
}

void StoreCapturedBuffer(const AudioBuffer* header) {
  {
    std::lock_guard lock(g_ring.lock);
    g_ring.state = TX_CAPTURING;
    uint8_t* slot = g_ring.slots[g_ring.write_slot].get();
    const size_t bytes = std::min<size_t>(header->bytes_recorded, kCaptureBufferBytes);
    if (slot != nullptr && header->data != nullptr && bytes > 0) std::memcpy(slot, header->data, bytes);
    g_ring.write_slot = (g_ring.write_slot + 1) % kCaptureSlots;
    ++g_ring.produced;
  }
  g_ring.changed.notify_all();
}

void ResetCaptureSlots() {
  {
    std::lock_guard lock(g_ring.lock);
    g_ring.write_slot = 0;
    g_ring.consumed = 0;
  }
  g_ring.changed.notify_all();
}

CaptureStatus GetCaptureStatus() {
  std::lock_guard lock(g_ring.lock);
  return StatusLocked();
}

CaptureStatus WaitForCapture(const std::function<bool(const CaptureStatus&)>& ready,
                             std::chrono::milliseconds timeout) {
  std::unique_lock lock(g_ring.lock);
  g_ring.changed.wait_for(lock, timeout, [&] { return ready(StatusLocked()); });
  return StatusLocked();
}

bool CopyCaptureSlot(int slot, uint8_t* out) {
  if (slot < 0 || slot >= kCaptureSlots) return false;
  std::lock_guard lock(g_ring.lock);
  const uint8_t* data = g_ring.slots[slot].get();
  if (data == nullptr) return false;
  std::memcpy(out, data, kCaptureBufferBytes);
  return true;
}

void CountConsumedBuffer() {
  {
    std::lock_guard lock(g_ring.lock);
    ++g_ring.consumed;
  }
  g_ring.changed.notify_all();
}

void SetTransmitStop() {
  {
    std::lock_guard lock(g_ring.lock);
    g_ring.state = TX_STOP;
  }
  g_ring.changed.notify_all();
}

}  // namespace vantorel
