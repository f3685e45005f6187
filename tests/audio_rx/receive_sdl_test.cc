// End to end: the simulated camera's stream, the receive worker, playback and SDL's disk
// driver, which writes what the device plays to a file in real time.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numbers>

#include "receive_test_support.h"
#include "station/station.h"

namespace vantorel {
namespace {

using std::chrono::milliseconds;

// What the device played, without the silence it plays while no buffer is queued.
std::vector<int16_t> PlayedSound(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> played;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    int16_t s;
    std::memcpy(&s, bytes.data() + i, 2);
    if (s != 0) played.push_back(s);
  }
  return played;
}

// 1000 Hz at 8000 Hz, shifted so that no sample is near zero: the decoded tone never
// plays an exact 0, which is how the silence around it is told apart.
std::vector<int16_t> Tone() {
  std::vector<int16_t> tone(kAudioSampleRate);
  for (size_t i = 0; i < tone.size(); ++i) {
    tone[i] = static_cast<int16_t>(std::lround(10000 * std::sin(2 * std::numbers::pi * 1000 * static_cast<double>(i) /
                                                                    kAudioSampleRate + std::numbers::pi / 8)));
  }
  return tone;
}

// Playback on SDL's device; at the end it first lets the device play what it holds, so
// that the file shows every block handed on (playback itself discards them on a close).
SoundSink DrainingPlaybackSink(Playback& playback) {
  auto output = std::make_shared<AudioOutput*>(nullptr);
  SoundSink sink = PlaybackSink(playback, [output](std::string& error) {
    auto opened = OpenSdlAudioOutput(error);
    *output = opened.get();
    return opened;
  });
  sink.close = [&playback, output] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((*output)->PendingWrites() > 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(5));
    }
    playback.CloseSession();
  };
  return sink;
}

class ReceiveSdlTest : public testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", out_.c_str(), 1);
  }
  void TearDown() override {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::remove(out_.c_str());
  }
  const std::string out_ = testing::TempDir() + "vantorel-receive-" + std::to_string(getpid()) + ".raw";
};

TEST_F(ReceiveSdlTest, TheDevicePlaysTheCamerasToneAtItsFrequencyAndLength) {
  camsim::Options o;
  o.audio_in = Tone();
  o.audio_parts = 24;  // 1.2 s in real time, then the stream ends
  const auto camera = AudioCamera(o);
  ASSERT_TRUE(camera);
  Playback playback;
  ASSERT_FALSE(ReceiveWorker(CancelToken::Create(), ReceiveUrlOf(*camera), DrainingPlaybackSink(playback)).failed());
  const PlaybackCounters c = playback.Counters();
  // 24 frames fill 12 blocks; a block is handed on when the frame after it begins, so 11
  // are played, each perhaps a few samples short when the device was a little behind.
  EXPECT_EQ(c.queued_blocks, 11u);
  EXPECT_EQ(c.blocks_written, 11u);
  EXPECT_EQ(c.blocks_dropped, 0u);

  const std::vector<int16_t> played = PlayedSound(out_);
  EXPECT_LE(played.size(), 11u * kPlayBlockSamples);
  EXPECT_GE(played.size(), 11u * kPlayBlockSamples - 11 * 12 - 4);  // shortening, G.726's first samples

  int crossings = 0;
  for (size_t i = 1; i < played.size(); ++i) crossings += (played[i - 1] < 0) != (played[i] < 0);
  const double hertz = crossings / 2.0 / (static_cast<double>(played.size()) / kAudioSampleRate);
  EXPECT_NEAR(hertz, 1000, 15);
}

TEST_F(ReceiveSdlTest, TheProgramsOwnStartPlaysThroughTheDefaultDevice) {
  Station station;
  const auto camera = AudioCamera({}, &station.settings());
  ASSERT_TRUE(camera);
  station.StartListening();
  // The chime reaches the file in real time; two blocks' worth is enough.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (PlayedSound(out_).size() < 2u * kPlayBlockSamples - 100 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(20));
  }
  station.StopListening();
  EXPECT_TRUE(station.WaitStopped(StationWorker::kListen, std::chrono::steady_clock::now() + milliseconds(1000)));
  EXPECT_EQ(station.Status(StationWorker::kListen).state, WorkerState::kIdle);
  EXPECT_GE(PlayedSound(out_).size(), 2u * kPlayBlockSamples - 100);
  EXPECT_GE(station.playback().Counters().blocks_written, 2u);
}

}  // namespace
}  // namespace vantorel
