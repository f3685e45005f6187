// The microphone on SDL's disk driver: what the "microphone" file holds reaches the ring
// in order, and closing frees every buffer the device held.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "audio_tx/capture_ring.h"
#include "audio_tx/microphone.h"
#include "platform/headless_host.h"

namespace vantorel {
namespace {

TEST(MicrophoneSdlTest, RecordedSoundReachesTheRingInOrder) {
  const std::string in = testing::TempDir() + "vantorel-mic-ring-" + std::to_string(getpid()) + ".raw";
  std::vector<int16_t> signal(kCaptureBufferSamples * 8);
  for (size_t i = 0; i < signal.size(); ++i) signal[i] = static_cast<int16_t>(i * 7 + 3);
  std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(signal.data()),
                                             static_cast<std::streamsize>(signal.size() * 2));
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILEIN", in.c_str(), 1);

  ASSERT_TRUE(CaptureRingCreate());
  {
    HeadlessHost host;
    ScopedHost scoped(&host);
    MicrophoneHandle microphone;
    ASSERT_TRUE(OpenMicrophone(microphone));
    host.RunUntil([] { return GetCaptureStatus().produced >= 6; }, std::chrono::seconds(20));
    EXPECT_EQ(CloseMicrophone(microphone), AUDIO_OK);
    EXPECT_FALSE(microphone);
    const int produced = GetCaptureStatus().produced;
    ASSERT_GE(produced, 6);
    // The 64 buffers handed back by the close pass through without being stored.
    EXPECT_EQ(host.RunPending(), 64);
    EXPECT_EQ(GetCaptureStatus().produced, produced);
    EXPECT_TRUE(host.ErrorBoxCaptions().empty());
  }
  std::vector<int16_t> slot(kCaptureBufferSamples);
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(CopyCaptureSlot(i, reinterpret_cast<uint8_t*>(slot.data())));
    EXPECT_EQ(slot, std::vector<int16_t>(signal.begin() + i * kCaptureBufferSamples,
                                         signal.begin() + (i + 1) * kCaptureBufferSamples))
        << "slot " << i;
  }
  CaptureRingDestroy();
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  std::remove(in.c_str());
}

}  // namespace
}  // namespace vantorel
