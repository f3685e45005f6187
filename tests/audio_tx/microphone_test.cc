// The microphone: whatever pieces the device records, the ring receives them as buffers of
// 382 samples in order, straight from the device's thread; a device that does not open
// gives its reason; a closed microphone stores nothing more.

#include "audio_tx/microphone.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "support/wait_for.h"

namespace vantorel {
namespace {

// An input double whose recorded pieces the test hands over itself.
class FakeInput : public AudioInput {
 public:
  explicit FakeInput(CaptureCallback take) : callback(std::move(take)) {}
  CaptureCallback callback;
};

std::vector<int16_t> Signal(size_t count) {
  std::vector<int16_t> signal(count);
  for (size_t i = 0; i < signal.size(); ++i) signal[i] = static_cast<int16_t>(i * 7 + 3);
  return signal;
}

std::vector<int16_t> SlotContents(const CaptureRing& ring, int slot) {
  CaptureBuffer buffer;
  EXPECT_TRUE(ring.CopySlot(slot, buffer));
  return {buffer.begin(), buffer.end()};
}

TEST(MicrophoneTest, PiecesOfAnySizeBecomeWholeBuffersInOrder) {
  CaptureRing ring;
  Microphone microphone(ring);
  FakeInput* device = nullptr;
  std::string error;
  ASSERT_TRUE(microphone.Open(error, [&device](CaptureCallback callback, std::string&) {
    auto fake = std::make_unique<FakeInput>(std::move(callback));
    device = fake.get();
    return fake;
  }));
  const std::vector<int16_t> signal = Signal(kCaptureBufferSamples * 5 + 100);
  size_t at = 0;
  for (size_t piece : {1u, 255u, 382u, 700u, 7u, 400u}) {
    device->callback(std::span(signal).subspan(at, piece));
    at += piece;
  }
  device->callback(std::span(signal).subspan(at));
  EXPECT_EQ(ring.Status().produced, 5);  // the last 100 samples wait for the rest of their buffer
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(SlotContents(ring, i), std::vector<int16_t>(signal.begin() + i * kCaptureBufferSamples,
                                                          signal.begin() + (i + 1) * kCaptureBufferSamples))
        << "slot " << i;
  }
  microphone.Close();
  EXPECT_FALSE(microphone.IsOpen());
}

// Opening empties the ring first (a device may store at once), whether it opens or not.
TEST(MicrophoneTest, ADeviceThatDoesNotOpenGivesItsReasonAndLeavesNoEarlierBufferWaiting) {
  CaptureRing ring;
  ring.Store(Signal(kCaptureBufferSamples));
  Microphone microphone(ring);
  std::string error;
  EXPECT_FALSE(microphone.Open(error, [](CaptureCallback, std::string& e) -> std::unique_ptr<AudioInput> {
    e = "no capture device";
    return nullptr;
  }));
  EXPECT_EQ(error, "no capture device");
  EXPECT_FALSE(microphone.IsOpen());
  EXPECT_EQ(ring.Status().Waiting(), 0);
}

// Push-to-talk between presses: the buffers keep coming, silent, and none of the room's
// sound is in them; unmuted, the sound goes on where the device is.
TEST(MicrophoneTest, MutedTheBuffersKeepComingAsSilence) {
  CaptureRing ring;
  Microphone microphone(ring);
  CaptureCallback take;
  std::string error;
  ASSERT_TRUE(microphone.Open(error, [&take](CaptureCallback callback, std::string&) {
    take = std::move(callback);
    return std::make_unique<FakeInput>(CaptureCallback{});
  }));
  const std::vector<int16_t> signal = Signal(kCaptureBufferSamples * 2);
  microphone.SetMuted(true);
  take(std::span(signal).first(kCaptureBufferSamples));
  microphone.SetMuted(false);
  take(std::span(signal).subspan(kCaptureBufferSamples));
  ASSERT_EQ(ring.Status().produced, 2);
  EXPECT_EQ(SlotContents(ring, 0), std::vector<int16_t>(kCaptureBufferSamples, 0));
  EXPECT_EQ(SlotContents(ring, 1), std::vector<int16_t>(signal.begin() + kCaptureBufferSamples, signal.end()));
}

TEST(MicrophoneTest, OnSdlsDiskDriverTheRecordedFileReachesTheRingUntilTheClose) {
  const std::string in = testing::TempDir() + "vantorel-mic-ring-" + std::to_string(getpid()) + ".raw";
  const std::vector<int16_t> signal = Signal(kCaptureBufferSamples * 8);
  std::ofstream(in, std::ios::binary)
      .write(reinterpret_cast<const char*>(signal.data()), static_cast<std::streamsize>(signal.size() * 2));
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILEIN", in.c_str(), 1);
  CaptureRing ring;
  {
    Microphone microphone(ring);
    std::string error;
    ASSERT_TRUE(microphone.Open(error)) << error;
    ASSERT_TRUE(test::WaitFor([&] { return ring.Status().produced >= 6; }, std::chrono::seconds(20)));
    microphone.Close();
    const int produced = ring.Status().produced;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(ring.Status().produced, produced);
  }
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(SlotContents(ring, i), std::vector<int16_t>(signal.begin() + i * kCaptureBufferSamples,
                                                          signal.begin() + (i + 1) * kCaptureBufferSamples))
        << "slot " << i;
  }
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  std::remove(in.c_str());
}

}  // namespace
}  // namespace vantorel
