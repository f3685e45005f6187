// The SDL input device, through SDL's dummy driver (silence) and disk driver (a raw file),
// with a headless host standing in for the window thread.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "audio_test_env.h"
#include "platform/audio_input.h"
#include "platform/headless_host.h"

namespace vantorel {
namespace {

using std::chrono::seconds;

// What the window thread received.
struct InputRecorder {
  struct Data {
    AudioInput* device;
    AudioBuffer* buffer;
    uint32_t flags;
    uint32_t bytes;
  };

  AudioInputEvents Events() {
    AudioInputEvents events;
    events.on_open = [this](AudioInput* device) {
      EXPECT_EQ(std::this_thread::get_id(), window_thread);
      opened.push_back(device);
    };
    events.on_data = [this](AudioInput* device, AudioBuffer* buffer) {
      EXPECT_EQ(std::this_thread::get_id(), window_thread);
      data.push_back({device, buffer, buffer->flags, buffer->bytes_recorded});
    };
    events.on_drop = [this](AudioBuffer* buffer) { dropped.push_back(buffer); };
    return events;
  }

  std::thread::id window_thread = std::this_thread::get_id();
  std::vector<AudioInput*> opened;
  std::vector<Data> data;
  std::vector<AudioBuffer*> dropped;
};

struct Buffer {
  explicit Buffer(size_t length, uintptr_t number) : bytes(length, 0xEE) {
    header = AudioBuffer{bytes.data(), static_cast<uint32_t>(length), 0, number, 0, 1};
  }
  std::vector<uint8_t> bytes;
  AudioBuffer header;
};

int Queue(AudioInput& device, Buffer& buffer) {
  const int prepared = device.Prepare(&buffer.header);
  return prepared != AUDIO_OK ? prepared : device.AddBuffer(&buffer.header);
}

TEST(SdlAudioInputTest, FillsQueuedBuffersInOrderAndHandsTheRestBackOnReset) {
  // A known signal as what the microphone hears.
  const std::string file = testing::TempDir() + "vantorel-mic-" + std::to_string(getpid()) + ".raw";
  std::vector<int16_t> signal(20000);
  for (size_t i = 0; i < signal.size(); ++i) signal[i] = static_cast<int16_t>(i % 30000 + 1);
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(signal.data()),
                                               static_cast<std::streamsize>(signal.size() * 2));
  ScopedEnv env{{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILEIN", file}};
  HeadlessHost host;
  ScopedHost scoped(&host);
  InputRecorder recorder;
  std::unique_ptr<AudioInput> device;
  ASSERT_EQ(OpenSdlAudioInput(recorder.Events(), device), AUDIO_OK);
  host.RunUntil([&] { return !recorder.opened.empty(); }, seconds(10));
  ASSERT_EQ(recorder.opened, std::vector<AudioInput*>{device.get()});

  std::vector<std::unique_ptr<Buffer>> buffers;
  for (uintptr_t n = 0; n < 4; ++n) buffers.push_back(std::make_unique<Buffer>(764, n));
  buffers.push_back(std::make_unique<Buffer>(16000, 4));  // a second: still filling at the reset
  for (auto& b : buffers) ASSERT_EQ(Queue(*device, *b), AUDIO_OK);
  // Queued buffers belong to the device.
  EXPECT_EQ(device->Unprepare(&buffers[0]->header), AUDIO_STILL_PLAYING);
  ASSERT_EQ(device->Start(), AUDIO_OK);
  host.RunUntil([&] { return recorder.data.size() == 4; }, seconds(20));
  ASSERT_EQ(recorder.data.size(), 4u);
  // Buffers still queued keep the device open.
  EXPECT_EQ(device->Close(), AUDIO_STILL_PLAYING);
  ASSERT_EQ(device->Reset(), AUDIO_OK);
  host.RunUntil([&] { return recorder.data.size() == 5; }, seconds(10));
  ASSERT_EQ(recorder.data.size(), 5u);
  EXPECT_EQ(device->Close(), AUDIO_OK);
  EXPECT_EQ(device->Close(), AUDIO_INVALID_HANDLE);

  const uint8_t* heard = reinterpret_cast<const uint8_t*>(signal.data());
  for (size_t i = 0; i < 4; ++i) {
    const auto& d = recorder.data[i];
    EXPECT_EQ(d.device, device.get());
    EXPECT_EQ(d.buffer, &buffers[i]->header);
    EXPECT_EQ(d.flags & (AUDIO_BUFFER_DONE | AUDIO_BUFFER_INQUEUE | AUDIO_BUFFER_RESET), AUDIO_BUFFER_DONE);
    EXPECT_EQ(d.bytes, 764u);
    EXPECT_EQ(std::memcmp(buffers[i]->bytes.data(), heard + 764 * i, 764), 0) << "buffer " << i;
  }
  // The device records in chunks of 512 bytes, so the chunk that completed the fourth
  // buffer already put its rest into the fifth.
  const auto& partial = recorder.data[4];
  EXPECT_EQ(partial.buffer, &buffers[4]->header);
  EXPECT_TRUE(partial.flags & AUDIO_BUFFER_RESET);
  EXPECT_GT(partial.bytes, 0u);
  EXPECT_LT(partial.bytes, 16000u);
  EXPECT_EQ(partial.bytes % 2, 0u);
  EXPECT_EQ(std::memcmp(buffers[4]->bytes.data(), heard + 764 * 4, partial.bytes), 0);
  EXPECT_EQ(buffers[4]->bytes[partial.bytes], 0xEE);  // nothing written past the count
  for (auto& b : buffers) EXPECT_EQ(device->Unprepare(&b->header), AUDIO_INVALID_HANDLE);
  std::remove(file.c_str());
}

TEST(SdlAudioInputTest, ADestroyedDeviceHandsItsBuffersBackAsClosed) {
  HeadlessHost host;
  ScopedHost scoped(&host);
  InputRecorder recorder;
  std::unique_ptr<AudioInput> device;
  ASSERT_EQ(OpenSdlAudioInput(recorder.Events(), device), AUDIO_OK);
  Buffer a(764, 0), b(764, 1);
  ASSERT_EQ(Queue(*device, a), AUDIO_OK);
  ASSERT_EQ(Queue(*device, b), AUDIO_OK);
  // An unprepared buffer cannot be queued; a bad one cannot be prepared.
  Buffer c(764, 2);
  EXPECT_EQ(device->AddBuffer(&c.header), AUDIO_UNPREPARED);
  c.header.length = 0;
  EXPECT_EQ(device->Prepare(&c.header), AUDIO_INVALID_PARAM);
  device.reset();
  host.RunPending();
  // The open notification of a device closed before it ran is not delivered.
  EXPECT_TRUE(recorder.opened.empty());
  ASSERT_EQ(recorder.data.size(), 2u);
  EXPECT_EQ(recorder.data[0].buffer, &a.header);
  EXPECT_EQ(recorder.data[1].buffer, &b.header);
  for (const auto& d : recorder.data) {
    EXPECT_EQ(d.device, nullptr);
    EXPECT_TRUE(d.flags & AUDIO_BUFFER_RESET);
  }
}

TEST(SdlAudioInputTest, BuffersWhoseNotificationIsThrownAwayAreDropped) {
  InputRecorder recorder;
  Buffer a(764, 0);
  {
    HeadlessHost host;
    ScopedHost scoped(&host);
    std::unique_ptr<AudioInput> device;
    ASSERT_EQ(OpenSdlAudioInput(recorder.Events(), device), AUDIO_OK);
    ASSERT_EQ(Queue(*device, a), AUDIO_OK);
    device.reset();
    // The window goes away with the notification still queued.
  }
  EXPECT_TRUE(recorder.data.empty());
  EXPECT_EQ(recorder.dropped, std::vector<AudioBuffer*>{&a.header});

  // Without a host there is nobody to report to: the open fails.
  std::unique_ptr<AudioInput> device;
  EXPECT_EQ(OpenSdlAudioInput(recorder.Events(), device), AUDIO_NOT_ENABLED);
  EXPECT_FALSE(device);
}

TEST(SdlAudioInputTest, AMissingDriverFailsTheOpen) {
  ScopedEnv env{{"SDL_AUDIODRIVER", "no-such-driver"}};
  HeadlessHost host;
  ScopedHost scoped(&host);
  InputRecorder recorder;
  std::unique_ptr<AudioInput> device;
  EXPECT_EQ(OpenSdlAudioInput(recorder.Events(), device), AUDIO_NOT_ENABLED);
  EXPECT_FALSE(device);
  EXPECT_EQ(host.RunPending(), 0);
}

}  // namespace
}  // namespace vantorel
