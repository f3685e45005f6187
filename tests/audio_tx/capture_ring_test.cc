#include "audio_tx/capture_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace vantorel {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class CaptureRingTest : public testing::Test {
 protected:
  // Stores one buffer of `samples` samples, each `fill`.
  void Store(int16_t fill, size_t samples = kCaptureBufferSamples) {
    const std::vector<int16_t> data(samples, fill);
    ring.Store(data);
  }

  std::vector<int16_t> Slot(int slot) {
    CaptureBuffer out{};
    EXPECT_TRUE(ring.CopySlot(slot, out));
    return {out.begin(), out.end()};
  }
  static std::vector<int16_t> Filled(int16_t value, size_t count = kCaptureBufferSamples) {
    return std::vector<int16_t>(count, value);
  }
  CaptureStatus Status() const { return ring.Status(); }

  CaptureRing ring;
};

TEST_F(CaptureRingTest, StartsWaitingAndEmpty) {
  const CaptureStatus s = Status();
  EXPECT_EQ(s.state, TransmitState::kWaiting);
  EXPECT_EQ(s.write_slot, 0);
  EXPECT_EQ(s.produced, 0);
  EXPECT_EQ(s.consumed, 0);
  EXPECT_EQ(Slot(0), Filled(0));
}

TEST_F(CaptureRingTest, The65thBufferGoesIntoSlot0AndTheCountKeepsCounting) {
  for (int i = 1; i <= 64; ++i) Store(static_cast<int16_t>(i));
  CaptureStatus s = Status();
  EXPECT_EQ(s.state, TransmitState::kCapturing);
  EXPECT_EQ(s.write_slot, 0);
  EXPECT_EQ(s.produced, 64);
  EXPECT_EQ(Slot(63), Filled(64));

  // Nothing was consumed: the 65th overwrites the oldest unread slot, unreported.
  Store(65);
  s = Status();
  EXPECT_EQ(s.write_slot, 1);
  EXPECT_EQ(s.produced, 65);
  EXPECT_EQ(s.Waiting(), 65);
  EXPECT_EQ(Slot(0), Filled(65));
  EXPECT_EQ(Slot(1), Filled(2));
}

TEST_F(CaptureRingTest, AShortBufferOverwritesOnlyTheStartOfItsSlot) {
  Store(0xAA);
  for (int i = 1; i < 64; ++i) Store(0);
  Store(0xBB, 100);  // back in slot 0
  const auto slot = Slot(0);
  EXPECT_EQ(std::vector<int16_t>(slot.begin(), slot.begin() + 100), Filled(0xBB, 100));
  EXPECT_EQ(std::vector<int16_t>(slot.begin() + 100, slot.end()), Filled(0xAA, kCaptureBufferSamples - 100));
  EXPECT_EQ(Status().produced, 65);

  // More than a slot holds fills the slot and no more; an empty buffer still counts.
  Store(0xCC, kCaptureBufferSamples + 100);
  EXPECT_EQ(Slot(1), Filled(0xCC));
  Store(0xDD, 0);
  EXPECT_EQ(Slot(2), Filled(0));
  EXPECT_EQ(Status().produced, 67);
}

// A microphone opened for a second talk must not find the first talk's buffers waiting.
TEST_F(CaptureRingTest, OpeningLeavesNothingWaitingAndTheWriteSlotAtTheProducedCount) {
  Store(1);
  Store(2);
  ring.CountConsumed();
  ring.ResetSlots();
  CaptureStatus s = Status();
  EXPECT_EQ(s.write_slot, 0);
  EXPECT_EQ(s.Waiting(), 0);
  EXPECT_EQ(s.produced % kCaptureSlots, s.write_slot);
  Store(3);
  Store(4);
  ring.DiscardWaiting();
  s = Status();
  EXPECT_EQ(s.Waiting(), 0);
  EXPECT_EQ(s.consumed % kCaptureSlots, s.write_slot);
}

TEST_F(CaptureRingTest, CopiesRefuseBadSlots) {
  CaptureBuffer out;
  out.fill(7);
  EXPECT_FALSE(ring.CopySlot(-1, out));
  EXPECT_FALSE(ring.CopySlot(kCaptureSlots, out));
  EXPECT_EQ(std::vector<int16_t>(out.begin(), out.end()), Filled(7));
}

TEST_F(CaptureRingTest, AWaitEndsAtItsTimeoutWithTheStatusAsItIs) {
  const CaptureStatus s = ring.WaitFor([](const CaptureStatus& st) { return st.produced > 0; }, milliseconds(1));
  EXPECT_EQ(s.produced, 0);
  EXPECT_EQ(s.state, TransmitState::kWaiting);
}

// The transmit worker's way of reading the ring: wait for four buffers before the first,
// then take each as it comes, until TransmitState::kStop.
TEST_F(CaptureRingTest, AWaitingWorkerIsWokenByEveryStoreAndByTheStop) {
  std::vector<int16_t> taken;
  std::atomic<bool> stopped{false};
  std::thread worker([&] {
    int need = 4;
    int read_slot = 0;
    CaptureBuffer copy;
    while (true) {
      const CaptureStatus s = ring.WaitFor(
          [&](const CaptureStatus& st) { return st.state == TransmitState::kStop || st.Waiting() >= need; }, seconds(30));
      if (s.state == TransmitState::kStop) break;
      if (s.Waiting() < need) continue;
      need = 1;
      ASSERT_TRUE(ring.CopySlot(read_slot, copy));
      ASSERT_EQ(copy.front(), copy.back());
      taken.push_back(copy.front());
      ring.CountConsumed();
      read_slot = (read_slot + 1) % kCaptureSlots;
    }
    stopped = true;
  });
  // The producer keeps within the ring so that every buffer can be checked.
  for (int i = 0; i < 200; ++i) {
    ring.WaitFor([](const CaptureStatus& st) { return st.Waiting() < 32; }, seconds(30));
    Store(static_cast<int16_t>(i));
  }
  ring.WaitFor([](const CaptureStatus& st) { return st.consumed == 200; }, seconds(30));
  ring.SetTransmitStop();
  worker.join();
  EXPECT_TRUE(stopped);
  ASSERT_EQ(taken.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(taken[static_cast<size_t>(i)], static_cast<int16_t>(i));
  EXPECT_EQ(Status().state, TransmitState::kStop);
  // The microphone goes on storing until it is closed; the stop must hold until the next
  // talk, which then finds the stored buffer waiting.
  Store(1);
  EXPECT_EQ(Status().state, TransmitState::kStop);
  ring.ClearTransmitStop();
  EXPECT_EQ(Status().state, TransmitState::kCapturing);
}

}  // namespace
}  // namespace vantorel
