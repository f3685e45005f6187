// Playback's block counting and shortening, against an output double.

#include "audio_rx/playback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "fake_audio_output.h"
#include "playback_test_support.h"

namespace vantorel {
namespace {

class PlaybackTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(playback.OpenSession(Opener())); }
  void TearDown() override { playback.CloseSession(); }

  AudioOutputOpener Opener(bool opens = true) {
    return [this, opens](std::string& error) -> std::unique_ptr<AudioOutput> {
      if (!opens) {
        error = "no device";
        return nullptr;
      }
      auto fake = std::make_unique<FakeAudioOutput>(&log);
      device = fake.get();
      return fake;
    };
  }

  void PlayFrame(int f) { vantorel::PlayFrame(playback, f); }
  void PlayFrames(int from, int to) {
    for (int f = from; f <= to; ++f) PlayFrame(f);
  }
  PlaybackCounters Counters() const { return playback.Counters(); }

  Playback playback;
  FakeOutputLog log;
  FakeAudioOutput* device = nullptr;  // valid while the session is open
};

TEST_F(PlaybackTest, NothingPlaysBeforeTheThirdFrame) {
  PlayFrames(1, 2);
  EXPECT_TRUE(log.written.empty());
  EXPECT_EQ(Counters().decoded_blocks, 1u);
  EXPECT_EQ(Counters().queued_blocks, 0u);
  PlayFrame(3);
  ASSERT_EQ(log.written.size(), 1u);
  EXPECT_EQ(log.written[0], Block(0));
  const PlaybackCounters c = Counters();
  EXPECT_EQ(c.queued_blocks, 1u);
  EXPECT_EQ(c.blocks_written, 1u);
}

TEST_F(PlaybackTest, OneBufferWaitingShortensTheNextBlockTo798) {
  PlayFrames(1, 5);
  ASSERT_EQ(log.written.size(), 2u);
  ASSERT_EQ(log.written[1].size(), 798u);
  EXPECT_EQ(log.written[1], ShortenedBlock(1, 1));
  EXPECT_EQ(log.written[1].front(), Block(1)[1]);  // samples 0 and 400 left out
  EXPECT_EQ(log.written[1][399], Block(1)[401]);
  // Once the device has caught up, blocks play whole again.
  EXPECT_EQ(device->Finish(2), 2);
  PlayFrames(6, 7);
  ASSERT_EQ(log.written.size(), 3u);
  EXPECT_EQ(log.written[2], Block(2));
}

TEST_F(PlaybackTest, WithQBuffersWaitingABlockLosesQTimesQPlus1Samples) {
  PlayFrames(1, 9);  // blocks 0 to 3, none finished
  ASSERT_EQ(log.written.size(), 4u);
  for (int b = 0; b < 4; ++b) EXPECT_EQ(log.written[static_cast<size_t>(b)], ShortenedBlock(b, b)) << b;
  // Two finished: the next one sees 2 waiting.
  device->Finish(2);
  PlayFrames(10, 11);
  EXPECT_EQ(log.written.back(), ShortenedBlock(4, 2));
}

TEST_F(PlaybackTest, ABlockAt28WaitingIsSkippedAndTheNextOneFollows) {
  PlayFrames(1, 57);  // blocks 0 to 27: every one shorter than the one before
  ASSERT_EQ(log.written.size(), 28u);
  EXPECT_EQ(log.written.back().size(), 44u);  // 800 - 27*28
  PlayFrames(58, 59);  // block 28 is due with 28 waiting
  PlaybackCounters c = Counters();
  EXPECT_EQ(log.written.size(), 28u);
  EXPECT_EQ(c.queued_blocks, 29u);
  EXPECT_EQ(c.blocks_written, 28u);
  EXPECT_EQ(c.blocks_dropped, 1u);
  EXPECT_EQ(device->Finish(28), 28);
  PlayFrames(60, 61);
  ASSERT_EQ(log.written.size(), 29u);
  EXPECT_EQ(log.written.back(), Block(29));
  EXPECT_EQ(Counters().queued_blocks, 30u);
}

