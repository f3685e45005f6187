// The echo canceller in the synthetic short room (echo_room.h): the echo goes, the local
// voice stays, on its own and in the talk's path (playback's far end into the microphone).

#include "audio_tx/echo_canceller.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "audio_tx/echo_room.h"
#include "audio_tx/microphone.h"
#include "sound_io/far_end_ring.h"

namespace vantorel {
namespace {

// Frames are cleaned in place (`out` is `near`), as a capture path would.
TEST(EchoCancellerTest, TakesOutTheEchoAndKeepsTheLocalVoice) {
  const echo_room::Recording r = echo_room::Record(echo_room::ShortRoom(), 4, 2);
  std::vector<int16_t> out = r.mic;
  EchoCanceller canceller(EchoSettings{.delay_ms = 0});
  for (size_t at = 0; at + kEchoFrameSamples <= out.size(); at += kEchoFrameSamples) {
    std::span<int16_t, kEchoFrameSamples> frame(out.data() + at, kEchoFrameSamples);
    canceller.Process(EchoFrame(r.far.data() + at, kEchoFrameSamples), frame, frame);
  }
  const echo_room::Result result = echo_room::Measure(r, out);
  EXPECT_GE(result.erle_db, 20) << EchoCanceller::Engine();
  EXPECT_NEAR(result.voice_change_db, 0, 3) << EchoCanceller::Engine();
}

class FakeInput : public AudioInput {
 public:
  explicit FakeInput(CaptureCallback take) : callback(std::move(take)) {}
  CaptureCallback callback;
};

// The talk's path: playback writes each 100 ms block to the far end as it hands it on, the
// device records in pieces of its own size, and the capture ring holds the cleaned sound.
TEST(EchoCancellerTest, TheMicrophoneTakesOutWhatPlaybackPlayed) {
  const echo_room::Recording r = echo_room::Record(echo_room::ShortRoom(), 4, 2);
  FarEndRing far_end;
  CaptureRing ring;
  Microphone microphone(ring);
  FakeInput* device = nullptr;
  std::string error;
  ASSERT_TRUE(microphone.Open(
      error,
      [&device](CaptureCallback callback, std::string&) {
        auto fake = std::make_unique<FakeInput>(std::move(callback));
        device = fake.get();
        return fake;
      },
      &far_end, EchoSettings{.delay_ms = 0}));
  std::vector<int16_t> out;
  CaptureBuffer buffer;
  constexpr size_t kBlock = 800;
  constexpr size_t kPiece = 256;
  for (size_t block = 0; block + kBlock <= r.mic.size(); block += kBlock) {
    far_end.Write(std::span(r.far).subspan(block, kBlock));
    for (size_t at = block; at < block + kBlock; at += kPiece) {
      device->callback(std::span(r.mic).subspan(at, std::min(kPiece, block + kBlock - at)));
    }
    for (int i = static_cast<int>(out.size() / kCaptureBufferSamples); i < ring.Status().produced; ++i) {
      ASSERT_TRUE(ring.CopySlot(i % kCaptureSlots, buffer));
      out.insert(out.end(), buffer.begin(), buffer.end());
    }
  }
  EXPECT_EQ(far_end.Waiting(), 0u);  // the microphone kept step with the far end
  const echo_room::Result result = echo_room::Measure(r, out);
  EXPECT_GE(result.erle_db, 20) << EchoCanceller::Engine();
  EXPECT_NEAR(result.voice_change_db, 0, 3) << EchoCanceller::Engine();
}

}  // namespace
}  // namespace vantorel
