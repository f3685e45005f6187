// The SDL sound devices, through SDL's disk driver (raw files at a real-time pace) and a
// driver that does not exist.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

#include "support/audio_test_env.h"
#include "sound_io/audio_input.h"
#include "sound_io/audio_output.h"
#include "sound_io/sample_ring.h"

namespace vantorel {
namespace {

using namespace std::chrono_literals;

std::vector<int16_t> ReadRaw(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> samples(bytes.size() / 2);
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

std::vector<int16_t> WithoutSilence(const std::vector<int16_t>& samples) {
  std::vector<int16_t> out;
  for (int16_t s : samples) {
    if (s != 0) out.push_back(s);
  }
  return out;
}

std::string TempPath(const char* name) {
  return testing::TempDir() + "vantorel-" + name + "-" + std::to_string(getpid()) + ".raw";
}

TEST(SdlAudioOutputTest, PlaysPiecesBackToBackAndCountsWhatItStillHolds) {
  const std::string file = TempPath("speaker");
  ScopedEnv env{{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", file}};
  std::string error;
  auto output = OpenSdlAudioOutput(error);
  ASSERT_TRUE(output) << error;
  std::vector<int16_t> expected;
  for (int piece = 0; piece < 4; ++piece) {
    std::vector<int16_t> samples(400 + piece * 100);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(piece * 1000 + i + 1);
    ASSERT_TRUE(output->Write(samples));
    expected.insert(expected.end(), samples.begin(), samples.end());
  }
  ASSERT_TRUE(output->Write({}));  // an empty piece is played (and counted) like any other
  EXPECT_GE(output->PendingWrites(), 1);
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (output->PendingWrites() > 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(output->PendingWrites(), 0);
  output.reset();
  EXPECT_EQ(WithoutSilence(ReadRaw(file)), expected);
  std::remove(file.c_str());
}

// The output's ring, round and round: what is written plays back in order, across the
// wrap, and a piece that does not fit is refused whole.
TEST(SampleRingTest, PiecesPlayInOrderAcrossTheWrapAndAFullRingRefuses) {
  SampleRing ring(4, 1000);
  std::vector<int16_t> expected, played;
  int16_t next = 1;
  for (int round = 0; round < 12; ++round) {
    while (ring.Pending() < 3) {
      std::vector<int16_t> piece(static_cast<size_t>(150 + 37 * round));
      for (int16_t& v : piece) v = next++;
      if (!ring.Write(piece)) break;
      expected.insert(expected.end(), piece.begin(), piece.end());
    }
    EXPECT_FALSE(ring.Write(std::vector<int16_t>(1001)));  // never fits: refused, nothing queued
    std::vector<int16_t> out(256);
    ring.Fill(out);
    played.insert(played.end(), out.begin(), out.end());
  }
  std::vector<int16_t> rest(4000);
  ring.Fill(rest);
  EXPECT_EQ(ring.Pending(), 0u);
  played.insert(played.end(), rest.begin(), rest.end());
  EXPECT_GT(expected.size(), 3000u);
  EXPECT_EQ(WithoutSilence(played), expected);
}

TEST(SdlAudioOutputTest, ClosingDropsWhatIsStillQueued) {
  const std::string file = TempPath("dropped");
  ScopedEnv env{{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", file}};
  std::string error;
  auto output = OpenSdlAudioOutput(error);
  ASSERT_TRUE(output) << error;
  const std::vector<int16_t> five_seconds(40000, 7);
  ASSERT_TRUE(output->Write(five_seconds));
  output.reset();  // at once, not after five seconds
  EXPECT_LT(WithoutSilence(ReadRaw(file)).size(), five_seconds.size());
  std::remove(file.c_str());
}

TEST(SdlAudioDevicesTest, AMissingDriverFailsWithAReasonAndLaterOpensWork) {
  {
    ScopedEnv env{{"SDL_AUDIODRIVER", "no-such-driver"}};
    std::string error;
    EXPECT_FALSE(OpenSdlAudioOutput(error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(OpenSdlAudioInput([](std::span<const int16_t>) {}, error));
    EXPECT_FALSE(error.empty());
  }
  std::string error;
  EXPECT_TRUE(OpenSdlAudioOutput(error)) << error;
}

// What the microphone heard, from the device's thread.
class Heard {
 public:
  CaptureCallback Callback() {
    return [this](std::span<const int16_t> samples) {
      std::lock_guard lock(mutex_);
      samples_.insert(samples_.end(), samples.begin(), samples.end());
      threads_.push_back(std::this_thread::get_id());
      changed_.notify_all();
    };
  }
  bool WaitFor(size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 20s, [&] { return samples_.size() >= count; });
  }
  std::vector<int16_t> Samples() {
    std::lock_guard lock(mutex_);
    return samples_;
  }
  std::vector<std::thread::id> Threads() {
    std::lock_guard lock(mutex_);
    return threads_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int16_t> samples_;
  std::vector<std::thread::id> threads_;
};

TEST(SdlAudioInputTest, HandsOverWhatItRecordsInOrderOnItsOwnThreadUntilClosed) {
  const std::string file = TempPath("mic");
  std::vector<int16_t> signal(6000);
  for (size_t i = 0; i < signal.size(); ++i) signal[i] = static_cast<int16_t>(i + 1);
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(signal.data()), static_cast<std::streamsize>(signal.size() * 2));
  ScopedEnv env{{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILEIN", file}};
  Heard heard;
  std::string error;
  auto input = OpenSdlAudioInput(heard.Callback(), error);
  ASSERT_TRUE(input) << error;
  ASSERT_TRUE(heard.WaitFor(3000));
  input.reset();
  const size_t after_close = heard.Samples().size();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(heard.Samples().size(), after_close);  // nothing once closed

  const std::vector<int16_t> got = heard.Samples();
  ASSERT_GE(got.size(), 3000u);
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 3000, signal.begin()));
  for (std::thread::id id : heard.Threads()) EXPECT_NE(id, std::this_thread::get_id());
  std::remove(file.c_str());
}

}  // namespace
}  // namespace vantorel
