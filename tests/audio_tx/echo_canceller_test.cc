// The echo canceller in the synthetic short room (echo_room.h): the echo goes, the local
// voice stays.

#include "audio_tx/echo_canceller.h"

#include <gtest/gtest.h>

#include "audio_tx/echo_room.h"

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

}  // namespace
}  // namespace vantorel
