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
  void SetUp() override { ASSERT_TRUE(CaptureRingCreate()); }
  void TearDown() override { CaptureRingDestroy(); }

  // Stores one buffer of `bytes` recorded bytes, each `fill`.
  static void Store(uint8_t fill, uint32_t bytes = kCaptureBufferBytes) {
    std::vector<uint8_t> data(kCaptureBufferBytes + 100, fill);
    const AudioBuffer header{data.data(), static_cast<uint32_t>(data.size()), bytes, 0, AUDIO_BUFFER_DONE, 1};
    StoreCapturedBuffer(&header);
  }

  static std::vector<uint8_t> Slot(int slot) {
    std::vector<uint8_t> out(kCaptureBufferBytes);
    EXPECT_TRUE(CopyCaptureSlot(slot, out.data()));
    return out;
  }
};

TEST_F(CaptureRingTest, StartsWaitingAndEmpty) {
  const CaptureStatus s = GetCaptureStatus();
  EXPECT_EQ(s.state, TX_WAITING);
  EXPECT_EQ(s.write_slot, 0);
  EXPECT_EQ(s.produced, 0);
  EXPECT_EQ(s.consumed, 0);
  EXPECT_EQ(Slot(0), std::vector<uint8_t>(kCaptureBufferBytes, 0));
}

TEST_F(CaptureRingTest, The65thBufferGoesIntoSlot0AndTheCountKeepsCounting) {
  for (int i = 1; i <= 64; ++i) Store(static_cast<uint8_t>(i));
  CaptureStatus s = GetCaptureStatus();
  EXPECT_EQ(s.state, TX_CAPTURING);
  EXPECT_EQ(s.write_slot, 0);
  EXPECT_EQ(s.produced, 64);
  EXPECT_EQ(Slot(63), std::vector<uint8_t>(kCaptureBufferBytes, 64));

  // Nothing was consumed: the 65th overwrites the oldest unread slot, unreported.
  Store(65);
  s = GetCaptureStatus();
  EXPECT_EQ(s.write_slot, 1);
  EXPECT_EQ(s.produced, 65);
  EXPECT_EQ(s.Waiting(), 65);
  EXPECT_EQ(Slot(0), std::vector<uint8_t>(kCaptureBufferBytes, 65));
  EXPECT_EQ(Slot(1), std::vector<uint8_t>(kCaptureBufferBytes, 2));
}

TEST_F(CaptureRingTest, AShortBufferOverwritesOnlyTheStartOfItsSlot) {
  Store(0xAA);
  for (int i = 1; i < 64; ++i) Store(0);
  Store(0xBB, 100);  // back in slot 0, as a reset would hand it back
  const auto slot = Slot(0);
  EXPECT_EQ(std::vector<uint8_t>(slot.begin(), slot.begin() + 100), std::vector<uint8_t>(100, 0xBB));
  EXPECT_EQ(std::vector<uint8_t>(slot.begin() + 100, slot.end()), std::vector<uint8_t>(kCaptureBufferBytes - 100, 0xAA));
  EXPECT_EQ(GetCaptureStatus().produced, 65);

  // A device that claims more than a slot holds fills the slot and no more; an empty
  // buffer still counts.
  Store(0xCC, kCaptureBufferBytes + 100);
  EXPECT_EQ(Slot(1), std::vector<uint8_t>(kCaptureBufferBytes, 0xCC));
  Store(0xDD, 0);
  EXPECT_EQ(Slot(2), std::vector<uint8_t>(kCaptureBufferBytes, 0));
  EXPECT_EQ(GetCaptureStatus().produced, 67);
}

TEST_F(CaptureRingTest, OpeningResetsTheWriteSlotAndConsumedCountOnly) {
  Store(1);
  Store(2);
  CountConsumedBuffer();
  ResetCaptureSlots();
  const CaptureStatus s = GetCaptureStatus();
  EXPECT_EQ(s.write_slot, 0);
  EXPECT_EQ(s.consumed, 0);
  EXPECT_EQ(s.produced, 2);
}

TEST_F(CaptureRingTest, CopiesRefuseBadSlotsAndADestroyedRing) {
  std::vector<uint8_t> out(kCaptureBufferBytes, 7);
  EXPECT_FALSE(CopyCaptureSlot(-1, out.data()));
  EXPECT_FALSE(CopyCaptureSlot(kCaptureSlots, out.data()));
  CaptureRingDestroy();
  EXPECT_FALSE(CopyCaptureSlot(0, out.data()));
  EXPECT_EQ(out, std::vector<uint8_t>(kCaptureBufferBytes, 7));
  Store(1);  // storing into a destroyed ring only counts
  EXPECT_EQ(GetCaptureStatus().produced, 1);
  // Created again, it starts over.
  ASSERT_TRUE(CaptureRingCreate());
  EXPECT_EQ(GetCaptureStatus().produced, 0);
  EXPECT_EQ(GetCaptureStatus().state, TX_WAITING);
}

TEST_F(CaptureRingTest, AWaitEndsAtItsTimeoutWithTheStatusAsItIs) {
  const CaptureStatus s = WaitForCapture([](const CaptureStatus& st) { return st.produced > 0; }, milliseconds(1));
  EXPECT_EQ(s.produced, 0);
  EXPECT_EQ(s.state, TX_WAITING);
}

// The transmit worker's way of reading the ring: wait for four buffers before the first,
// then take each as it comes, until TX_STOP.
TEST_F(CaptureRingTest, AWaitingWorkerIsWokenByEveryStoreAndByTheStop) {
  std::vector<uint8_t> taken;
  std::atomic<bool> stopped{false};
  std::thread worker([&] {
    int need = 4;
    int read_slot = 0;
    std::vector<uint8_t> copy(kCaptureBufferBytes);
    while (true) {
      const CaptureStatus s = WaitForCapture(
          [&](const CaptureStatus& st) { return st.state == TX_STOP || st.Waiting() >= need; }, seconds(30));
      if (s.state == TX_STOP) break;
      if (s.Waiting() < need) continue;
      need = 1;
      ASSERT_TRUE(CopyCaptureSlot(read_slot, copy.data()));
      ASSERT_EQ(copy.front(), copy.back());
      taken.push_back(copy.front());
      CountConsumedBuffer();
      read_slot = (read_slot + 1) % kCaptureSlots;
    }
    stopped = true;
  });
  // The producer keeps within the ring so that every buffer can be checked.
  for (int i = 0; i < 200; ++i) {
    WaitForCapture([](const CaptureStatus& st) { return st.Waiting() < 32; }, seconds(30));
    Store(static_cast<uint8_t>(i));
  }
  WaitForCapture([](const CaptureStatus& st) { return st.consumed == 200; }, seconds(30));
  SetTransmitStop();
  worker.join();
  EXPECT_TRUE(stopped);
  ASSERT_EQ(taken.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(taken[static_cast<size_t>(i)], static_cast<uint8_t>(i));
  EXPECT_EQ(GetCaptureStatus().state, TX_STOP);
}

}  // namespace
}  // namespace vantorel
