// Playback's block and buffer counting, against an output device double.

#include "audio_rx/playback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "fake_audio_output.h"
#include "playback_test_support.h"

namespace vantorel {
namespace {

class PlaybackTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(PlaybackSetup());
    ASSERT_TRUE(OpenPlaybackSession(Opener()));
  }
  void TearDown() override {
    ClosePlaybackSession();
    PlaybackTeardown();
  }

  AudioOutputOpener Opener(int result = AUDIO_OK) {
    return [this, result](AudioOutputCallback callback, std::unique_ptr<AudioOutput>& out) {
      auto fake = std::make_unique<FakeAudioOutput>(std::move(callback), &log);
      device = fake.get();
      if (result == AUDIO_OK) out = std::move(fake);
      return result;
    };
  }

  static void PlayFrames(int from, int to) {
    for (int f = from; f <= to; ++f) PlayFrame(f);
  }

  FakeOutputLog log;
  FakeAudioOutput* device = nullptr;  // valid while the session is open
};

TEST_F(PlaybackTest, NothingPlaysBeforeTheThirdFrame) {
  PlayFrames(1, 2);
  EXPECT_TRUE(log.written.empty());
  EXPECT_EQ(GetPlaybackCounters().decoded_blocks, 1u);
  EXPECT_EQ(GetPlaybackCounters().queued_blocks, 0u);
  PlayFrame(3);
  ASSERT_EQ(log.written.size(), 1u);
  EXPECT_EQ(log.written[0], Block(0));
  const PlaybackCounters c = GetPlaybackCounters();
  EXPECT_EQ(c.queued_blocks, 1u);
  EXPECT_EQ(c.buffers_submitted, 1u);
  EXPECT_EQ(c.buffers_done, 0u);
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
  PlaybackCounters c = GetPlaybackCounters();
  EXPECT_EQ(log.written.size(), 28u);
  EXPECT_EQ(c.queued_blocks, 29u);
  EXPECT_EQ(c.buffers_submitted, 28u);
  EXPECT_EQ(c.blocks_dropped, 1u);
  EXPECT_EQ(device->Finish(28), 28);
  PlayFrames(60, 61);
  ASSERT_EQ(log.written.size(), 29u);
  EXPECT_EQ(log.written.back(), Block(29));
  c = GetPlaybackCounters();
  EXPECT_EQ(c.queued_blocks, 30u);
  EXPECT_EQ(c.buffers_done, 28u);
}

TEST_F(PlaybackTest, ADoneNotificationWithoutABufferOnlyCounts) {
  OnWaveOutDone(device, AUDIO_OUTPUT_DONE, nullptr);
  OnWaveOutDone(device, AUDIO_OUTPUT_OPEN, nullptr);
  OnWaveOutDone(device, AUDIO_OUTPUT_CLOSE, nullptr);
  EXPECT_EQ(GetPlaybackCounters().buffers_done, 1u);
  // More done than submitted counts as nothing waiting.
  PlayFrames(1, 5);
  ASSERT_EQ(log.written.size(), 2u);
  EXPECT_EQ(log.written[1], Block(1));
}

TEST_F(PlaybackTest, ARefusedBlockIsDroppedAndCountedAsHandedOn) {
  log.fail_write = 2;
  PlayFrames(1, 7);
  // Block 1 was refused; block 2 follows with block 0 still waiting.
  ASSERT_EQ(log.written.size(), 2u);
  EXPECT_EQ(log.written[1], ShortenedBlock(2, 1));
  const PlaybackCounters c = GetPlaybackCounters();
  EXPECT_EQ(c.queued_blocks, 3u);
  EXPECT_EQ(c.buffers_submitted, 2u);
  EXPECT_EQ(c.blocks_failed, 1u);
}

TEST_F(PlaybackTest, CloseRestoresTheVolumeAndReleasesEveryQueuedBuffer) {
  PlayFrames(1, 7);
  ClosePlaybackSession();
  EXPECT_EQ(log.calls.front(), "GetVolume");
  EXPECT_EQ(log.calls[1], "SetVolume " + std::to_string(kAudioFullVolume));
  const std::vector<std::string> end(log.calls.end() - 2, log.calls.end());
  EXPECT_EQ(end, (std::vector<std::string>{"SetVolume " + std::to_string(0x12345678), "Close"}));
  const PlaybackCounters c = GetPlaybackCounters();
  EXPECT_EQ(c.buffers_done, c.buffers_submitted);
  EXPECT_EQ(c.buffers_done, 3u);

  // A new session starts counting at 0.
  log = FakeOutputLog{};
  ASSERT_TRUE(OpenPlaybackSession(Opener()));
  EXPECT_EQ(GetPlaybackCounters().queued_blocks, 0u);
  EXPECT_EQ(GetPlaybackCounters().buffers_done, 0u);
  PlayFrames(1, 3);
  EXPECT_EQ(log.written.size(), 1u);
}

TEST_F(PlaybackTest, SessionsOpenOnlyOnceAndOnlyWithADevice) {
  EXPECT_FALSE(OpenPlaybackSession(Opener()));  // one is open
  ClosePlaybackSession();
  ClosePlaybackSession();  // harmless
  EXPECT_FALSE(OpenPlaybackSession(Opener(AUDIO_BAD_DEVICE)));
  // No device: frames are taken and their blocks are dropped as not submitted.
  PlayFrames(1, 5);
  EXPECT_EQ(GetPlaybackCounters().blocks_failed, 2u);
  EXPECT_EQ(GetPlaybackCounters().queued_blocks, 2u);

  PlaybackTeardown();
  EXPECT_FALSE(OpenPlaybackSession(Opener()));  // no blocks without the set-up
  PlayFrames(1, 3);
  EXPECT_EQ(GetPlaybackCounters().queued_blocks, 2u);
  ASSERT_TRUE(PlaybackSetup());
}

TEST_F(PlaybackTest, TheDeviceThreadFinishingBuffersRacesNothing) {
  std::atomic<bool> done{false};
  FakeAudioOutput* fake = device;
  std::thread device_thread([&] {
    while (!done) {
      if (fake->Finish(1) == 0) std::this_thread::yield();
    }
  });
  for (int i = 0; i < 200; ++i) PlayFrame(1 + i % 80);
  done = true;
  device_thread.join();
  ClosePlaybackSession();
  const PlaybackCounters c = GetPlaybackCounters();
  EXPECT_EQ(c.decoded_blocks, 100u);
  EXPECT_EQ(c.queued_blocks, 99u);
  EXPECT_EQ(c.buffers_done, c.buffers_submitted);
  EXPECT_EQ(c.buffers_submitted + c.blocks_dropped, 99u);
  for (const auto& buffer : log.written) {
    const int lost = kPlayBlockSamples - static_cast<int>(buffer.size());
    int q = 0;
    while (q * (q + 1) < lost) ++q;
    EXPECT_EQ(q * (q + 1), lost) << buffer.size();
  }
}

}  // namespace
}  // namespace vantorel