TEST_F(PlaybackTest, ARefusedBlockIsDroppedAndCountedAsHandedOn) {
  log.fail_write = 2;
  PlayFrames(1, 7);
  // Block 1 was refused; block 2 follows with block 0 still waiting.
  ASSERT_EQ(log.written.size(), 2u);
  EXPECT_EQ(log.written[1], ShortenedBlock(2, 1));
  const PlaybackCounters c = Counters();
  EXPECT_EQ(c.queued_blocks, 3u);
  EXPECT_EQ(c.blocks_written, 2u);
  EXPECT_EQ(c.blocks_failed, 1u);
}

TEST_F(PlaybackTest, SessionsOpenOnlyOnceAndEachStartsCountingAtZero) {
  PlayFrames(1, 7);
  EXPECT_FALSE(playback.OpenSession(Opener()));  // one is open
  playback.CloseSession();
  playback.CloseSession();  // harmless
  EXPECT_EQ(log.closes, 1);
  std::string error;
  EXPECT_FALSE(playback.OpenSession(Opener(false), error));
  EXPECT_EQ(error, "no device");
  // No device: frames are taken and their blocks are dropped as not written.
  PlayFrames(1, 5);
  EXPECT_EQ(Counters().blocks_failed, 2u);
  EXPECT_EQ(Counters().queued_blocks, 2u);

  log = FakeOutputLog{};
  ASSERT_TRUE(playback.OpenSession(Opener()));
  EXPECT_EQ(Counters().queued_blocks, 0u);
  PlayFrames(1, 3);
  EXPECT_EQ(log.written.size(), 1u);
  EXPECT_EQ(log.written[0], Block(0));  // the new session's own first block
}

TEST_F(PlaybackTest, TheDeviceThreadFinishingPiecesRacesNothing) {
  std::atomic<bool> done{false};
  FakeAudioOutput* fake = device;
  std::thread device_thread([&] {
    while (!done) {
      if (fake->Finish(1) == 0) std::this_thread::yield();
    }
  });
  std::atomic<bool> reading{true};
  std::thread reader([&] {
    while (reading) Counters();  // diagnostics read from another thread
  });
  for (int i = 0; i < 200; ++i) PlayFrame(1 + i % 80);
  done = true;
  reading = false;
  device_thread.join();
  reader.join();
  const PlaybackCounters c = Counters();
  playback.CloseSession();
  EXPECT_EQ(c.decoded_blocks, 100u);
  EXPECT_EQ(c.queued_blocks, 99u);
  EXPECT_EQ(c.blocks_written + c.blocks_dropped, 99u);
  for (const auto& piece : log.written) {
    const int lost = kPlayBlockSamples - static_cast<int>(piece.size());
    int q = 0;
    while (q * (q + 1) < lost) ++q;
    EXPECT_EQ(q * (q + 1), lost) << piece.size();
  }
}

// Ducking: from the next block on, what is played is 20 dB softer; the far end (the talk's
// echo reference) holds exactly what was played, ducked or not.
TEST(PlaybackDuckTest, DuckedBlocksPlayTwentyDbSofterAndTheFarEndHoldsWhatPlayed) {
  FarEndRing far_end;
  Playback playback(&far_end);
  FakeOutputLog log;
  ASSERT_TRUE(playback.OpenSession([&log](std::string&) { return std::make_unique<FakeAudioOutput>(&log); }));
  for (int f = 1; f <= 3; ++f) PlayFrame(playback, f);
  playback.SetDucked(true);
  for (int f = 4; f <= 5; ++f) PlayFrame(playback, f);
  playback.CloseSession();
  ASSERT_EQ(log.written.size(), 2u);
  EXPECT_EQ(log.written[0], Block(0));
  const std::vector<int16_t> loud = ShortenedBlock(1, 1);
  const auto energy = [](const std::vector<int16_t>& s) {
    double e = 0;
    for (int16_t v : s) e += static_cast<double>(v) * v;
    return e;
  };
  EXPECT_NEAR(10 * std::log10(energy(log.written[1]) / energy(loud)), -20, 0.1);
  std::vector<int16_t> heard(far_end.Waiting());
  far_end.Read(heard);
  std::vector<int16_t> played = log.written[0];
  played.insert(played.end(), log.written[1].begin(), log.written[1].end());
  EXPECT_EQ(heard, played);
}

}  // namespace
}  // namespace vantorel
