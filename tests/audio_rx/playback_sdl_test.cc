// Playback through SDL's disk driver: frames in, and the raw output file holds their
// decoded samples block by block, each block shortened by the rule for the buffers that
// were waiting when it was handed on.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "audio_rx/playback.h"
#include "playback_test_support.h"

namespace vantorel {
namespace {

std::vector<int16_t> ReadPlayed(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  // Every decoded sample is non-zero; zeros are the silence between and around buffers.
  std::vector<int16_t> played;
  for (int16_t s : samples) {
    if (s != 0) played.push_back(s);
  }
  return played;
}

TEST(PlaybackSdlTest, TheOutputFileHoldsTheDecodedBlocksWithTheShortening) {
  const std::string out = testing::TempDir() + "vantorel-playback-" + std::to_string(getpid()) + ".raw";
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
  Playback playback;
  AudioOutput* output = nullptr;
  ASSERT_TRUE(playback.OpenSession([&output](std::string& error) {
    auto opened = OpenSdlAudioOutput(error);
    output = opened.get();
    return opened;
  }));
  // Thirteen frames arrive at once, far faster than the device plays: blocks 0 to 5 are
  // handed on while the earlier ones still play.
  constexpr int kBlocks = 6;
  for (int f = 1; f <= 2 * kBlocks + 1; ++f) PlayFrame(playback, f);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (output->PendingWrites() > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const PlaybackCounters c = playback.Counters();
  ASSERT_EQ(output->PendingWrites(), 0);
  playback.CloseSession();
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);

  ASSERT_EQ(c.queued_blocks, static_cast<uint32_t>(kBlocks));
  ASSERT_EQ(c.blocks_written, static_cast<uint32_t>(kBlocks));
  const std::vector<int16_t> played = ReadPlayed(out);
  std::remove(out.c_str());

  // Walk the file block by block. Each block's values are its own, so its length shows
  // how many buffers were waiting when it was handed on: at most one more than for the
  // block before it, none for the first.
  size_t at = 0;
  int previous_waiting = -1;
  int shortened = 0;
  for (int b = 0; b < kBlocks; ++b) {
    const int16_t lowest = Block(b).front();
    size_t end = at;
    while (end < played.size() && played[end] >= lowest && played[end] <= Block(b).back()) ++end;
    const int lost = kPlayBlockSamples - static_cast<int>(end - at);
    int waiting = 0;
    while (waiting * (waiting + 1) < lost) ++waiting;
    ASSERT_EQ(waiting * (waiting + 1), lost) << "block " << b << " played " << end - at << " samples";
    EXPECT_LE(waiting, previous_waiting + 1) << "block " << b;
    EXPECT_EQ(std::vector<int16_t>(played.begin() + static_cast<std::ptrdiff_t>(at),
                                   played.begin() + static_cast<std::ptrdiff_t>(end)),
              ShortenedBlock(b, waiting))
        << "block " << b;
    shortened += waiting > 0;
    previous_waiting = waiting;
    at = end;
  }
  EXPECT_EQ(at, played.size()) << "samples after the last block";
  // Six blocks handed on within microseconds while each takes 100 ms to play.
  EXPECT_GT(shortened, 0);
}

}  // namespace
}  // namespace vantorel
